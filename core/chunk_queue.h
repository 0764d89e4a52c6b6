// Chunks in flight between the threads of one operation: buffers lent by a
// pool of a fixed count (so memory stays bounded however far one side falls
// behind) and queues that hand them on in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "core/job_control.h"
#include "core/page_alignment.h"
#include "core/secret_bytes.h"

namespace ferrune {

// Nothing signals a cancel, so a wait that must end on one wakes this often to look.
inline constexpr auto kCancelPoll = std::chrono::milliseconds(10);

// Waits for `ready`; false when the job is cancelled first.
template <typename Ready>
bool WaitOrCancel(std::unique_lock<std::mutex>& lock, std::condition_variable& changed, const JobControl* control,
                  Ready ready) {
  if (control == nullptr || control->cancel == nullptr) {
    changed.wait(lock, ready);
    return true;
  }
  while (!changed.wait_for(lock, kCancelPoll, ready)) {
    if (control->Cancelled()) return false;
  }
  return true;
}

// A pool's buffers have a page to spare, so that a chunk's bytes after its
// lead start on a page and may go past the system's cache. The lead holds
// the cipher block a chunk is decrypted from.
inline constexpr std::size_t kChunkLead = 8;

namespace detail {

struct PoolState {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<SecretBytes> free;
  std::size_t unmade = 0;  // buffers not allocated yet
  bool stopped = false;

  void Give(SecretBytes bytes) {
    {
      std::lock_guard lock(mutex);
      free.push_back(std::move(bytes));
    }
    changed.notify_all();
  }
};

}  // namespace detail

// One chunk's buffer; it goes back to its pool when this goes away. The
// bytes in use are [begin, begin + length) of buffer().
class Chunk {
 public:
  // A pool's buffer, `kPageAlignment` bytes longer than its capacity.
  Chunk(std::shared_ptr<detail::PoolState> pool, SecretBytes bytes) : pool_(std::move(pool)), bytes_(std::move(bytes)) {
    shift_ = PageSkip(bytes_.data(), kChunkLead);
    capacity_ = bytes_.size() - kPageAlignment;
  }
  // Bytes of no pool, as they are.
  explicit Chunk(SecretBytes bytes) : bytes_(std::move(bytes)), capacity_(bytes_.size()) {}
  Chunk(Chunk&&) noexcept = default;
  Chunk& operator=(Chunk&& other) noexcept {
    if (this != &other) {
      GiveBack();
      pool_ = std::move(other.pool_);
      bytes_ = std::move(other.bytes_);
      shift_ = other.shift_;
      capacity_ = other.capacity_;
      index = other.index;
      begin = other.begin;
      length = other.length;
      source = other.source;
    }
    return *this;
  }
  Chunk(const Chunk&) = delete;
  Chunk& operator=(const Chunk&) = delete;
  ~Chunk() { GiveBack(); }

  std::uint8_t* buffer() { return bytes_.data() + shift_; }
  std::size_t capacity() const { return capacity_; }
  const std::uint8_t* data() const { return bytes_.data() + shift_ + begin; }

  std::uint64_t index = 0;
  std::size_t begin = 0;
  std::size_t length = 0;
  // Where the bytes came from and the checksum of them as first read, for a
  // proof that reads them again.
  struct Source {
    std::uint64_t offset = 0;
    std::size_t length = 0;
    std::uint64_t sum = 0;
  } source;

 private:
  void GiveBack() {
    if (pool_ && !bytes_.empty()) pool_->Give(std::move(bytes_));
    pool_.reset();
  }

  std::shared_ptr<detail::PoolState> pool_;
  SecretBytes bytes_;
  std::size_t shift_ = 0;
  std::size_t capacity_ = 0;
};

// `count` buffers of `bytes` each, made when first needed. They are wiped
// when the last chunk and the pool are gone.
class ChunkPool {
 public:
  ChunkPool(std::size_t count, std::size_t bytes) : state_(std::make_shared<detail::PoolState>()), bytes_(bytes) {
    state_->unmade = count;
  }

  // Waits for a free buffer; nothing once stopped or cancelled.
  std::optional<Chunk> Take(const JobControl* control = nullptr) {
    std::unique_lock lock(state_->mutex);
    const bool ready = WaitOrCancel(lock, state_->changed, control,
                                    [&] { return state_->stopped || !state_->free.empty() || state_->unmade > 0; });
    if (!ready || state_->stopped) return std::nullopt;
    if (!state_->free.empty()) {
      SecretBytes bytes = std::move(state_->free.back());
      state_->free.pop_back();
      return Chunk(state_, std::move(bytes));
    }
    --state_->unmade;
    lock.unlock();
    return Chunk(state_, SecretBytes(bytes_ + kPageAlignment));
  }

  void Stop() {
    {
      std::lock_guard lock(state_->mutex);
      state_->stopped = true;
    }
    state_->changed.notify_all();
  }

 private:
  std::shared_ptr<detail::PoolState> state_;
  const std::size_t bytes_;
};

class ChunkQueue {
 public:
  explicit ChunkQueue(std::size_t capacity) : capacity_(capacity) {}

  // False once the queue has been stopped, or on a cancel; the chunk then
  // goes back to its pool.
  bool Push(Chunk chunk, const JobControl* control = nullptr) {
    std::unique_lock lock(mutex_);
    if (!WaitOrCancel(lock, changed_, control, [&] { return stopped_ || chunks_.size() < capacity_; })) return false;
    if (stopped_) return false;
    chunks_.push_back(std::move(chunk));
    changed_.notify_all();
    return true;
  }

  // The next chunk; nothing after Close() has drained it, after Stop(), or
  // on a cancel.
  std::optional<Chunk> Pop(const JobControl* control = nullptr) {
    std::unique_lock lock(mutex_);
    if (!WaitOrCancel(lock, changed_, control, [&] { return stopped_ || closed_ || !chunks_.empty(); })) {
      return std::nullopt;
    }
    if (stopped_ || chunks_.empty()) return std::nullopt;
    Chunk chunk = std::move(chunks_.front());
    chunks_.pop_front();
    changed_.notify_all();
    return chunk;
  }

  // No more chunks will come.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

  // Gives up on both sides; the chunks held go back to their pools.
  void Stop() {
    std::deque<Chunk> dropped;
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
      dropped.swap(chunks_);
      changed_.notify_all();
    }
  }

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk> chunks_;
  bool closed_ = false;
  bool stopped_ = false;
};

}  // namespace ferrune
