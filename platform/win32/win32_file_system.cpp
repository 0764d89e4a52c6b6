#include "platform/win32/win32_file_system.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <vector>

#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

constexpr std::size_t kMaxIo = 1u << 30;

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// Positional, so two threads may share the handle. `call` is ReadFile or
// WriteFile, taking at most a gigabyte at a time.
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

bool ReadAtOffset(HANDLE file, std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  return TransferAt(file, offset, buffer, length, ReadFile);
}

bool WriteAtOffset(HANDLE file, std::uint64_t offset, const std::uint8_t* data, std::size_t length) {
  return TransferAt(file, offset, data, length, WriteFile);
}

// Where a job's lock lies: far past any file's end, so that the lock keeps
// other jobs out while readers of the data stay welcome. Both zrv.exe and
// the window take it at the same place.
constexpr std::uint64_t kHoldOffset = std::uint64_t{1} << 62;

enum class Lock { Taken, HeldElsewhere, Unavailable };

Lock TakeLock(HANDLE file) {
  OVERLAPPED at = At(kHoldOffset);
  if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) return Lock::Taken;
  return GetLastError() == ERROR_LOCK_VIOLATION ? Lock::HeldElsewhere : Lock::Unavailable;
}

bool MarkForDelete(HANDLE file, bool marked) {
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(marked ? TRUE : FALSE)};
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
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

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD got = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (got == 0 || got >= needed) return {};
  full.resize(got);
  return full;
}

// "~ferrune-<8 hex>-<8 hex>.tmp", exactly: a short name may match the
// search pattern too.
bool IsTempName(const wchar_t* name) {
  const std::wstring text = name;
  if (text.size() != 30 || text.compare(0, 9, L"~ferrune-") != 0 || text[17] != L'-' ||
      text.compare(26, 4, L".tmp") != 0) {
    return false;
  }
  for (const std::size_t i : {9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 25}) {
    if (!iswxdigit(text[i])) return false;
  }
  return true;
}

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(UniqueHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(file_.get(), offset, buffer, length);
  }
  // Closing it gives up the job's lock too.
  void Close() { file_.reset(); }

 private:
  UniqueHandle file_;
  const std::uint64_t size_;
};

// Marked for deletion from its creation: if the process dies, the system
// removes it. The mark is cleared only for the rename.
class Win32TempFile final : public TempFile {
 public:
  Win32TempFile(UniqueHandle file, std::wstring where, bool marked)
      : path(std::move(where)), marked_(marked), file_(std::move(file)) {}
  ~Win32TempFile() override { Drop(); }
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    return WriteAtOffset(file_.get(), offset, data, length);
  }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(file_.get(), offset, buffer, length);
  }
  bool Flush() override { return FlushFileBuffers(file_.get()) != FALSE; }

  // Renames through the handle. ReplaceIfExists false fails when a file
  // stands there (ERROR_ALREADY_EXISTS) and keeps it.
  bool Place(const std::wstring& finalPath, bool replace) {
    const std::wstring full = FullPath(finalPath);
    if (full.empty() || !MarkForDelete(file_.get(), false)) return false;
    marked_ = false;
    const std::size_t bytes = full.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + bytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(bytes);
    std::memcpy(rename->FileName, full.c_str(), bytes + sizeof(wchar_t));
    if (!SetFileInformationByHandle(file_.get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
      return false;
    }
    // The rename reaches the disk with the file's own metadata.
    FlushFileBuffers(file_.get());
    file_.reset();
    return true;
  }
  void Drop() {
    if (!file_) return;
    marked_ = marked_ || MarkForDelete(file_.get(), true);
    file_.reset();
    if (!marked_) DeleteFileW(path.c_str());
  }

  const std::wstring path;

 private:
  bool marked_;
  UniqueHandle file_;
};

class Win32Hold final : public FileHold {
 public:
  explicit Win32Hold(UniqueHandle file) : file_(std::move(file)) {}

 private:
  UniqueHandle file_;
};

