// One move-only owner for every kind of handle: the handle type, what closes
// it, and the value that means "none". Each platform supplies only its close
// functions. Zero never names an object either, so it is also taken as none.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

namespace ferrune {

// A close function as a type: CallClose<&CloseHandle>.
template <auto Close>
struct CallClose {
  template <typename Handle>
  void operator()(Handle h) const {
    Close(h);
  }
};

template <typename Handle, typename Closer, std::intptr_t InvalidValue = 0>
class UniqueAny {
 public:
  static Handle Invalid() {
    if constexpr (std::is_pointer_v<Handle>) {
      return reinterpret_cast<Handle>(InvalidValue);
    } else {
      return static_cast<Handle>(InvalidValue);
    }
  }

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
  explicit operator bool() const { return h_ != Invalid() && h_ != Handle{}; }
  // For calls that hand a new handle back through a pointer.
  Handle* put() {
    reset();
    return &h_;
  }
  void reset(Handle h = Invalid()) {
    if (*this) closer_(h_);
    h_ = h;
  }
  Handle release() { return std::exchange(h_, Invalid()); }

 private:
  Handle h_ = Invalid();
  [[no_unique_address]] Closer closer_{};
};

}  // namespace ferrune
