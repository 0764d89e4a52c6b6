#include "shell/shell_texts.h"

namespace ferrune {

std::wstring EncryptCommand(const std::wstring& programPath) { return L"\"" + programPath + L"\" \"%1\" /crypt"; }

std::wstring DecryptCommand(const std::wstring& programPath) { return L"\"" + programPath + L"\" \"%1\" /encrypt"; }

std::wstring IconLocation(const std::wstring& programPath) { return programPath + L",0"; }

}  // namespace ferrune
