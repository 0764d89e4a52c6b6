// Our names beside a user's file on POSIX (core/temp_name.h): a file set
// aside, put back, and the rename that never replaces what it finds.
#pragma once

#include <string>

#include "core/file_system.h"
#include "core/temp_name.h"

namespace ferrune {

// Where the file `native` is set aside, as core/temp_name.h names it, in
// its folder and within the file system's limit of a name's bytes.
struct NativeAside {
  std::string path;
  OurName name;
};
NativeAside AsideOf(AsideKind kind, const FileIdentity& identity, const std::string& native);

// Moves a file set aside back to its name, or to a kept name beside it, as
// core/temp_name.h's PutBack says.
PutBackResult PutBackNative(const std::string& asidePath, const OurName& aside);

// Moves `from` to `to` only where nothing stands under `to`: atomically
// where the system can, else (exFAT and NTFS through FUSE, some network
// file systems) by a look at `to` right before a plain rename, where any
// program could take the name in between. EEXIST when something stands there.
FileError RenameNoReplace(const std::string& from, const std::string& to, FileOp op);

// Durable renames and deletes in `folder`. A failure when the folder's
// flush, or its open for it, reports an error; a folder that may not be
// read, or a system that cannot flush folders, is passed over.
FileError SyncFolder(const std::string& folder);

}  // namespace ferrune
