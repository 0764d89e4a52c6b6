#include "core/password_rules.h"

#include "core/texts.h"

namespace ferrune {

bool NeedsShortPasswordQuestion(std::size_t passwordBytes) { return passwordBytes < kShortPasswordBytes; }

const wchar_t* PasswordCheckText(PasswordCheck check) {
  switch (check) {
    case PasswordCheck::Empty: return texts::kNoPassword;
    case PasswordCheck::Different: return texts::kPasswordsDiffer;
    case PasswordCheck::Ok: break;
  }
  return nullptr;
}

const wchar_t* StandardBytesOutcomeText(Outcome outcome) {
  return outcome == Outcome::WrongPassword ? texts::kUnusableCharacters : nullptr;
}

}  // namespace ferrune
