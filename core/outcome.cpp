#include "core/outcome.h"

namespace ferrune {

std::string_view OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Success: return "Success";
    case Outcome::WrongPassword: return "WrongPassword";
    case Outcome::Damaged: return "Damaged";
    case Outcome::CannotRead: return "CannotRead";
    case Outcome::CannotWrite: return "CannotWrite";
    case Outcome::InUse: return "InUse";
    case Outcome::OutputExists: return "OutputExists";
    case Outcome::OutputChanged: return "OutputChanged";
    case Outcome::NotDurable: return "NotDurable";
    case Outcome::Cancelled: return "Cancelled";
    case Outcome::Failed: return "Failed";
  }
  return "Unknown";
}

}  // namespace ferrune
