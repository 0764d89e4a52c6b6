#include "written_file.h"

namespace ferrune {

bool WrittenFile::Append(const std::uint8_t* data, std::size_t length) {
  std::uint64_t offset;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Writing) return false;
    offset = written_;
  }
  // Only this thread moves written_, so the write needs no lock.
  if (length > 0 && !file_.WriteAt(offset, data, length)) return false;
  {
    std::lock_guard lock(mutex_);
    written_ = offset + length;
  }
  changed_.notify_all();
  return true;
}

bool WrittenFile::FlushAndFinish() {
  if (!file_.Flush()) return false;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Writing) return false;
    state_ = State::Finished;
  }
  changed_.notify_all();
  return true;
}

void WrittenFile::Abort() {
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::Writing) state_ = State::Aborted;
  }
  changed_.notify_all();
}

std::uint64_t WrittenFile::Size() const {
  if (expected_ != kUnknownSize) return expected_;
  std::uint64_t size;
  return WaitFinished(&size) ? size : kUnknownSize;
}

bool WrittenFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  {
    std::unique_lock lock(mutex_);
    const auto covered = [&] { return written_ >= offset && written_ - offset >= length; };
    changed_.wait(lock, [&] { return state_ != State::Writing || covered(); });
    if (state_ == State::Aborted || !covered()) return false;
  }
  return file_.ReadAt(offset, buffer, length);
}

bool WrittenFile::WaitFinished(std::uint64_t* size) const {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return state_ != State::Writing; });
  if (state_ != State::Finished) return false;
  *size = written_;
  return true;
}

}  // namespace ferrune
