#include "platform/win32/win32_io.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

constexpr std::size_t kMaxIo = 1u << 30;

// `call` is ReadFile or WriteFile, taking at most a gigabyte at a time.
template <typename Byte, typename Call>
bool TransferAt(HANDLE file, std::uint64_t offset, Byte* bytes, std::size_t length, Call call) {
  while (length > 0) {
    const auto part = static_cast<DWORD>(std::min(length, kMaxIo));
    OVERLAPPED at = At(offset);
    DWORD moved = 0;
    if (!call(file, bytes, part, &moved, &at) || moved == 0) return false;
    bytes += moved;
    offset += moved;
    length -= moved;
  }
  return true;
}

}  // namespace

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

bool ReadAtOffset(HANDLE file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  return TransferAt(file, offset, buffer, length, ReadFile);
}

bool WriteAtOffset(HANDLE file, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  return TransferAt(file, offset, data, length, WriteFile);
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
  identity->writeTime = basic.LastWriteTime.QuadPart;
  identity->changeTime = basic.ChangeTime.QuadPart;
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

}  // namespace

// The folder's own final name with the name asked for, against the file's:
// whatever the folder's path goes through (a mapped drive, a junction, a
// link) shows on both sides alike.
bool ReachedThroughLink(HANDLE file, const std::wstring& full) {
  const std::wstring folder = FolderOf(full);
  UniqueHandle dir(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::wstring there;
  std::wstring asked;
  if (folder.empty() || !dir || !FinalPathOf(file, &there) || !FinalPathOf(dir.get(), &asked)) return false;
  if (asked.back() != L'\\') asked += L'\\';
  asked += full.substr(folder.size());
  return CompareStringOrdinal(asked.c_str(), static_cast<int>(asked.size()), there.c_str(),
                              static_cast<int>(there.size()), TRUE) != CSTR_EQUAL;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

}  // namespace ferrune
