#include "platform/win32/win32_aside.h"

#include "core/path_rules.h"
#include "core/utf.h"
#include "platform/win32/win32_io.h"

namespace ferrune {
namespace {

// A name fits 255 UTF-16 units and 255 bytes in UTF-8, the limit of the Linux
// file systems below Wine and of the shares they serve.
bool Fits(std::wstring_view name) { return name.size() <= 255 && Utf8FromWide(std::wstring(name)).size() <= 255; }

}  // namespace

UniqueHandle* HandleOf(FileHold* hold) {
  auto* own = dynamic_cast<Win32Hold*>(hold);
  return own ? &own->owned() : nullptr;
}

UniqueHandle OpenToSetAside(const std::wstring& full) {
  return UniqueHandle(CreateFileW(full.c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

Win32Aside AsideOf(AsideKind kind, const FileIdentity& identity, const std::wstring& full) {
  AsideName aside = AsideOf(kind, identity, NameOf(full), Fits);
  return {FolderOf(full) + aside.name, std::move(aside.our)};
}

PutBackResult PutBackThrough(HANDLE file, const std::wstring& asidePath, const OurName& aside) {
  const std::wstring folder = FolderOf(asidePath);
  return PutBack(
      aside, NameOf(asidePath),
      [&](const std::wstring& name) {
        return RenameThrough(file, folder + name, false) ? FileError{} : LastError(FileOp::PutBack);
      },
      [](const FileError& error) {
        return error == FileError::Win32(ERROR_ALREADY_EXISTS, FileOp::PutBack) ||
               error == FileError::Win32(ERROR_FILE_EXISTS, FileOp::PutBack);
      },
      Fits);
}

}  // namespace ferrune