class Win32Deletable final : public DeletableFile {
 public:
  explicit Win32Deletable(UniqueHandle file) : file_(std::move(file)) {}
  FileIdentity Identity() override {
    FileIdentity identity;
    if (!IdentityOf(file_.get(), &identity)) return {};
    return identity;
  }
  bool Delete() override {
    if (!MarkForDelete(file_.get(), true)) return false;
    file_.reset();
    return true;
  }

 private:
  UniqueHandle file_;
};

std::atomic<unsigned> tempCounter{0};

}  // namespace

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

std::unique_ptr<InputFile> Win32FileSystem::OpenRead(const std::wstring& path) {
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return nullptr;
  return std::make_unique<Win32InputFile>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

std::unique_ptr<InputFile> Win32FileSystem::OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) {
  *refused = Outcome::CannotRead;
  // The path itself, before the open follows it.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // Shared for reading only: no other program may write, rename or delete
  // it while the job runs.
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  if (TakeLock(file.get()) == Lock::HeldElsewhere) {
    *refused = Outcome::InUse;
    return nullptr;
  }
  if (!IdentityOf(file.get(), seen)) return nullptr;
  seen->symbolicLink = seen->symbolicLink || link;
  return std::make_unique<Win32InputFile>(std::move(file), seen->size);
}

PathKind Win32FileSystem::Kind(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing : PathKind::Other;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Other : PathKind::File;
}

std::unique_ptr<FileHold> Win32FileSystem::HoldExisting(const std::wstring& path) {
  UniqueHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  // A program writing to it would lose its work to the replace.
  if (!file) return GetLastError() == ERROR_SHARING_VIOLATION ? nullptr : std::make_unique<Win32Hold>(UniqueHandle());
  if (TakeLock(file.get()) == Lock::HeldElsewhere) return nullptr;
  return std::make_unique<Win32Hold>(std::move(file));
}

std::unique_ptr<TempFile> Win32FileSystem::CreateTemp(const std::wstring& finalPath) {
  // A short name in the same folder, so the rename never crosses volumes.
  const std::wstring folder = FolderOf(finalPath);
  for (int attempt = 0; attempt < 64; ++attempt) {
    wchar_t name[48];
    std::swprintf(name, 48, L"~ferrune-%08lx-%08x.tmp", GetCurrentProcessId(),
                  tempCounter.fetch_add(1) ^ static_cast<unsigned>(GetTickCount64()));
    std::wstring path = folder + name;
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      // Without the mark the next job's cleanup is what removes a leftover.
      const bool marked = MarkForDelete(file.get(), true);
      return std::make_unique<Win32TempFile>(std::move(file), std::move(path), marked);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return nullptr;
  }
  return nullptr;
}

bool Win32FileSystem::Commit(std::unique_ptr<TempFile> file, const std::wstring& finalPath) {
  auto& temp = static_cast<Win32TempFile&>(*file);
  if (temp.Place(finalPath, true)) return true;
  temp.Drop();
  return false;
}

bool Win32FileSystem::CommitNew(std::unique_ptr<TempFile> file, const std::wstring& finalPath) {
  auto& temp = static_cast<Win32TempFile&>(*file);
  if (temp.Place(finalPath, false)) return true;
  temp.Drop();
  return false;
}

void Win32FileSystem::Discard(std::unique_ptr<TempFile> file) { static_cast<Win32TempFile&>(*file).Drop(); }

std::unique_ptr<DeletableFile> Win32FileSystem::ForDelete(std::unique_ptr<InputFile> file, const std::wstring& path) {
  if (!file) return nullptr;
  // Our own read shares no delete, so it goes first; whatever stands under
  // the name in that gap is what the identity check then looks at.
  static_cast<Win32InputFile&>(*file).Close();
  UniqueHandle target(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!target) return nullptr;
  return std::make_unique<Win32Deletable>(std::move(target));
}

void Win32FileSystem::RemoveLeftovers(const std::wstring& path) {
  const std::wstring folder = FolderOf(path);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + L"~ferrune-*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsTempName(found.cFileName)) continue;
    // A running job has its file open, shared with nobody: this open fails.
    UniqueHandle leftover(CreateFileW((folder + found.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (leftover) MarkForDelete(leftover.get(), true);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace ferrune
