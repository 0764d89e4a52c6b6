#include "tests/core/memory_file_system.h"

#include <algorithm>
#include <cstring>

namespace ferrune::testing {

class MemoryInputFile final : public InputFile {
 public:
  MemoryInputFile(MemoryFileSystem& fs, Bytes data, FileMetadata metadata)
      : fs_(fs), data_(std::move(data)), metadata_(std::move(metadata)) {}
  std::uint64_t Size() const override { return data_.size(); }
  FileMetadata Metadata() const override { return metadata_; }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    fs_.Note(length);
    if (offset > data_.size() || data_.size() - offset < length) return FileError::Own(OwnError::Shrank, FileOp::Read);
    if (fs_.failInputReadAt >= offset && fs_.failInputReadAt < offset + length) return fs_.Fault(FileOp::Read);
    std::memcpy(buffer, data_.data() + offset, length);
    if (fs_.wrongInputByteAt >= offset && fs_.wrongInputByteAt < offset + length) {
      buffer[fs_.wrongInputByteAt - offset] ^= 0x40;
    }
    return {};
  }
  FileError ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (fs_.failPastCache) return fs_.Fault(FileOp::ReadPastCache);
    if (offset > data_.size() || data_.size() - offset < length) {
      return FileError::Own(OwnError::Shrank, FileOp::ReadPastCache);
    }
    std::memcpy(buffer, data_.data() + offset, length);
    return {};
  }

 private:
  MemoryFileSystem& fs_;
  const Bytes data_;  // others may not write while it is open
  const FileMetadata metadata_;
};

class MemoryTempFile final : public TempFile {
 public:
  MemoryTempFile(MemoryFileSystem& fs, std::wstring path) : name(std::move(path)), fs_(fs) {}
  ~MemoryTempFile() override {
    std::lock_guard lock(fs_.mutex_);
    fs_.files_.erase(name);
  }

  FileError WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    fs_.Note(length);
    std::lock_guard lock(fs_.mutex_);
    Bytes& file = fs_.files_.at(name);
    const std::uint64_t end = offset + length;
    if (fs_.failWriteAt < end) {
      // Part of it lands, as on a disk that fills up.
      const auto landed = static_cast<std::size_t>(std::max(fs_.failWriteAt, offset) - offset);
      if (file.size() < offset + landed) file.resize(offset + landed);
      std::memcpy(file.data() + offset, data, landed);
      return fs_.Fault(FileOp::Write);
    }
    if (file.size() < end) file.resize(end);
    std::memcpy(file.data() + offset, data, length);
    return {};
  }

  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failReadBack) return fs_.Fault(FileOp::Read);
    const Bytes& file = fs_.files_.at(name);
    if (offset + length > flushed_) ++fs_.readsBeforeFlush;
    if (offset > file.size() || file.size() - offset < length) return FileError::Own(OwnError::Shrank, FileOp::Read);
    std::memcpy(buffer, file.data() + offset, length);
    const std::uint64_t bad = fs_.corruptReadBackAt;
    if (bad >= offset && bad < offset + length) buffer[bad - offset] ^= 0x01;
    return {};
  }

  FileError Flush() override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failFlushAfter == 0) return fs_.Fault(FileOp::Flush);
    if (fs_.failFlushAfter > 0) --fs_.failFlushAfter;
    flushed_ = fs_.files_.at(name).size();
    return {};
  }
  bool ReadsPastCache() const override { return !fs_.readsThroughCache; }

  FileError Identity(FileIdentity* now) override {
    std::lock_guard lock(fs_.mutex_);
    *now = fs_.IdentityOf(name);
    return {};
  }

  FileError Stamp(const FileMetadata& from) override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failStamp) return fs_.Fault(FileOp::Stamp);
    stamped_ = from;
    return {};
  }

  Committed Commit(const std::wstring& finalPath, const Replacing& replacing) override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failCommit) return {Outcome::CannotWrite, fs_.Fault(FileOp::Commit), {}};
    const bool standing = fs_.files_.count(finalPath) != 0 || fs_.folders.count(finalPath) != 0;
    const bool allowed =
        replacing.what == Replacing::What::File && SameContent(replacing.file, fs_.IdentityOf(finalPath));
    if (standing && !allowed) return {Outcome::OutputChanged, {}, {}};
    fs_.files_[finalPath] = std::move(fs_.files_.at(name));
    fs_.metadata[finalPath] = stamped_;
    fs_.nodes_[finalPath] = fs_.nodes_[name];
    return {fs_.failFolderSync ? Outcome::NotDurable : Outcome::Success,
            fs_.failFolderSync ? fs_.Fault(FileOp::Flush) : FileError{},
            {}};
  }

  const std::wstring name;

 private:
  MemoryFileSystem& fs_;
  std::uint64_t flushed_ = 0;  // under the file system's mutex
  FileMetadata stamped_;
};

