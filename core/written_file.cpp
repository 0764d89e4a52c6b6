#include "core/written_file.h"

namespace ferrune {

bool WrittenFile::Append(const std::uint8_t* data, std::size_t length) {
  std::uint64_t offset;
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Writing || flushFailed_) return false;
    offset = written_;
  }
  // Only this thread moves written_, so the write needs no lock.
  if (length > 0 && !file_.WriteAt(offset, data, length).ok()) return false;
  bool startFlusher = false;
  bool flushDue = false;
  {
    std::lock_guard lock(mutex_);
    written_ = offset + length;
    startFlusher = flushing_ && !flusher_.joinable() && written_ >= flushStep_;
    flushDue = written_ - flushedTo_ >= flushStep_;
  }
  if (startFlusher) {
    try {
      flusher_ = std::thread([this] { FlushBehind(); });
    } catch (...) {
      // Then the last flush does it all.
    }
  }
  changed_.notify_all();
  if (flushDue) flushDue_.notify_one();
  return true;
}

void WrittenFile::FlushBehind() {
  std::unique_lock lock(mutex_);
  for (;;) {
    flushDue_.wait(lock, [&] { return !flushing_ || written_ - flushedTo_ >= flushStep_; });
    if (!flushing_) return;
    const std::uint64_t target = written_;
    lock.unlock();
    const bool flushed = file_.Flush().ok();
    lock.lock();
    if (!flushed) {
      // The error may not come again at the last flush: it fails the file now.
      flushFailed_ = true;
      changed_.notify_all();
      return;
    }
    flushedTo_ = target;
    changed_.notify_all();
  }
}

void WrittenFile::StopFlushing() {
  {
    std::lock_guard lock(mutex_);
    flushing_ = false;
  }
  flushDue_.notify_all();
  if (flusher_.joinable()) flusher_.join();
}

bool WrittenFile::FlushAndFinish() {
  StopFlushing();
  const bool flushed = file_.Flush().ok();
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Writing) return false;
    if (!flushed || flushFailed_) {
      state_ = State::Aborted;
    } else {
      state_ = State::Finished;
      flushedTo_ = written_;
    }
  }
  changed_.notify_all();
  return flushed && state_ == State::Finished;
}

void WrittenFile::Abort() {
  {
    std::lock_guard lock(mutex_);
    if (state_ == State::Writing) state_ = State::Aborted;
  }
  changed_.notify_all();
  StopFlushing();
}

std::uint64_t WrittenFile::Size() const {
  if (expected_ != kUnknownSize) return expected_;
  std::uint64_t size;
  return WaitFinished(&size) ? size : kUnknownSize;
}

FileError WrittenFile::ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) {
  {
    std::unique_lock lock(mutex_);
    const std::uint64_t& readable = afterFlush_ ? flushedTo_ : written_;
    const auto covered = [&] { return readable >= offset && readable - offset >= length; };
    changed_.wait(lock, [&] { return state_ != State::Writing || flushFailed_ || covered(); });
    if (state_ == State::Aborted || flushFailed_ || !covered())
      return FileError::Own(OwnError::Abandoned, FileOp::Read);
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
