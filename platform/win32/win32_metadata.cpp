#include "platform/win32/win32_metadata.h"

#include <algorithm>
#include <cstdint>

#include "platform/win32/streams_switch.h"
#include "platform/win32/win32_io.h"
#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

constexpr wchar_t kZoneStream[] = L":Zone.Identifier";
// A mark is a few lines of text.
constexpr LONGLONG kMaxMark = 64 * 1024;

// A file system that cannot keep a value (FAT's dates before 1980,
// attributes a share has no place for) says so with one of these; that is
// what it keeps, not a failure.
bool KeepsNoSuch(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

bool SetBasic(HANDLE file, FILE_BASIC_INFO basic) {
  return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) || KeepsNoSuch(GetLastError());
}

}  // namespace

bool KeepsStreams(HANDLE file) {
  DWORD flags = 0;
  return StreamsSwitchOn() || (GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
                               (flags & FILE_NAMED_STREAMS) != 0);
}

bool ReadMetadata(HANDLE file, const std::wstring& full, FileMetadata* metadata) {
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return false;
  metadata->creationTime = TimeOf(basic.CreationTime.QuadPart);
  metadata->writeTime = TimeOf(basic.LastWriteTime.QuadPart);
  metadata->attributes = basic.FileAttributes & kCarriedAttributes;
  if (!KeepsStreams(file)) return true;
  UniqueHandle stream(CreateFileW((full + kZoneStream).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!stream) return Missing(GetLastError());
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(stream.get(), &size) || size.QuadPart < 0 || size.QuadPart > kMaxMark) return false;
  std::string mark(static_cast<std::size_t>(size.QuadPart), '\0');
  if (!ReadAtOffset(stream.get(), 0, reinterpret_cast<std::uint8_t*>(mark.data()), mark.size()).ok()) return false;
  metadata->zoneMark = std::move(mark);
  return true;
}

// Shared with every kind of open, so that the file's own handle, which has
// delete access, does not refuse it.
bool WriteZoneMark(const std::wstring& full, const std::string& mark) {
  UniqueHandle stream(CreateFileW((full + kZoneStream).c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  return stream &&
         WriteAtOffset(stream.get(), 0, reinterpret_cast<const std::uint8_t*>(mark.data()), mark.size()).ok() &&
         FlushFileBuffers(stream.get());
}

// Zero asks the system to leave a time as it is, so a time of zero
// (1601-01-01 00:00) is set as the nearest one that can be asked for, a
// tenth of a microsecond later.
bool StampTimes(HANDLE file, const FileMetadata& from) {
  const auto carried = [](const std::optional<FileTime>& time) {
    return time ? std::max<LONGLONG>(FileTimeOf(*time), 1) : 0;
  };
  FILE_BASIC_INFO basic{};  // zero: left as it is
  basic.CreationTime.QuadPart = carried(from.creationTime);
  basic.LastWriteTime.QuadPart = carried(from.writeTime);
  return SetBasic(file, basic);
}

// What the new file has of its own stays: a folder's "not indexed".
bool StampAttributes(HANDLE file, DWORD attributes) {
  const DWORD own = AttributesOf(file);
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = (attributes & kCarriedAttributes) | FILE_ATTRIBUTE_ARCHIVE |
                         (own == INVALID_FILE_ATTRIBUTES ? 0 : own & FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  return SetBasic(file, basic);
}

}  // namespace ferrune
