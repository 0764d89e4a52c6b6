// Plain chunks handed from the decryption to its proof, a few at a time, so
// that memory stays bounded when the proof falls behind.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

#include "secret_bytes.h"

namespace ferrune {

class ChunkQueue {
 public:
  explicit ChunkQueue(std::size_t capacity) : capacity_(capacity) {}

  // False once the queue has been stopped.
  bool Push(SecretBytes chunk) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || chunks_.size() < capacity_; });
    if (stopped_) return false;
    chunks_.push_back(std::move(chunk));
    changed_.notify_all();
    return true;
  }

  // The next chunk; nothing after Close() has drained it, or after Stop().
  std::optional<SecretBytes> Pop() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || closed_ || !chunks_.empty(); });
    if (stopped_ || chunks_.empty()) return std::nullopt;
    SecretBytes chunk = std::move(chunks_.front());
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

  // Gives up on both sides.
  void Stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<SecretBytes> chunks_;
  bool closed_ = false;
  bool stopped_ = false;
};

}  // namespace ferrune
