// Password text as Unicode code points, wiped when it goes away.
#pragma once

#include <string>

#include "secret_bytes.h"

namespace ferrune::cli {

struct SecretText {
  std::u32string text;
  SecretText() = default;
  explicit SecretText(std::u32string t) : text(std::move(t)) {}
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  SecretText(SecretText&& other) noexcept : text(std::move(other.text)) { other.text.clear(); }
  SecretText& operator=(SecretText&& other) noexcept {
    Wipe();
    text = std::move(other.text);
    other.text.clear();
    return *this;
  }
  ~SecretText() { Wipe(); }
  void Wipe() {
    if (!text.empty()) WipeBytes(text.data(), text.size() * sizeof(char32_t));
    text.clear();
  }
};

}  // namespace ferrune::cli
