#include "platform/win32/win32_error_text.h"

#include <windows.h>

#include <cwchar>

#include "core/unique_any.h"

namespace ferrune {
namespace {

using LocalText = UniqueAny<wchar_t*, CallClose<&LocalFree>>;

}  // namespace

std::wstring SystemErrorText(const FileError& error) {
  std::wstring text;
  if (error.domain == ErrorDomain::Posix) {
    text = _wcserror(error.code);
  } else if (error.domain == ErrorDomain::Win32) {
    LocalText message;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
        static_cast<DWORD>(error.code), 0, reinterpret_cast<wchar_t*>(message.put()), 0, nullptr);
    if (length > 0) text.assign(message.get(), length);
  }
  text.erase(text.find_last_not_of(L"\r\n ") + 1);
  return text.empty() ? L"Error " + std::to_wstring(error.code) : text;
}

}  // namespace ferrune
