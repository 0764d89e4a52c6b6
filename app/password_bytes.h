// A password edit's text as bytes in the system's single-byte code page.
#pragma once

#include <optional>
#include <string>

#include "core/secret_bytes.h"

namespace ferrune {

// Empty optional when a character has no exact form in the code page (a best
// fit would let two different passwords give the same key).
std::optional<SecretBytes> PasswordBytes(const wchar_t* text, std::size_t length);

// The bytes of the system's standard conversion, which earlier versions took:
// a look-alike (best fit) or the default character for what the code page
// lacks. Only to open files made so; empty optional when it fails.
std::optional<SecretBytes> StandardPasswordBytes(const wchar_t* text, std::size_t length);

// Reads an edit's text into a wiping buffer of wide characters.
struct SecretWideText {
  std::wstring text;
  ~SecretWideText();
};
void ReadEditText(void* hwnd, SecretWideText& out);

}  // namespace ferrune
