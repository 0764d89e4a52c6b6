// The password rules both front ends apply, in this order: something entered,
// both entries the same, then the question below six bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

#include "core/outcome.h"

namespace ferrune {

enum class PasswordCheck { Ok, Empty, Different };

// Shorter passwords are taken only after the user says so.
inline constexpr std::size_t kShortPasswordBytes = 6;

// The two entries of an encryption, as text of either kind.
template <typename Char>
PasswordCheck CheckNewPassword(std::span<const Char> first, std::span<const Char> second) {
  if (first.empty() && second.empty()) return PasswordCheck::Empty;
  if (!std::equal(first.begin(), first.end(), second.begin(), second.end())) return PasswordCheck::Different;
  return PasswordCheck::Ok;
}

template <typename Char>
PasswordCheck CheckPassword(std::span<const Char> entry) {
  return entry.empty() ? PasswordCheck::Empty : PasswordCheck::Ok;
}

// Counted in password bytes, after the code page.
bool NeedsShortPasswordQuestion(std::size_t passwordBytes);

// The message for a refusal; null for Ok.
const wchar_t* PasswordCheckText(PasswordCheck check);

// A new file's password must have exact bytes in the code page. To decrypt,
// a password without them is taken in the bytes of the system's standard
// conversion (a look-alike or the default character for what the code page
// lacks), since earlier versions made their files so. When those bytes do
// not open the file either, the characters are what the user is told of, not
// a wrong password: the text for that outcome, or null.
const wchar_t* StandardBytesOutcomeText(Outcome outcome);

}  // namespace ferrune
