// The texts the shell entries hold, built from the program's own path.
#pragma once

#include <string>

namespace ferrune {

// "P" "%1" /crypt: the shell puts the selected file in place of %1.
std::wstring EncryptCommand(const std::wstring& programPath);
// The decrypt verb carries /encrypt, which the start-up reads as decrypt.
std::wstring DecryptCommand(const std::wstring& programPath);
// P,0: the first icon group of the program.
std::wstring IconLocation(const std::wstring& programPath);

}  // namespace ferrune
