// One move-only owner for every kind of handle: the handle type, what closes
// it, and which values mean "none", the last two as policies. Each platform
// supplies only its close functions and, where zero names an object (a file
// descriptor), its own none.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace ferrune {

// A close function as a type: CallClose<&CloseHandle>. Its result is not
// looked at; a closer that reports one returns bool (true: closed cleanly).
template <auto Close>
struct CallClose {
  template <typename Handle>
  void operator()(Handle h) const {
    Close(h);
  }
};

// The values of a handle type that name no object: `None`, and `AlsoNone`
// for kinds with two (a Win32 kernel handle is none when null and when
// INVALID_HANDLE_VALUE).
template <typename Handle, std::intptr_t None = 0, std::intptr_t AlsoNone = None>
struct NoneIs {
  static Handle Value() { return Cast(None); }
  static bool Holds(Handle h) { return h == Cast(None) || h == Cast(AlsoNone); }

 private:
  static Handle Cast(std::intptr_t value) {
    if constexpr (std::is_pointer_v<Handle>) {
      return reinterpret_cast<Handle>(value);
    } else {
      return static_cast<Handle>(value);
    }
  }
};

template <typename Handle, typename Closer, typename None = NoneIs<Handle>>
class UniqueAny {
 public:
  static Handle Invalid() { return None::Value(); }

  UniqueAny() = default;
  explicit UniqueAny(Handle h, Closer closer = {}) : h_(h), closer_(std::move(closer)) {}
  UniqueAny(UniqueAny&& o) noexcept : h_(std::exchange(o.h_, Invalid())), closer_(std::move(o.closer_)) {}
  UniqueAny& operator=(UniqueAny&& o) noexcept {
    if (this != &o) {
      reset(std::exchange(o.h_, Invalid()));
      closer_ = std::move(o.closer_);
    }
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  Handle get() const { return h_; }
  explicit operator bool() const { return !None::Holds(h_); }
  // For calls that hand a new handle back through a pointer.
  Handle* put() {
    reset();
    return &h_;
  }
  void reset(Handle h = Invalid()) {
    Close();
    h_ = h;
  }
  Handle release() { return std::exchange(h_, Invalid()); }
  // Closes now. False only when the closer reports a failure, which matters
  // for a written file: some systems report a lost write only here.
  bool Close() {
    if (None::Holds(h_)) return true;
    const Handle h = std::exchange(h_, Invalid());
    if constexpr (std::is_void_v<decltype(closer_(h))>) {
      closer_(h);
      return true;
    } else {
      return closer_(h);
    }
  }

 private:
  Handle h_ = Invalid();
  [[no_unique_address]] Closer closer_{};
};

}  // namespace ferrune
