// The one UTF-8 / UTF-16 / code point codec. Plain C++: wchar_t is UTF-16 on
// Windows and UTF-32 elsewhere, and both are handled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ferrune {

// Length of the valid sequence at data[i] with its value in `out`, or 0 for
// anything that is not UTF-8: overlong forms, surrogates, values past
// U+10FFFF, cut sequences.
std::size_t Utf8SequenceAt(const std::uint8_t* data, std::size_t size, std::size_t i, char32_t* out);
void AppendUtf8(std::string& out, char32_t c);

// Strict: null for anything that is not UTF-8 throughout.
std::optional<std::u32string> DecodeUtf8(const std::uint8_t* data, std::size_t size);

// Code points to wide text; false for a value that has no UTF-16 form.
bool CodePointsToWide(const std::u32string& text, std::wstring* out);
// Wide text to code points; a lone surrogate becomes U+FFFD, or makes the
// whole text invalid when `strict`.
bool WideToCodePoints(const wchar_t* text, std::size_t size, bool strict, std::u32string* out);

// For messages: what cannot be converted becomes U+FFFD.
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);

}  // namespace ferrune
