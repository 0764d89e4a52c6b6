#include "platform/win32/win32_file_system.h"

#include "core/temp_name.h"
#include "platform/win32/long_path.h"
#include "platform/win32/win32_io.h"
#include "platform/win32/win32_temp_file.h"
#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

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

// Another program has the file open in a way ours cannot share.
bool HeldByAnother(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

UniqueHandle OpenShared(const std::wstring& full) {
  return UniqueHandle(CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

class Win32Deletable final : public DeletableFile {
 public:
  explicit Win32Deletable(UniqueHandle file) : file_(std::move(file)) {}
  std::optional<FileIdentity> Identity() override {
    FileIdentity identity;
    if (!IdentityOf(file_.get(), &identity)) return std::nullopt;
    return identity;
  }
  // The handle is the file that was looked at, and shares no writing.
  Removal Delete(const FileIdentity&, const std::function<bool()>& outputStands) override {
    if (!outputStands()) return Removal::OutputGone;
    if (!MarkForDelete(file_.get(), true)) return Removal::Failed;
    file_.reset();
    return Removal::Deleted;
  }

 private:
  UniqueHandle file_;
};

class Win32InputFile final : public HeldFile {
 public:
  Win32InputFile(UniqueHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(file_.get(), offset, buffer, length);
  }
  // Our own read shares no delete, so it goes first, with the job's lock;
  // whatever stands under the name in that gap is what the identity check
  // then looks at.
  std::unique_ptr<DeletableFile> ForDelete(const std::wstring& path) override {
    file_.reset();
    const std::wstring full = LongPath(path);
    if (full.empty()) return nullptr;
    UniqueHandle target(CreateFileW(full.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!target) return nullptr;
    return std::make_unique<Win32Deletable>(std::move(target));
  }

 private:
  UniqueHandle file_;
  const std::uint64_t size_;
};

using Win32Hold = OpaqueOwner<HoldTag, UniqueHandle>;

}  // namespace

std::unique_ptr<InputFile> Win32FileSystem::OpenRead(const std::wstring& path) {
  UniqueHandle file = OpenShared(LongPath(path));
  if (!file) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return nullptr;
  return std::make_unique<Win32InputFile>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

std::unique_ptr<HeldFile> Win32FileSystem::OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) {
  *refused = Outcome::CannotRead;
  const std::wstring full = LongPath(path);
  if (full.empty()) return nullptr;
  // The path itself, before the open follows it.
  const DWORD attributes = GetFileAttributesW(full.c_str());
  const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // Shared for reading only: no other program may write, rename or delete
  // it while the job runs.
  UniqueHandle file = OpenShared(full);
  if (!file) {
    if (HeldByAnother(GetLastError())) *refused = Outcome::InUse;
    return nullptr;
  }
  if (TakeLock(file.get()) == Lock::HeldElsewhere) {
    *refused = Outcome::InUse;
    return nullptr;
  }
  if (!IdentityOf(file.get(), seen)) return nullptr;
  seen->symbolicLink = seen->symbolicLink || link;
  return std::make_unique<Win32InputFile>(std::move(file), seen->size);
}

PathKind Win32FileSystem::Kind(const std::wstring& path) {
  const std::wstring full = LongPath(path);
  const DWORD attributes = full.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::Missing : PathKind::Other;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Other : PathKind::File;
}

std::unique_ptr<FileHold> Win32FileSystem::HoldExisting(const std::wstring& path, FileIdentity* seen) {
  const std::wstring full = LongPath(path);
  if (full.empty()) return nullptr;
  UniqueHandle file(
      CreateFileW(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  // A program writing to it would lose its work to the replace.
  if (!file && GetLastError() == ERROR_SHARING_VIOLATION) return nullptr;
  if (file && TakeLock(file.get()) == Lock::HeldElsewhere) return nullptr;
  if (!(file ? IdentityOf(file.get(), seen) : IdentityAt(full, seen))) return nullptr;
  return std::make_unique<Win32Hold>(std::move(file));
}

bool Win32FileSystem::Identify(const std::wstring& path, FileIdentity* seen) {
  const std::wstring full = LongPath(path);
  if (full.empty()) return false;
  const DWORD attributes = GetFileAttributesW(full.c_str());
  UniqueHandle file(CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file || !IdentityOf(file.get(), seen)) return false;
  seen->symbolicLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return true;
}

std::unique_ptr<TempFile> Win32FileSystem::CreateTemp(const std::wstring& finalPath) {
  // The output's folder, so the rename never crosses volumes. A new file
  // takes the folder's permissions, as any file made there does.
  const std::wstring full = LongPath(finalPath);
  if (full.empty()) return nullptr;
  return CreateWin32Temp(FolderOf(full));
}

void Win32FileSystem::RemoveLeftovers(const std::wstring& path) {
  const std::wstring full = LongPath(path);
  if (full.empty()) return;
  const std::wstring folder = FolderOf(full);
  WIN32_FIND_DATAW found{};
  FindHandle search(FindFirstFileW((folder + L".ferrune-*.tmp").c_str(), &found));
  if (!search) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsTempFileName(found.cFileName)) continue;
    // A running job has its file open, shared with no deleter: this open fails.
    UniqueHandle leftover(CreateFileW((folder + found.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (leftover) MarkForDelete(leftover.get(), true);
  } while (FindNextFileW(search.get(), &found));
}

}  // namespace ferrune
