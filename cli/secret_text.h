// Password text as Unicode code points, wiped when it goes away.
#pragma once

#include <string>

#include "core/secret_bytes.h"

namespace ferrune::cli {

// A string's characters zeroed, then the string emptied.
template <typename Char>
void WipeString(std::basic_string<Char>& text) {
  if (!text.empty()) WipeBytes(text.data(), text.size() * sizeof(Char));
  text.clear();
}

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
  void Wipe() { WipeString(text); }
};

}  // namespace ferrune::cli