// A name taken by a job of this process, until it goes.
class MemoryHold final : public FileHold {
 public:
  MemoryHold(MemoryFileSystem& fs, std::wstring path) : fs_(fs), path_(std::move(path)) {}
  ~MemoryHold() override {
    std::lock_guard lock(fs_.mutex_);
    fs_.taken_.erase(path_);
  }

 private:
  MemoryFileSystem& fs_;
  const std::wstring path_;
};

class MemoryDeletable final : public DeletableFile {
 public:
  MemoryDeletable(MemoryFileSystem& fs, std::wstring path) : fs_(fs), path_(std::move(path)) {}
  FileError Identity(FileIdentity* named) override {
    std::lock_guard lock(fs_.mutex_);
    *named = fs_.IdentityOf(path_);
    return {};
  }
  Removed Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) override {
    if (!outputStands()) return {Removal::OutputGone, {}, {}};
    std::lock_guard lock(fs_.mutex_);
    const FileIdentity now = fs_.IdentityOf(path_);
    if (now.links == 0) return {Removal::Gone, {}, {}};
    if (!SameContent(expected, now)) return {Removal::Changed, {}, {}};
    if (now.links != 1) return {Removal::OtherNames, {}, {}};
    if (fs_.failRemove) return {Removal::Failed, fs_.Fault(FileOp::Delete), {}};
    fs_.files_.erase(path_);
    return {Removal::Deleted, {}, {}};
  }

 private:
  using Removal = DeletableFile::Removal;
  MemoryFileSystem& fs_;
  const std::wstring path_;
};

class HeldInput final : public HeldFile {
 public:
  HeldInput(MemoryFileSystem& fs, std::unique_ptr<InputFile> file, std::unique_ptr<MemoryHold> hold)
      : fs_(fs), file_(std::move(file)), hold_(std::move(hold)) {}
  std::uint64_t Size() const override { return file_->Size(); }
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return file_->ReadAt(offset, buffer, length);
  }
  FileError ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return file_->ReadPastCache(offset, buffer, length);
  }
  FileMetadata Metadata() const override { return file_->Metadata(); }
  Opened<DeletableFile> ForDelete(const std::wstring& path) override {
    file_.reset();
    hold_.reset();
    return {std::make_unique<MemoryDeletable>(fs_, path), {}};
  }

 private:
  MemoryFileSystem& fs_;
  std::unique_ptr<InputFile> file_;
  std::unique_ptr<MemoryHold> hold_;
};

void MemoryFileSystem::Note(std::size_t length) {
  std::size_t seen = largestTransfer.load();
  while (length > seen && !largestTransfer.compare_exchange_weak(seen, length)) {
  }
}

void MemoryFileSystem::Reset() {
  std::lock_guard lock(mutex_);
  files_.clear();
  locked.clear();
  failInputReadAt = failWriteAt = corruptReadBackAt = wrongInputByteAt = kNever;
  failCreate = failCommit = failStamp = failFolderSync = failReadBack = readsThroughCache = false;
  failRemove = failHold = failKind = failPastCache = false;
  metadata.clear();
  holders.clear();
  readsBeforeFlush = 0;
  failFlushAfter = -1;
  heldElsewhere.clear();
  folders.clear();
  symbolicLinks.clear();
  links.clear();
  leftoversSwept.clear();
  tempsCreated = 0;
  largestTransfer = 0;
}

void MemoryFileSystem::Put(const std::wstring& path, Bytes data) {
  std::lock_guard lock(mutex_);
  files_[path] = std::move(data);
  ++serial_;
  nodes_[path] = {serial_, static_cast<std::int64_t>(serial_)};
}

