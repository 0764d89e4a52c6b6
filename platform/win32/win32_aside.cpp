#include "platform/win32/win32_aside.h"

#include "core/path_rules.h"
#include "core/utf.h"
#include "platform/win32/win32_io.h"

namespace ferrune {

UniqueHandle* HandleOf(FileHold* hold) {
  auto* own = dynamic_cast<Win32Hold*>(hold);
  return own ? &own->owned() : nullptr;
}

UniqueHandle OpenToSetAside(const std::wstring& full) {
  return UniqueHandle(CreateFileW(full.c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// A name fits 255 UTF-16 units and 255 bytes in UTF-8, the limit of the Linux
// file systems below Wine and of the shares they serve. The put-back knows
// the whole name even where the set-aside one is cut.
Win32Aside AsideOf(AsideKind kind, const FileIdentity& identity, const std::wstring& full) {
  const std::wstring name = AsideFileName(kind, identity, NameOf(full), [](std::wstring_view n) {
    return n.size() <= 255 && Utf8FromWide(std::wstring(n)).size() <= 255;
  });
  Win32Aside aside{FolderOf(full) + name, *ParseOurName(name)};
  aside.name.original = NameOf(full);
  aside.name.wholeOriginal = true;
  return aside;
}

bool PutBackThrough(HANDLE file, const std::wstring& folder, const OurName& aside) {
  return !PutBack(aside, [&](const std::wstring& name) { return RenameThrough(file, folder + name, false); }).empty();
}

}  // namespace ferrune
