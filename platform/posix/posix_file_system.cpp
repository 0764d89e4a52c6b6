#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "core/temp_name.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_io.h"
#include "platform/posix/posix_temp_file.h"

namespace ferrune {
namespace {

// Deletes by moving the file to a name of ours first and looking at what
// moved: a file put under the input's name in the meantime is moved back,
// never deleted.
class PosixDeletable final : public DeletableFile {
 public:
  PosixDeletable(UniqueFd fd, std::string native) : fd_(std::move(fd)), native_(std::move(native)) {}

  // What the name leads to now, not what the open file is.
  FileIdentity Identity() override {
    struct stat st {};
    if (::lstat(native_.c_str(), &st) != 0) return {};
    return IdentityOf(st);
  }

  Removal Delete(const FileIdentity& expected) override {
    const std::string hidden =
        NativeFolderOf(native_) + "/" + ToNativePath(NewTempFileName(static_cast<std::uint32_t>(::getpid())));
    if (!RenameNoReplace(native_, hidden)) return Removal::Failed;
    // Ended at once from here on, the process leaves no plain copy behind.
    const int slot = RegisterNamed(hidden);
    struct stat moved {
    }, held{};
    // The move itself changes the change time; the rest must hold.
    const bool ours = ::lstat(hidden.c_str(), &moved) == 0 && ::fstat(fd_.get(), &held) == 0 &&
                      S_ISREG(moved.st_mode) && moved.st_dev == held.st_dev && moved.st_ino == held.st_ino &&
                      held.st_nlink == 1 && IdentityOf(held).volume == expected.volume &&
                      IdentityOf(held).index == expected.index && IdentityOf(held).size == expected.size &&
                      IdentityOf(held).writeTime == expected.writeTime;
    const bool deleted = ours && ::unlink(hidden.c_str()) == 0;
    UnregisterNamed(slot);
    if (deleted) return Removal::Deleted;
    // Back where it was; if something took that name meanwhile, it stays
    // under ours rather than replace it.
    RenameNoReplace(hidden, native_);
    return ours ? Removal::Failed : Removal::Changed;
  }

 private:
  UniqueFd fd_;  // the job's hold, kept until the delete is done
  const std::string native_;
};

class PosixInputFile final : public HeldFile {
 public:
  PosixInputFile(UniqueFd fd, const struct stat& st)
      : fd_(std::move(fd)), size_(static_cast<std::uint64_t>(st.st_size)), permissions_(PermissionsOf(st)) {}
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }
  std::uint32_t Permissions() const override { return permissions_; }
  std::unique_ptr<DeletableFile> ForDelete(const std::wstring& path) override {
    std::string native;
    if (!Native(path, &native)) return nullptr;
    return std::make_unique<PosixDeletable>(std::move(fd_), std::move(native));
  }

 private:
  UniqueFd fd_;
  const std::uint64_t size_;
  const std::uint32_t permissions_;
};

// A regular file opened for reading, without hanging on a FIFO.
UniqueFd OpenRegular(const std::string& native, struct stat* st) {
  // O_NONBLOCK so that a FIFO does not hang the open; it is refused below.
  UniqueFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return fd;
  if (::fstat(fd.get(), st) != 0 || !S_ISREG(st->st_mode) || st->st_size < 0) return UniqueFd();
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return UniqueFd();
  return fd;
}

// Keeps other jobs off an existing file: an flock, advisory, so it binds
// only zrv itself. A file that cannot be opened or locked here (no read
// permission, a link, a file system without flock) is taken without one.
using PosixHold = OpaqueOwner<HoldTag, UniqueFd>;

}  // namespace

std::unique_ptr<InputFile> PosixFileSystem::OpenRead(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return nullptr;
  struct stat st {};
  UniqueFd fd = OpenRegular(native, &st);
  if (!fd) return nullptr;
  return std::make_unique<PosixInputFile>(std::move(fd), st);
}

std::unique_ptr<HeldFile> PosixFileSystem::OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) {
  *refused = Outcome::CannotRead;
  std::string native;
  if (!Native(path, &native)) return nullptr;
  // The path itself, before the open follows it: deleting through a link
  // would delete the link only.
  struct stat named {};
  const bool link = ::lstat(native.c_str(), &named) == 0 && S_ISLNK(named.st_mode);
  struct stat st {};
  UniqueFd fd = OpenRegular(native, &st);
  if (!fd) return nullptr;
  if (!TryLock(fd.get()) && errno == EWOULDBLOCK) {
    *refused = Outcome::InUse;
    return nullptr;
  }
  *seen = IdentityOf(st);
  seen->symbolicLink = link;
  return std::make_unique<PosixInputFile>(std::move(fd), st);
}

PathKind PosixFileSystem::Kind(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return PathKind::Other;
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return errno == ENOENT ? PathKind::Missing : PathKind::Other;
  return S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) ? PathKind::File : PathKind::Other;
}

std::unique_ptr<FileHold> PosixFileSystem::HoldExisting(const std::wstring& path, FileIdentity* seen) {
  std::string native;
  if (!Native(path, &native)) return nullptr;
  UniqueFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
  if (fd && !TryLock(fd.get()) && errno == EWOULDBLOCK) return nullptr;
  // What the name holds, a link included: that is what a commit replaces.
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return nullptr;
  *seen = IdentityOf(st);
  return std::make_unique<PosixHold>(std::move(fd));
}

std::unique_ptr<TempFile> PosixFileSystem::CreateTemp(const std::wstring& finalPath, std::uint32_t permissions) {
  std::string native;
  if (!Native(finalPath, &native)) return nullptr;
  return CreatePosixTemp(NativeFolderOf(native), permissions, unnamedTemps_);
}

void PosixFileSystem::RemoveLeftovers(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return;
  const std::string folder = NativeFolderOf(native);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsTempFileName(FromNativePath(entry->d_name))) names.push_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    const std::string candidate = folder + "/" + name;
    struct stat named {
    }, opened{};
    if (::lstat(candidate.c_str(), &named) != 0 || !S_ISREG(named.st_mode) || named.st_uid != ::geteuid()) continue;
    UniqueFd fd(::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    // A running job holds its file locked; only one nobody holds is a leftover.
    if (!fd || !TryLock(fd.get())) continue;
    if (::fstat(fd.get(), &opened) == 0 && opened.st_ino == named.st_ino && opened.st_dev == named.st_dev) {
      ::unlink(candidate.c_str());
    }
  }
}

}  // namespace ferrune
