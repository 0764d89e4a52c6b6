// One open registry key, closed through its seam when the owner goes.
#pragma once

#include <utility>

#include "registry_api.h"

namespace ferrune {

class OwnedKey {
 public:
  OwnedKey() = default;
  OwnedKey(RegistryApi& api, RegHandle key) : api_(&api), key_(key) {}
  OwnedKey(OwnedKey&& o) noexcept : api_(o.api_), key_(std::exchange(o.key_, nullptr)) {}
  OwnedKey& operator=(OwnedKey&& o) noexcept {
    if (this != &o) {
      reset();
      api_ = o.api_;
      key_ = std::exchange(o.key_, nullptr);
    }
    return *this;
  }
  OwnedKey(const OwnedKey&) = delete;
  OwnedKey& operator=(const OwnedKey&) = delete;
  ~OwnedKey() { reset(); }

  RegHandle get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  // A plain close; nothing to do with a failed close but forget the handle.
  void reset() {
    if (key_) api_->CloseKey(std::exchange(key_, nullptr));
  }

 private:
  RegistryApi* api_ = nullptr;
  RegHandle key_ = nullptr;
};

}  // namespace ferrune
