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
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    fs_.Note(length);
    if (offset > data_.size() || data_.size() - offset < length) return false;
    if (fs_.failInputReadAt >= offset && fs_.failInputReadAt < offset + length) return false;
    std::memcpy(buffer, data_.data() + offset, length);
    if (fs_.wrongInputByteAt >= offset && fs_.wrongInputByteAt < offset + length) {
      buffer[fs_.wrongInputByteAt - offset] ^= 0x40;
    }
    return true;
  }
  bool ReadPastCache(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (offset > data_.size() || data_.size() - offset < length) return false;
    std::memcpy(buffer, data_.data() + offset, length);
    return true;
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

  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
    fs_.Note(length);
    std::lock_guard lock(fs_.mutex_);
    Bytes& file = fs_.files_.at(name);
    const std::uint64_t end = offset + length;
    if (fs_.failWriteAt < end) {
      // Part of it lands, as on a disk that fills up.
      const auto landed = static_cast<std::size_t>(std::max(fs_.failWriteAt, offset) - offset);
      if (file.size() < offset + landed) file.resize(offset + landed);
      std::memcpy(file.data() + offset, data, landed);
      return false;
    }
    if (file.size() < end) file.resize(end);
    std::memcpy(file.data() + offset, data, length);
    return true;
  }

  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failReadBack) return false;
    const Bytes& file = fs_.files_.at(name);
    if (offset + length > flushed_) ++fs_.readsBeforeFlush;
    if (offset > file.size() || file.size() - offset < length) return false;
    std::memcpy(buffer, file.data() + offset, length);
    const std::uint64_t bad = fs_.corruptReadBackAt;
    if (bad >= offset && bad < offset + length) buffer[bad - offset] ^= 0x01;
    return true;
  }

  bool Flush() override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failFlushAfter == 0) return false;
    if (fs_.failFlushAfter > 0) --fs_.failFlushAfter;
    flushed_ = fs_.files_.at(name).size();
    return true;
  }
  bool ReadsPastCache() const override { return !fs_.readsThroughCache; }

  std::optional<FileIdentity> Identity() override {
    std::lock_guard lock(fs_.mutex_);
    return fs_.IdentityOf(name);
  }

  bool Stamp(const FileMetadata& from) override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failStamp) return false;
    stamped_ = from;
    return true;
  }

  Outcome Commit(const std::wstring& finalPath, const Replacing& replacing) override {
    std::lock_guard lock(fs_.mutex_);
    if (fs_.failCommit) return Outcome::CannotWrite;
    const bool standing = fs_.files_.count(finalPath) != 0 || fs_.folders.count(finalPath) != 0;
    const bool allowed =
        replacing.what == Replacing::What::File && SameContent(replacing.file, fs_.IdentityOf(finalPath));
    if (standing && !allowed) return Outcome::OutputChanged;
    fs_.files_[finalPath] = std::move(fs_.files_.at(name));
    fs_.metadata[finalPath] = stamped_;
    fs_.nodes_[finalPath] = fs_.nodes_[name];
    return fs_.failFolderSync ? Outcome::NotDurable : Outcome::Success;
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

class HeldInput final : public HeldFile {
 public:
  HeldInput(MemoryFileSystem& fs, std::unique_ptr<InputFile> file, std::unique_ptr<MemoryHold> hold)
      : fs_(fs), file_(std::move(file)), hold_(std::move(hold)) {}
  std::uint64_t Size() const override { return file_->Size(); }
  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    return file_->ReadAt(offset, buffer, length);
  }
  std::unique_ptr<DeletableFile> ForDelete(const std::wstring& path) override;

 private:
  MemoryFileSystem& fs_;
  std::unique_ptr<InputFile> file_;
  std::unique_ptr<MemoryHold> hold_;
};

