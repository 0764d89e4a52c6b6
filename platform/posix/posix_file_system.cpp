#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/job_pause.h"
#include "core/page_alignment.h"
#include "core/secret_bytes.h"
#include "core/temp_name.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_io.h"
#include "platform/posix/posix_temp_file.h"

namespace ferrune {
namespace {

// Deletes by setting the file aside first, under a name that tells what it
// must be, and looking at what moved: a file saved under the input's name
// at that moment goes back, never deleted, and a process that dies in
// between leaves what a later sweep can judge.
class PosixDeletable final : public DeletableFile {
 public:
  PosixDeletable(UniqueFd fd, std::string native) : fd_(std::move(fd)), native_(std::move(native)) {}

  // What the name leads to now, not what the open file is.
  std::optional<FileIdentity> Identity() override {
    struct stat st {};
    if (::lstat(native_.c_str(), &st) == 0) return IdentityOf(st);
    if (errno == ENOENT) return FileIdentity{};
    return std::nullopt;
  }

  Removal Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) override {
    const std::string folder = NativeFolderOf(native_);
    const NativeAside aside = AsideOf(AsideKind::Delete, expected, native_);
    const std::string& asidePath = aside.path;
    if (!RenameNoReplace(native_, asidePath)) return errno == ENOENT ? Removal::Gone : Removal::Failed;
    PauseForTest(JobStep::Removing);
    struct stat moved {
    }, held{};
    const bool same = ::lstat(asidePath.c_str(), &moved) == 0 && ::fstat(fd_.get(), &held) == 0 &&
                      moved.st_dev == held.st_dev && moved.st_ino == held.st_ino && !S_ISLNK(moved.st_mode);
    // The move changed its change time; the rest must be what was read.
    const bool unchanged = same && IdentityKey(IdentityOf(held)) == IdentityKey(expected);
    const bool outputThere = outputStands();
    if (unchanged && held.st_nlink == 1 && outputThere) {
      // Checked: from here on a second interrupt may finish the delete.
      const int slot = RegisterNamed(asidePath);
      const bool unlinked = ::unlink(asidePath.c_str()) == 0;
      UnregisterNamed(slot);
      if (unlinked) return SyncFolder(folder) ? Removal::Deleted : Removal::DeletedNotDurable;
    }
    // Not the file that was read, or the system refused: back where it was,
    // or beside it under a visible name when that one is taken again.
    PutBackNative(asidePath, folder, aside.name);
    if (!unchanged) return Removal::Changed;
    if (held.st_nlink != 1) return Removal::OtherNames;
    return outputThere ? Removal::Failed : Removal::OutputGone;
  }

 private:
  UniqueFd fd_;  // the job's hold, kept until the delete is done
  const std::string native_;
};

class PosixInputFile final : public HeldFile {
 public:
  PosixInputFile(UniqueFd fd, const struct stat& st)
      : fd_(std::move(fd)), size_(static_cast<std::uint64_t>(st.st_size)) {
    metadata_.permissions = PermissionsOf(st);
    metadata_.writeTime = IdentityOf(st).writeTime;
    // A second way to the same file, past the cache, chosen once for the
    // whole job: none where the file system refuses it.
    direct_.reset(::open(("/proc/self/fd/" + std::to_string(fd_.get())).c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC));
  }
  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }
  // From the disk: through the direct descriptor, else once the cache has
  // dropped what it held of that range (clean pages, so it can).
  bool ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (direct_) {
      std::lock_guard lock(bounceMutex_);
      return ReadThroughPages(offset, buffer, length, bounce_,
                              [&](std::uint64_t at, std::uint8_t* pages, std::size_t count) {
                                return PreadOnce(direct_.get(), at, pages, count);
                              });
    }
    ::posix_fadvise(fd_.get(), static_cast<off_t>(offset), static_cast<off_t>(length), POSIX_FADV_DONTNEED);
    return ReadAtOffset(fd_.get(), offset, buffer, length);
  }
  FileMetadata Metadata() const override { return metadata_; }
  std::unique_ptr<DeletableFile> ForDelete(const std::wstring& path) override {
    std::string native;
    if (!Native(path, &native)) return nullptr;
    direct_.Close();
    return std::make_unique<PosixDeletable>(std::move(fd_), std::move(native));
  }

 private:
  UniqueFd fd_;
  UniqueFd direct_;
  const std::uint64_t size_;
  FileMetadata metadata_;
  std::mutex bounceMutex_;
  SecretBytes bounce_;  // may hold plain bytes of an encryption's input
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
  if (TryLock(fd.get()) == LockResult::HeldElsewhere) {
    *refused = Outcome::InUse;
    return nullptr;
  }
  // A write within the file system's time granularity of now might not move
  // the write time again: the identity is taken once that has passed.
  if (WaitPastTimeGranularity(st) && ::fstat(fd.get(), &st) != 0) return nullptr;
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

