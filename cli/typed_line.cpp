#include "cli/typed_line.h"

namespace ferrune::cli {
namespace {

bool IsContinuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// As the Linux terminal takes a word: letters, digits and underscores, any
// character beyond ASCII counted as a letter.
bool InWord(std::uint8_t byte) {
  return byte >= 0x80 || byte == '_' || (byte >= '0' && byte <= '9') || ((byte | 0x20) >= 'a' && (byte | 0x20) <= 'z');
}

}  // namespace

bool TypedLine::Put(std::uint8_t byte) {
  const int key = byte;
  if (literal_) {
    literal_ = false;
  } else if (byte == '\n' || byte == '\r') {
    ended_ = false;
    return false;
  } else if (key == keys_.end) {
    if (editable_ == 0) return false;
    editable_ = 0;
    return true;
  } else if (key == keys_.erase) {
    EraseCharacter();
    return true;
  } else if (key == keys_.kill) {
    length_ -= editable_;
    editable_ = 0;
    return true;
  } else if (key == keys_.wordErase) {
    bool seenWord = false;
    while (editable_ > 0) {
      const bool word = InWord(bytes_.data()[length_ - 1]);
      if (!word && seenWord) break;
      seenWord = seenWord || word;
      EraseCharacter();
    }
    return true;
  } else if (key == keys_.literalNext) {
    literal_ = true;
    return true;
  }
  // Past the limit nothing more is kept, and the line is refused at its end.
  if (length_ == bytes_.size()) {
    tooLong_ = true;
    return true;
  }
  bytes_.data()[length_++] = byte;
  ++editable_;
  return true;
}

void TypedLine::EraseCharacter() {
  // A whole UTF-8 character, as the terminal erases it.
  while (editable_ > 0) {
    --editable_;
    if (!IsContinuation(bytes_.data()[--length_])) break;
  }
}

Typed TypedLine::Take(SecretBytes* line) {
  if (tooLong_) return Typed::TooLong;
  if (ended_ && length_ == 0) return Typed::End;
  *line = SecretBytes(bytes_.data(), length_);
  return Typed::Line;
}

}  // namespace ferrune::cli
