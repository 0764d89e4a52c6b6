// The output as it is being written, readable by the proof thread. A read
// waits until the writer has got that far, and, for a proof that must read
// what is on the disk from a file read through the system's cache, until a
// flush has covered it. The end is known only after the last flush, so
// a proof cannot finish before all of it is there. A large output is flushed
// behind the writer as it grows, on a thread of its own, so that the last
// flush does not wait for the whole file; any failed flush fails the file,
// since a system may report a lost write to one flush only.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <thread>

#include "core/file_system.h"

namespace ferrune {

class WrittenFile final : public InputFile {
 public:
  static constexpr std::uint64_t kUnknownSize = std::numeric_limits<std::uint64_t>::max();

  // Whether reads must come from the disk. A decryption's proof holds the
  // chunks it compares in memory, so it may not wait for a flush far ahead;
  // its direct writes fail where the disk does.
  enum class Reads { FromDisk, AsWritten };

  // `expectedSize` is what the writer will write, when it knows that ahead.
  WrittenFile(TempFile& file, std::uint64_t expectedSize, Reads reads)
      : file_(file),
        expected_(expectedSize),
        afterFlush_(reads == Reads::FromDisk && !file.ReadsPastCache()),
        flushStep_(afterFlush_ ? kFlushStepForProof : kFlushStep) {}
  ~WrittenFile() override { StopFlushing(); }
  WrittenFile(const WrittenFile&) = delete;
  WrittenFile& operator=(const WrittenFile&) = delete;

  // Bytes written between two flushes behind the writer; more often where a
  // proof may read only what a flush covered, so that it lags little.
  static constexpr std::uint64_t kFlushStep = std::uint64_t{32} << 20;
  static constexpr std::uint64_t kFlushStepForProof = std::uint64_t{4} << 20;

  // Writer side. Append fails once a flush behind has failed. Both of the
  // last two end the flushing behind, which must be over before the file is
  // closed.
  bool Append(const std::uint8_t* data, std::size_t length);
  bool FlushAndFinish();
  void Abort();

  // Reader side. Size() is the expected size, or waits for the end.
  std::uint64_t Size() const override;
  FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override;
  // False when the writer gave up; otherwise the size written and flushed.
  bool WaitFinished(std::uint64_t* size) const;

 private:
  enum class State { Writing, Finished, Aborted };

  void FlushBehind();
  void StopFlushing();

  TempFile& file_;
  const std::uint64_t expected_;
  const bool afterFlush_;  // a read waits until a flush has covered it
  const std::uint64_t flushStep_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::uint64_t written_ = 0;
  State state_ = State::Writing;
  // The flushing thread waits on a condition of its own: an append wakes it
  // only when a flush is due, the readers at every one.
  std::condition_variable flushDue_;
  std::uint64_t flushedTo_ = 0;
  bool flushing_ = true;
  bool flushFailed_ = false;
  std::thread flusher_;
};

}  // namespace ferrune