bool PosixFileSystem::Identify(const std::wstring& path, FileIdentity* seen) {
  std::string native;
  struct stat named {
  }, st{};
  if (!Native(path, &native) || ::lstat(native.c_str(), &named) != 0 || ::stat(native.c_str(), &st) != 0) return false;
  *seen = IdentityOf(st);
  seen->symbolicLink = S_ISLNK(named.st_mode);
  return true;
}

std::unique_ptr<FileHold> PosixFileSystem::HoldExisting(const std::wstring& path, FileIdentity* seen) {
  std::string native;
  if (!Native(path, &native)) return nullptr;
  UniqueFd fd(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
  if (fd && TryLock(fd.get()) == LockResult::HeldElsewhere) return nullptr;
  // What the name holds, a link included: that is what a commit replaces.
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return nullptr;
  *seen = IdentityOf(st);
  return std::make_unique<PosixHold>(std::move(fd));
}

std::unique_ptr<TempFile> PosixFileSystem::CreateTemp(const std::wstring& finalPath) {
  std::string native;
  if (!Native(finalPath, &native)) return nullptr;
  return CreatePosixTemp(NativeFolderOf(native), unnamedTemps_);
}

void PosixFileSystem::RemoveLeftovers(const std::wstring& path) {
  std::string native;
  if (!Native(path, &native)) return;
  const std::string folder = NativeFolderOf(native);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::pair<std::string, OurName>> found;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::optional<OurName> our = ParseOurName(FromNativePath(entry->d_name))) {
      found.emplace_back(entry->d_name, std::move(*our));
    }
  }
  ::closedir(dir);
  for (const auto& [name, our] : found) {
    const std::string candidate = folder + "/" + name;
    struct stat named {
    }, opened{};
    if (::lstat(candidate.c_str(), &named) != 0) continue;
    // Only regular files are ours to make; a link is what a replace set aside.
    const bool temp = our.kind == OurName::Kind::Temp;
    if (temp ? !S_ISREG(named.st_mode) || named.st_uid != ::geteuid()
             : !S_ISREG(named.st_mode) && !S_ISLNK(named.st_mode)) {
      continue;
    }
    UniqueFd fd(::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    // A running job holds its files locked. Where locks are refused nobody
    // can tell, and a temporary file then stays.
    const LockResult lock = fd ? TryLock(fd.get()) : LockResult::Unavailable;
    const bool held = lock == LockResult::HeldElsewhere || (temp && lock != LockResult::Taken);
    if (fd && (::fstat(fd.get(), &opened) != 0 || opened.st_ino != named.st_ino || opened.st_dev != named.st_dev)) {
      continue;
    }
    switch (JudgeLeftover(our, IdentityOf(named), held)) {
      case Leftover::Leave: break;
      case Leftover::Remove: ::unlink(candidate.c_str()); break;
      case Leftover::PutBack: PutBackNative(candidate, folder, our); break;
    }
  }
}

}  // namespace ferrune
