// What a seam hands out and only its own side looks into: the caller keeps
// it and destroys it, nothing more. The tag keeps the kinds apart.
#pragma once

#include <utility>

namespace ferrune {

template <typename Tag>
class Opaque {
 public:
  virtual ~Opaque() = default;
};

// One that is nothing but something the platform owns (a handle, a
// descriptor): destroying it releases that.
template <typename Tag, typename Owned>
class OpaqueOwner final : public Opaque<Tag> {
 public:
  explicit OpaqueOwner(Owned owned) : owned_(std::move(owned)) {}
  // For the side that made it.
  Owned& owned() { return owned_; }

 private:
  Owned owned_;
};

}  // namespace ferrune
