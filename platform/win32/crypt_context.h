// The process-wide provider context on the program's key container.
#pragma once

#ifdef _WIN32
#include <optional>

#include "platform/win32/crypt_handles.h"

namespace ferrune {

inline constexpr char kKeyContainerName[] = "Ferrune Container";

class CryptContext {
 public:
  enum class Kind { None, Container, Ephemeral };

  // Opens the container (made when missing). When it cannot be opened at all,
  // falls back to a verify-only context with a signature pair kept in memory
  // for this run, which is all the file format needs.
  // `acquire` is the platform call; tests put a refusing one in its place.
  using AcquireFn = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD);
  static CryptContext Open(const char* containerName = kKeyContainerName, AcquireFn acquire = &CryptAcquireContextA);

  // A verify-only context that touches no container. `signatureFlags`: make a
  // signature pair in it with these CryptGenKey flags, which lives in memory
  // and goes with the context; without them, only verification is possible.
  static CryptContext OpenEphemeral(std::optional<DWORD> signatureFlags, AcquireFn acquire = &CryptAcquireContextA);

  // Replaces the container's exchange and signature pairs; false on failure.
  bool RenewKeyPairs();

  // Releases the context; the container and its pairs stay.
  void Release() {
    prov_.reset();
    kind_ = Kind::None;
  }

  HCRYPTPROV handle() const { return prov_.get(); }
  Kind kind() const { return kind_; }
  bool available() const { return kind_ != Kind::None; }

 private:
  CryptProv prov_;
  Kind kind_ = Kind::None;
};

}  // namespace ferrune
#endif
