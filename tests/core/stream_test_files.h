// The files the streaming tests work on, in memory, and their chunk size:
// small, so that every chunk boundary is cheap to reach.
#pragma once

#include <cstddef>
#include <string>

namespace ferrune::testing {

inline constexpr std::size_t kChunk = 64;
inline const std::wstring kPlain = L"dir\\plain.txt";
inline const std::wstring kEncrypted = L"dir\\plain.txt.zrv";
inline const std::wstring kOut = L"dir\\out.txt";

}  // namespace ferrune::testing
