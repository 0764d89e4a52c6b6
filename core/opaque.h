// What a seam hands out and only its own side looks into: the caller keeps
// it and destroys it, nothing more. The tag keeps the kinds apart.
#pragma once

namespace ferrune {

template <typename Tag>
class Opaque {
 public:
  virtual ~Opaque() = default;
};

}  // namespace ferrune