std::optional<Bytes> MemoryFileSystem::Get(const std::wstring& path) const {
  std::lock_guard lock(mutex_);
  const auto it = files_.find(path);
  if (it == files_.end()) return std::nullopt;
  return it->second;
}

std::vector<std::wstring> MemoryFileSystem::Names() const {
  std::lock_guard lock(mutex_);
  std::vector<std::wstring> names;
  for (const auto& entry : files_) names.push_back(entry.first);
  return names;
}

Opened<InputFile> MemoryFileSystem::OpenRead(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  const auto it = files_.find(path);
  if (it == files_.end()) return {nullptr, FileError::Posix(2, FileOp::Open)};
  if (locked.count(path) != 0) return {nullptr, Fault(FileOp::Open)};
  const auto carried = metadata.find(path);
  return {std::make_unique<MemoryInputFile>(*this, it->second,
                                            carried == metadata.end() ? FileMetadata{} : carried->second),
          {}};
}

Opened<TempFile> MemoryFileSystem::CreateTemp(const std::wstring& finalPath) {
  std::lock_guard lock(mutex_);
  if (failCreate) return {nullptr, Fault(FileOp::Create)};
  std::wstring name = finalPath + L".tmp" + std::to_wstring(nextTemp_++);
  files_[name];
  ++serial_;
  nodes_[name] = {serial_, static_cast<std::int64_t>(serial_)};
  ++tempsCreated;
  return {std::make_unique<MemoryTempFile>(*this, std::move(name)), {}};
}

bool MemoryFileSystem::Remove(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  return !failRemove && files_.erase(path) == 1;
}

FileIdentity MemoryFileSystem::IdentityOf(const std::wstring& path) const {
  FileIdentity identity;
  const auto file = files_.find(path);
  if (file == files_.end()) return identity;
  const Node node = nodes_.count(path) != 0 ? nodes_.at(path) : Node{};
  identity.volume = 1;
  identity.index = node.index;
  identity.size = file->second.size();
  identity.writeTime = identity.changeTime = {node.written, 0};
  const auto more = links.find(path);
  identity.links = more == links.end() ? 1 : more->second;
  identity.symbolicLink = symbolicLinks.count(path) != 0;
  return identity;
}

FileError MemoryFileSystem::Identify(const std::wstring& path, FileIdentity* seen) {
  std::lock_guard lock(mutex_);
  *seen = IdentityOf(path);
  return seen->links != 0 ? FileError{} : FileError::Posix(2, FileOp::Identify);
}

PathKind MemoryFileSystem::Kind(const std::wstring& path, FileError* error) {
  std::lock_guard lock(mutex_);
  if (failKind) {
    *error = Fault(FileOp::Identify);
    return PathKind::Other;
  }
  if (folders.count(path) != 0) return PathKind::Other;
  return files_.count(path) != 0 ? PathKind::File : PathKind::Missing;
}

Taken MemoryFileSystem::OpenHeld(const std::wstring& path) {
  Taken taken;
  {
    std::lock_guard lock(mutex_);
    if (files_.count(path) != 0 && (heldElsewhere.count(path) != 0 || taken_.count(path) != 0)) {
      taken.refused = Outcome::InUse;
      return taken;
    }
    taken.seen = IdentityOf(path);
  }
  Opened<InputFile> file = OpenRead(path);
  if (!file.file) {
    taken.error = file.error;
    return taken;
  }
  {
    std::lock_guard lock(mutex_);
    taken_.insert(path);
  }
  taken.file = std::make_unique<HeldInput>(*this, std::move(file.file), std::make_unique<MemoryHold>(*this, path));
  return taken;
}

Hold MemoryFileSystem::HoldExisting(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  Hold held;
  if (failHold) {
    held.error = Fault(FileOp::Hold);
  } else if (heldElsewhere.count(path) != 0 || !taken_.insert(path).second) {
    held.error = FileError::Own(OwnError::HeldElsewhere, FileOp::Hold);
  } else {
    held.seen = IdentityOf(path);
    held.hold = std::make_unique<MemoryHold>(*this, path);
  }
  return held;
}

void MemoryFileSystem::RemoveLeftovers(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  leftoversSwept.push_back(path);
}

std::vector<std::wstring> MemoryFileSystem::WhoHolds(const std::wstring&) {
  std::lock_guard lock(mutex_);
  return holders;
}

}  // namespace ferrune::testing
