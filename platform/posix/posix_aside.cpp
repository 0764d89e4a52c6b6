#include "platform/posix/posix_aside.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>

#include <cerrno>

#include "platform/posix/native_path.h"
#include "platform/posix/posix_io.h"

namespace ferrune {
namespace {

// A name's limit is in bytes, as the file system below keeps it.
bool FitsNative(std::wstring_view name) { return ToNativePath(name).size() <= NAME_MAX; }

}  // namespace

NativeAside AsideOf(AsideKind kind, const FileIdentity& identity, const std::string& native) {
  const AsideName aside = AsideOf(kind, identity, FromNativePath(NativeNameOf(native)), FitsNative);
  return {NativeFolderOf(native) + "/" + ToNativePath(aside.name), aside.our};
}

PutBackResult PutBackNative(const std::string& asidePath, const OurName& aside) {
  const std::string folder = NativeFolderOf(asidePath);
  return PutBack(
      aside, FromNativePath(NativeNameOf(asidePath)),
      [&](const std::wstring& name) {
        return RenameNoReplace(asidePath, folder + "/" + ToNativePath(name), FileOp::PutBack);
      },
      [](const FileError& error) { return error.domain == ErrorDomain::Posix && error.code == EEXIST; }, FitsNative);
}

FileError RenameNoReplace(const std::string& from, const std::string& to, FileOp op) {
#ifdef __linux__
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
  if (errno != EINVAL && errno != ENOSYS) return Errno(op);
#endif
  // No link either: such systems have no other way. Any program could take
  // the name in between; the job's hold keeps only other jobs off it.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return FileError::Posix(EEXIST, op);
  if (errno != ENOENT) return Errno(op);
  return ::rename(from.c_str(), to.c_str()) == 0 ? FileError{} : Errno(op);
}

FileError SyncFolder(const std::string& folder) {
  UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // A folder that may be written but not read cannot be opened to flush it.
  if (!dir) return errno == EACCES || errno == EPERM ? FileError{} : Errno(FileOp::Flush);
  const FileError synced = SyncDescriptor(dir.get());
  if (synced.ok() || synced.code == EINVAL || synced.code == ENOTSUP || synced.code == EOPNOTSUPP) return {};
  return synced;
}

}  // namespace ferrune