class MemoryDeletable final : public DeletableFile {
 public:
  MemoryDeletable(MemoryFileSystem& fs, std::wstring path) : fs_(fs), path_(std::move(path)) {}
  std::optional<FileIdentity> Identity() override {
    std::lock_guard lock(fs_.mutex_);
    return fs_.IdentityOf(path_);
  }
  Removal Delete(const FileIdentity& expected, const std::function<bool()>& outputStands) override {
    if (!outputStands()) return Removal::OutputGone;
    std::lock_guard lock(fs_.mutex_);
    const FileIdentity now = fs_.IdentityOf(path_);
    if (now.links == 0) return Removal::Gone;
    if (!SameContent(expected, now)) return Removal::Changed;
    if (now.links != 1) return Removal::OtherNames;
    return !fs_.failRemove && fs_.files_.erase(path_) == 1 ? Removal::Deleted : Removal::Failed;
  }

 private:
  MemoryFileSystem& fs_;
  const std::wstring path_;
};

std::unique_ptr<DeletableFile> HeldInput::ForDelete(const std::wstring& path) {
  file_.reset();
  hold_.reset();
  return std::make_unique<MemoryDeletable>(fs_, path);
}

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
  metadata.clear();
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

std::unique_ptr<InputFile> MemoryFileSystem::OpenRead(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  const auto it = files_.find(path);
  if (it == files_.end() || locked.count(path) != 0) return nullptr;
  const auto carried = metadata.find(path);
  return std::make_unique<MemoryInputFile>(*this, it->second,
                                           carried == metadata.end() ? FileMetadata{} : carried->second);
}

std::unique_ptr<TempFile> MemoryFileSystem::CreateTemp(const std::wstring& finalPath) {
  std::lock_guard lock(mutex_);
  if (failCreate) return nullptr;
  std::wstring name = finalPath + L".tmp" + std::to_wstring(nextTemp_++);
  files_[name];
  ++serial_;
  nodes_[name] = {serial_, static_cast<std::int64_t>(serial_)};
  ++tempsCreated;
  return std::make_unique<MemoryTempFile>(*this, std::move(name));
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
  identity.writeTime = identity.changeTime = node.written;
  const auto more = links.find(path);
  identity.links = more == links.end() ? 1 : more->second;
  identity.symbolicLink = symbolicLinks.count(path) != 0;
  return identity;
}

bool MemoryFileSystem::Identify(const std::wstring& path, FileIdentity* seen) {
  std::lock_guard lock(mutex_);
  *seen = IdentityOf(path);
  return seen->links != 0;
}

PathKind MemoryFileSystem::Kind(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  if (folders.count(path) != 0) return PathKind::Other;
  return files_.count(path) != 0 ? PathKind::File : PathKind::Missing;
}

std::unique_ptr<HeldFile> MemoryFileSystem::OpenHeld(const std::wstring& path, FileIdentity* seen, Outcome* refused) {
  std::unique_ptr<MemoryHold> hold;
  {
    std::lock_guard lock(mutex_);
    if (files_.count(path) != 0 && (heldElsewhere.count(path) != 0 || taken_.count(path) != 0)) {
      *refused = Outcome::InUse;
      return nullptr;
    }
    *seen = IdentityOf(path);
  }
  std::unique_ptr<InputFile> file = OpenRead(path);
  if (!file) {
    *refused = Outcome::CannotRead;
    return nullptr;
  }
  {
    std::lock_guard lock(mutex_);
    taken_.insert(path);
  }
  return std::make_unique<HeldInput>(*this, std::move(file), std::make_unique<MemoryHold>(*this, path));
}

std::unique_ptr<FileHold> MemoryFileSystem::HoldExisting(const std::wstring& path, FileIdentity* seen) {
  std::lock_guard lock(mutex_);
  if (heldElsewhere.count(path) != 0 || !taken_.insert(path).second) return nullptr;
  *seen = IdentityOf(path);
  return std::make_unique<MemoryHold>(*this, path);
}

void MemoryFileSystem::RemoveLeftovers(const std::wstring& path) {
  std::lock_guard lock(mutex_);
  leftoversSwept.push_back(path);
}

}  // namespace ferrune::testing
