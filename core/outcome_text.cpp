#include "outcome_text.h"

#include "texts.h"

namespace ferrune {

std::wstring OutcomeText(Outcome outcome, bool encrypting, bool inputKept) {
  switch (outcome) {
    case Outcome::Success: {
      std::wstring text = encrypting ? texts::kEncrypted : texts::kDecrypted;
      if (inputKept) text += std::wstring(L"\n") + texts::kOriginalKept;
      return text;
    }
    case Outcome::WrongPassword: return texts::kInvalidPassword;
    case Outcome::Damaged: return texts::kDamaged;
    case Outcome::CannotRead: return texts::kCannotRead;
    case Outcome::CannotWrite: return texts::kCannotWrite;
    case Outcome::Cancelled:
    case Outcome::Failed: break;
  }
  return encrypting ? texts::kEncryptionFailed : texts::kDecryptionFailed;
}

}  // namespace ferrune
