#include "platform/win32/win32_io.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/page_alignment.h"
#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

constexpr std::size_t kMaxIo = 1u << 30;

constexpr LONGLONG kTicksPerSecond = 10000000;

// `call` is ReadFile or WriteFile, taking at most a gigabyte at a time.
template <typename Byte, typename Call>
FileError TransferAt(HANDLE file, std::uint64_t offset, Byte* bytes, std::size_t length, Call call, FileOp op) {
  while (length > 0) {
    const auto part = static_cast<DWORD>(std::min(length, kMaxIo));
    OVERLAPPED at = At(offset);
    DWORD moved = 0;
    if (!call(file, bytes, part, &moved, &at)) {
      // A read at the end: the file is shorter than it was.
      return op == FileOp::Read && GetLastError() == ERROR_HANDLE_EOF ? FileError::Own(OwnError::Shrank, op)
                                                                      : LastError(op);
    }
    // Nothing moved: the file ended, or the disk took nothing.
    if (moved == 0)
      return op == FileOp::Write ? FileError::Win32(ERROR_DISK_FULL, op) : FileError::Own(OwnError::Shrank, op);
    bytes += moved;
    offset += moved;
    length -= moved;
  }
  return {};
}

}  // namespace

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

FileTime TimeOf(LONGLONG filetime) {
  // Floor division: the part of a second is never negative.
  LONGLONG seconds = filetime / kTicksPerSecond;
  LONGLONG rest = filetime % kTicksPerSecond;
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  return {seconds, static_cast<std::uint32_t>(rest * 100)};
}

LONGLONG FileTimeOf(const FileTime& time) { return time.seconds * kTicksPerSecond + time.nanoseconds / 100; }

FileError ReadAtOffset(HANDLE file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  return TransferAt(file, offset, buffer, length, ReadFile, FileOp::Read);
}

FileError WriteAtOffset(HANDLE file, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  return TransferAt(file, offset, data, length, WriteFile, FileOp::Write);
}

bool HonoursUnbuffered(HANDLE unbuffered) {
  // Unbuffered reads take whole sectors into memory aligned to them; a page
  // covers every sector size in use.
  alignas(kPageAlignment) static thread_local std::uint8_t sector[kPageAlignment];
  OVERLAPPED at = At(0);
  DWORD got = 0;
  return !ReadFile(unbuffered, sector, 1, &got, &at) && GetLastError() == ERROR_INVALID_PARAMETER;
}

FileError ReadUnbuffered(HANDLE unbuffered, std::uint64_t offset, std::uint8_t* buffer, std::size_t length,
                         SecretBytes& bounce) {
  DWORD error = ERROR_SUCCESS;
  const bool read =
      ReadThroughPages(offset, buffer, length, bounce, [&](std::uint64_t at, std::uint8_t* sectors, std::size_t count) {
        OVERLAPPED where = At(at);
        DWORD moved = 0;
        const auto part = static_cast<DWORD>(std::min<std::size_t>(count, kMaxIo));
        if (ReadFile(unbuffered, sectors, part, &moved, &where)) return std::int64_t{moved};
        error = GetLastError();
        return std::int64_t{-1};
      });
  if (read) return {};
  if (error == ERROR_SUCCESS || error == ERROR_HANDLE_EOF)
    return FileError::Own(OwnError::Shrank, FileOp::ReadPastCache);
  return FileError::Win32(error, FileOp::ReadPastCache);
}

bool IdentityOf(HANDLE file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    return false;
  }
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  identity->size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  identity->writeTime = TimeOf(basic.LastWriteTime.QuadPart);
  identity->changeTime = TimeOf(basic.ChangeTime.QuadPart);
  identity->links = info.nNumberOfLinks;
  identity->symbolicLink = (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return true;
}

bool IdentityAt(const std::wstring& path, FileIdentity* identity) {
  UniqueHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && IdentityOf(file.get(), identity);
}

