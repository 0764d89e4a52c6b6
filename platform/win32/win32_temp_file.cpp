#include "platform/win32/win32_temp_file.h"

#include <mutex>

#include "core/page_alignment.h"
#include "core/secret_bytes.h"
#include "core/temp_name.h"
#include "platform/win32/long_path.h"
#include "platform/win32/win32_aside.h"
#include "platform/win32/win32_io.h"
#include "platform/win32/win32_metadata.h"
#include "platform/win32/win_handles.h"

namespace ferrune {
namespace {

class Win32TempFile final : public TempFile {
 public:
  Win32TempFile(UniqueHandle file, UniqueHandle unbuffered, std::wstring path, bool marked)
      : path_(std::move(path)), marked_(marked), file_(std::move(file)), unbuffered_(std::move(unbuffered)) {}
  ~Win32TempFile() override { Drop(); }

  FileError WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    return WriteAtOffset(file_.get(), offset, data, length);
  }
  // The way of reading is chosen once, at the creation: an unbuffered read
  // refused later (sectors larger than ours) fails, since the proof reads
  // without waiting for flushes only while ReadsPastCache holds.
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (!unbuffered_) return ReadAtOffset(file_.get(), offset, buffer, length);
    std::lock_guard lock(bounceMutex_);
    FileError read = ReadUnbuffered(unbuffered_.get(), offset, buffer, length, bounce_);
    if (!read.ok()) read.op = FileOp::Read;
    return read;
  }
  FileError Flush() override { return FlushFileBuffers(file_.get()) ? FileError{} : LastError(FileOp::Flush); }
  bool ReadsPastCache() const override { return static_cast<bool>(unbuffered_); }
  FileError Identity(FileIdentity* now) override {
    return IdentityOf(file_.get(), now) ? FileError{} : LastError(FileOp::Identify);
  }
  // The mark first: writing a stream moves the write time, so the times
  // come after it.
  FileError Stamp(const FileMetadata& from) override {
    if (from.zoneMark && KeepsStreams(file_.get()) && !WriteMark(*from.zoneMark)) return LastError(FileOp::Stamp);
    if (!StampTimes(file_.get(), from)) return LastError(FileOp::Stamp);
    if ((from.attributes & kCarriedAttributes) == 0) return {};
    readOnly_ = (from.attributes & FILE_ATTRIBUTE_READONLY) != 0;
    return StampAttributes(file_.get(), from.attributes) ? FileError{} : LastError(FileOp::Stamp);
  }

  Committed Commit(const std::wstring& finalPath, const Replacing& replacing) override {
    const std::wstring full = LongPath(finalPath);
    Committed placed{Outcome::CannotWrite, FileError::Win32(ERROR_INVALID_NAME, FileOp::Commit), {}};
    if (!full.empty()) placed = replacing.what == Replacing::What::File ? Replace(full, replacing) : PlaceNew(full);
    if (placed.outcome != Outcome::Success) {
      Drop();
      return placed;
    }
    // The rename reaches the disk with the file's own metadata.
    if (!FlushFileBuffers(file_.get())) {
      placed = {Outcome::NotDurable, LastError(FileOp::Flush), placed.displaced};
    } else if (!FlushFolder(FolderOf(full))) {
      placed = {Outcome::NotDurable, LastError(FileOp::Flush), placed.displaced};
    }
    unbuffered_.reset();
    file_.reset();
    return placed;
  }

 private:
  // A file marked for deletion opens no stream: the mark is lifted for
  // that moment.
  bool WriteMark(const std::string& mark) {
    const bool wasMarked = marked_;
    if (wasMarked && !MarkForDelete(file_.get(), false)) return false;
    marked_ = false;
    const bool written = WriteZoneMark(path_, mark);
    const DWORD error = GetLastError();
    marked_ = wasMarked && MarkForDelete(file_.get(), true);
    SetLastError(error);
    return written;
  }

  // Through the handle, where nothing stands: a file there fails the
  // rename with ERROR_ALREADY_EXISTS and stays.
  Committed PlaceNew(const std::wstring& full) {
    if (!MarkForDelete(file_.get(), false)) return {Outcome::CannotWrite, LastError(FileOp::Commit), {}};
    marked_ = false;
    if (RenameThrough(file_.get(), full, false)) return {Outcome::Success, {}, {}};
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return {Outcome::OutputChanged, {}, {}};
    return {Outcome::CannotWrite, FileError::Win32(error, FileOp::Commit), {}};
  }

