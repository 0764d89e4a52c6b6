#include "core/outcome.h"

#include <iterator>

namespace ferrune {
namespace {

// clang-format off
constexpr OutcomeRow kRows[] = {
  // outcome               name             after an encryption                                            after a decryption                                             exit  in the tool's help                                    input stays
  {Outcome::Success,       "Success",       L"Encryption completed",                                       L"Decryption completed",                                       0,    "success",                                            false},
  {Outcome::WrongPassword, "WrongPassword", L"Invalid password!",                                          L"Invalid password!",                                          1,    "wrong password",                                     false},
  {Outcome::Damaged,       "Damaged",       L"The file is damaged",                                        L"The file is damaged",                                        3,    "damaged file",                                       false},
  {Outcome::CannotRead,    "CannotRead",    L"Cannot read the file",                                       L"Cannot read the file",                                       4,    "cannot read",                                        false},
  {Outcome::CannotWrite,   "CannotWrite",   L"Cannot write the output file",                               L"Cannot write the output file",                               5,    "cannot write",                                       false},
  {Outcome::InUse,         "InUse",         L"The file is in use by another program",                      L"The file is in use by another program",                      4,    "another job has the file",                           false},
  {Outcome::OutputExists,  "OutputExists",  L"The output file already exists",                             L"The output file already exists",                             5,    "a file stands under the output name (see --force)",  false},
  {Outcome::OutputChanged, "OutputChanged", L"The output file changed during the work",                    L"The output file changed during the work",                    5,    "the output name got another file during the work",   false},
  {Outcome::NotDurable,    "NotDurable",    L"The output file was written, but the disk reported an error", L"The output file was written, but the disk reported an error", 5,    "the output was written, but the disk reported an error", true},
  {Outcome::ReservedName,  "ReservedName",  L"The output file name is kept for Ferrune's temporary files",   L"The output file name is kept for Ferrune's temporary files",   5,    "the output name is one that Ferrune keeps for its own files", false},
  {Outcome::Cancelled,     "Cancelled",     L"Encryption failed",                                          L"Decryption failed",                                          6,    "cancelled",                                          false},
  {Outcome::Failed,        "Failed",        L"Encryption failed",                                          L"Decryption failed",                                          6,    "any other failure",                                  false},
};
// clang-format on

constexpr bool InOrder() {
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    if (kRows[i].outcome != static_cast<Outcome>(i)) return false;
  }
  return kRows[std::size(kRows) - 1].outcome == Outcome::Failed;
}
static_assert(InOrder(), "one row per outcome, in the order of the enum, Failed last");

}  // namespace

std::span<const OutcomeRow> OutcomeRows() { return kRows; }

const OutcomeRow& RowOf(Outcome outcome) {
  const auto index = static_cast<std::size_t>(outcome);
  return index < std::size(kRows) ? kRows[index] : kRows[std::size(kRows) - 1];
}

}  // namespace ferrune
