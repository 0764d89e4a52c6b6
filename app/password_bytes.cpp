#include "app/password_bytes.h"

#include <windows.h>

namespace ferrune {

std::optional<SecretBytes> PasswordBytes(const wchar_t* text, std::size_t length) {
  if (length == 0) return SecretBytes();
  const UINT codePage = GetACP();
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultArg = utf8 ? nullptr : &usedDefault;
  const int size = WideCharToMultiByte(codePage, flags, text, int(length), nullptr, 0, nullptr, usedDefaultArg);
  if (size <= 0 || usedDefault) return std::nullopt;
  SecretBytes bytes(static_cast<std::size_t>(size));
  usedDefault = FALSE;
  const int written = WideCharToMultiByte(codePage, flags, text, int(length), reinterpret_cast<char*>(bytes.data()),
                                          size, nullptr, usedDefaultArg);
  if (written != size || usedDefault) return std::nullopt;
  return bytes;
}

SecretWideText::~SecretWideText() {
  if (!text.empty()) WipeBytes(text.data(), text.size() * sizeof(wchar_t));
}

void ReadEditText(void* hwnd, SecretWideText& out) {
  HWND edit = static_cast<HWND>(hwnd);
  out.text.assign(size_t(GetWindowTextLengthW(edit)) + 1, L'\0');
  const int n = GetWindowTextW(edit, out.text.data(), int(out.text.size()));
  WipeBytes(out.text.data() + n, (out.text.size() - size_t(n)) * sizeof(wchar_t));
  out.text.resize(size_t(n));
}

}  // namespace ferrune