  // Replaces only the file the job agreed on, in one act on one handle (the
  // job's hold, else one opened here): it is looked at through the handle
  // that then sets it aside, the output takes the name without replacing
  // anything, and only then is the set-aside file deleted. Whatever took the
  // name meanwhile stays, and the set-aside file goes back, or beside it.
  Committed Replace(const std::wstring& full, const Replacing& replacing) {
    UniqueHandle opened;
    UniqueHandle* standing = HandleOf(replacing.hold);
    if (!standing || !*standing) {
      opened = OpenToSetAside(full);
      // Gone meanwhile: nothing is lost by putting the output there.
      if (!opened) {
        if (Missing(GetLastError())) return PlaceNew(full);
        return {Outcome::CannotWrite, LastError(FileOp::Hold), {}};
      }
      standing = &opened;
    }
    FileIdentity now;
    if (!IdentityOf(standing->get(), &now)) return {Outcome::CannotWrite, LastError(FileOp::Identify), {}};
    if (!SameContent(now, replacing.file)) return {Outcome::OutputChanged, {}, {}};
    // The system's own moves do not replace a read-only file; nor does this.
    if (AttributesOf(standing->get()) & FILE_ATTRIBUTE_READONLY) {
      return {Outcome::CannotWrite, FileError::Own(OwnError::ReadOnly, FileOp::SetAside), {}};
    }
    const Win32Aside aside = AsideOf(AsideKind::Replace, replacing.file, full);
    if (!RenameThrough(standing->get(), aside.path, false)) {
      if (Missing(GetLastError())) return PlaceNew(full);
      return {Outcome::CannotWrite, LastError(FileOp::SetAside), {}};
    }
    // Wine renames whatever now stands under the handle's name: what moved
    // must be the file agreed on (its change time moved with it).
    FileIdentity moved;
    const bool agreed = IdentityAt(aside.path, &moved) && SameContentMoved(moved, replacing.file);
    Committed placed = agreed ? PlaceNew(full) : Committed{Outcome::OutputChanged, {}, {}};
    if (placed.outcome == Outcome::Success && !MarkForDelete(standing->get(), true)) {
      placed.error = LastError(FileOp::Delete);
    }
    if (placed.outcome != Outcome::Success || !placed.error.ok()) {
      const PutBackResult back = PutBackThrough(standing->get(), aside.path, aside.name);
      placed.displaced = back.displaced;
      KeepFirst(&placed.error, back.error);
    }
    standing->reset();
    return placed;
  }

  void Drop() {
    if (!file_) return;
    // A read-only file takes no mark for deletion.
    if (readOnly_ && !marked_) StampAttributes(file_.get(), 0);
    marked_ = marked_ || MarkForDelete(file_.get(), true);
    unbuffered_.reset();
    file_.reset();
    if (!marked_) DeleteFileW(path_.c_str());
  }

  const std::wstring path_;
  bool marked_;
  bool readOnly_ = false;  // Stamp made it read-only
  UniqueHandle file_;
  UniqueHandle unbuffered_;
  std::mutex bounceMutex_;
  SecretBytes bounce_;  // may hold plain bytes of a decryption
};

// The new file, and beside it an unbuffered handle for reading it back where
// the system honours one. The file is shared for reading only for that
// handle's sake; where there is none it is shared with nobody, since some
// systems let others open a file marked for deletion.
UniqueHandle CreateWithUnbuffered(const std::wstring& path, UniqueHandle* unbuffered) {
  constexpr DWORD kAccess = GENERIC_READ | GENERIC_WRITE | DELETE;
  UniqueHandle file(
      CreateFileW(path.c_str(), kAccess, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return file;
  unbuffered->reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr));
  if (*unbuffered && HonoursUnbuffered(unbuffered->get())) return file;
  unbuffered->reset();
  // Made again under the same name, with nobody to share it with.
  file.reset();
  DeleteFileW(path.c_str());
  return UniqueHandle(CreateFileW(path.c_str(), kAccess, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

bool FlushFolder(const std::wstring& folder) {
  UniqueHandle dir(CreateFileW(folder.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  // A folder that may be written but not opened so is passed over.
  if (!dir) return GetLastError() == ERROR_ACCESS_DENIED;
  if (FlushFileBuffers(dir.get())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_ACCESS_DENIED ||
         error == ERROR_INVALID_PARAMETER;
}

Opened<TempFile> CreateWin32Temp(const std::wstring& folder) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::wstring path = folder + NewTempFileName(GetCurrentProcessId());
    UniqueHandle unbuffered;
    UniqueHandle file = CreateWithUnbuffered(path, &unbuffered);
    if (!file) {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        return {nullptr, FileError::Win32(error, FileOp::Create)};
      }
      continue;
    }
    // Without the mark the next job's sweep is what removes a leftover.
    const bool marked = MarkForDelete(file.get(), true);
    return {std::make_unique<Win32TempFile>(std::move(file), std::move(unbuffered), std::move(path), marked), {}};
  }
  return {nullptr, FileError::Win32(ERROR_FILE_EXISTS, FileOp::Create)};
}

}  // namespace ferrune
