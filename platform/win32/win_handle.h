// A move-only owner of a kernel HANDLE (file, thread, event).
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <utility>

namespace ferrune {

class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, INVALID_HANDLE_VALUE));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (*this) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

}  // namespace ferrune
#endif