bool MarkForDelete(HANDLE file, bool marked) {
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(marked ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool RenameThrough(HANDLE file, const std::wstring& to, bool replace) {
  const std::size_t bytes = to.size() * sizeof(wchar_t);
  std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(rename->FileName, to.c_str(), bytes + sizeof(wchar_t));
  return SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

DWORD AttributesOf(HANDLE file) {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return INVALID_FILE_ATTRIBUTES;
  return basic.FileAttributes;
}

namespace {

bool FinalPathOf(HANDLE file, std::wstring* path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return false;
    if (n < buffer.size()) {
      buffer.resize(n);
      *path = std::move(buffer);
      return true;
    }
    buffer.resize(n);
  }
  return false;
}

// A name without its trailing dots and spaces, which Wine's reported names lack.
std::wstring_view Trimmed(std::wstring_view name) { return name.substr(0, name.find_last_not_of(L". ") + 1); }

// The folder's entry that `full` reaches, as the folder keeps it: in its own
// case, and in its long form where `full` gives a short one.
bool EntryName(const std::wstring& full, std::wstring* name) {
  WIN32_FIND_DATAW entry{};
  FindHandle found(FindFirstFileW(full.c_str(), &entry));
  if (!found) return false;
  *name = entry.cFileName;
  return true;
}

// Calls `each` with the name of every entry that `pattern` finds.
template <typename Each>
void ForEachEntry(const std::wstring& pattern, Each each) {
  WIN32_FIND_DATAW found{};
  FindHandle search(FindFirstFileW(pattern.c_str(), &found));
  if (!search) return;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") each(name);
  } while (FindNextFileW(search.get(), &found));
}

// Wine reports names without their trailing dots and spaces; Windows keeps
// them, and shows a link as a link.
bool NamesLoseTrailingDots() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// The paths, from the root of the volume down, that lead to the file of
// `identity` and differ from its final path `there` only in trailing dots
// and spaces, which Wine's reported names lack in every part.
std::vector<std::wstring> PathsReportedAs(const std::wstring& there, const FileIdentity& identity) {
  // After "\\?\C:" or "\\?\UNC\server\share".
  std::size_t cut = there.starts_with(L"\\\\?\\UNC\\") ? there.find(L'\\', there.find(L'\\', 8) + 1) : 6;
  std::vector<std::wstring> paths{there.substr(0, cut + 1)};
  while (cut != std::wstring::npos && cut + 1 < there.size()) {
    const std::size_t end = there.find(L'\\', cut + 1);
    const std::wstring stem(Trimmed(std::wstring_view(there).substr(cut + 1, end - cut - 1)));
    std::vector<std::wstring> deeper;
    for (const std::wstring& folder : paths) {
      ForEachEntry(folder + stem + L"*", [&](const std::wstring& name) {
        if (Trimmed(name) == stem) deeper.push_back(folder + name + (end == std::wstring::npos ? L"" : L"\\"));
      });
    }
    paths = std::move(deeper);
    cut = end;
  }
  std::erase_if(paths, [&](const std::wstring& path) {
    FileIdentity other;
    return !IdentityAt(path, &other) || !SameFile(other, identity);
  });
  return paths;
}

}  // namespace

// The folder's own final name with its entry's name, against the file's,
// exactly: whatever the folder's path goes through (a mapped drive, a
// junction, a link) shows on both sides alike, while case counts, since
// Wine's Linux folders hold "Link.txt" and "link.txt" as two files. Wine
// reports names without their trailing dots and spaces, so "r." leading to
// "r" shows only as a second path that reaches the same file (and "r" is
// then taken for a link as well: other names lead to its data).
bool ReachedThroughLink(HANDLE file, const std::wstring& full) {
  const std::wstring folder = FolderOf(full);
  UniqueHandle dir(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::wstring there;
  std::wstring asked;
  std::wstring entry;
  FileIdentity identity;
  if (folder.empty() || !dir || !FinalPathOf(file, &there) || !FinalPathOf(dir.get(), &asked) ||
      !EntryName(full, &entry) || !IdentityOf(file, &identity)) {
    return false;
  }
  if (asked.back() != L'\\') asked += L'\\';
  asked += Trimmed(entry);
  if (asked != Trimmed(there)) return true;
  // The name asked for is one of these paths; none: the folders could not be listed.
  return NamesLoseTrailingDots() && PathsReportedAs(there, identity).size() > 1;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

}  // namespace ferrune
