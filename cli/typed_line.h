// A password line typed at a terminal, edited here with the terminal's own
// keys: the terminal's line editing would cut a long line at its limit
// (4095 bytes on Linux) without a word.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cli/platform.h"
#include "core/secret_bytes.h"

namespace ferrune::cli {

// The bytes of the editing keys, -1 for one the terminal has switched off.
struct EditKeys {
  int erase = -1;        // the last character
  int kill = -1;         // the whole line
  int wordErase = -1;    // the last word
  int literalNext = -1;  // takes the next byte as it is
  int end = -1;          // the end of the input on an empty line
};

class TypedLine {
 public:
  explicit TypedLine(const EditKeys& keys) : keys_(keys), bytes_(kMaxPasswordLine) {}

  // False once the line is complete.
  bool Put(std::uint8_t byte);
  // What was typed, the input having ended (or failed) if Put never said the
  // line was complete.
  Typed Take(SecretBytes* line);

 private:
  void EraseCharacter();

  const EditKeys keys_;
  SecretBytes bytes_;
  std::size_t length_ = 0;
  // The bytes that the keys may still edit: an end key in the middle of a
  // line hands over what came before it, as the terminal's editing does.
  std::size_t editable_ = 0;
  bool literal_ = false;
  bool tooLong_ = false;
  bool ended_ = true;
};

}  // namespace ferrune::cli
