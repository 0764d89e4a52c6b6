// One move-only owner per CryptoAPI handle kind, released on every path.
#pragma once

#ifdef _WIN32
#include <windows.h>
// wincrypt.h needs windows.h first.
#include <wincrypt.h>

#include <utility>

namespace ferrune {

template <typename Handle, BOOL(WINAPI* Release)(Handle)>
class UniqueCryptHandle {
 public:
  UniqueCryptHandle() = default;
  explicit UniqueCryptHandle(Handle h) : h_(h) {}
  UniqueCryptHandle(UniqueCryptHandle&& o) noexcept : h_(std::exchange(o.h_, 0)) {}
  UniqueCryptHandle& operator=(UniqueCryptHandle&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, 0));
    return *this;
  }
  UniqueCryptHandle(const UniqueCryptHandle&) = delete;
  UniqueCryptHandle& operator=(const UniqueCryptHandle&) = delete;
  ~UniqueCryptHandle() { reset(); }

  Handle get() const { return h_; }
  Handle* put() {
    reset();
    return &h_;
  }
  explicit operator bool() const { return h_ != 0; }
  void reset(Handle h = 0) {
    if (h_) Release(h_);
    h_ = h;
  }

 private:
  Handle h_ = 0;
};

using CryptKey = UniqueCryptHandle<HCRYPTKEY, &CryptDestroyKey>;
using CryptHash = UniqueCryptHandle<HCRYPTHASH, &CryptDestroyHash>;

// The provider context's release takes a flags argument.
class CryptProv {
 public:
  CryptProv() = default;
  explicit CryptProv(HCRYPTPROV h) : h_(h) {}
  CryptProv(CryptProv&& o) noexcept : h_(std::exchange(o.h_, 0)) {}
  CryptProv& operator=(CryptProv&& o) noexcept {
    if (this != &o) reset(std::exchange(o.h_, 0));
    return *this;
  }
  CryptProv(const CryptProv&) = delete;
  CryptProv& operator=(const CryptProv&) = delete;
  ~CryptProv() { reset(); }

  HCRYPTPROV get() const { return h_; }
  HCRYPTPROV* put() {
    reset();
    return &h_;
  }
  explicit operator bool() const { return h_ != 0; }
  void reset(HCRYPTPROV h = 0) {
    if (h_) CryptReleaseContext(h_, 0);
    h_ = h;
  }

 private:
  HCRYPTPROV h_ = 0;
};

}  // namespace ferrune
#endif
