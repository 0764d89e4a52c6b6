#include "app/password_bytes.h"

#include <windows.h>

namespace ferrune {
namespace {

// `usedDefault` null: no character counts as missing.
std::optional<SecretBytes> Converted(UINT codePage, DWORD flags, const wchar_t* text, std::size_t length,
                                     BOOL* usedDefault) {
  if (length == 0) return SecretBytes();
  const int size = WideCharToMultiByte(codePage, flags, text, int(length), nullptr, 0, nullptr, usedDefault);
  if (size <= 0 || (usedDefault && *usedDefault)) return std::nullopt;
  SecretBytes bytes(static_cast<std::size_t>(size));
  const int written = WideCharToMultiByte(codePage, flags, text, int(length), reinterpret_cast<char*>(bytes.data()),
                                          size, nullptr, usedDefault);
  if (written != size || (usedDefault && *usedDefault)) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<SecretBytes> PasswordBytes(const wchar_t* text, std::size_t length) {
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8) return Converted(codePage, WC_ERR_INVALID_CHARS, text, length, nullptr);
  BOOL usedDefault = FALSE;
  return Converted(codePage, WC_NO_BEST_FIT_CHARS, text, length, &usedDefault);
}

std::optional<SecretBytes> StandardPasswordBytes(const wchar_t* text, std::size_t length) {
  return Converted(GetACP(), 0, text, length, nullptr);
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
