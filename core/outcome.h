// What a file operation ended in. The window and the command-line tool tell
// these apart; the boolean of the file operations is `outcome == Success`.
#pragma once

#include <string_view>

namespace ferrune {

enum class Outcome {
  Success,
  WrongPassword,  // neither signature form verifies, or the key blob will not import
  Damaged,        // not a valid encrypted file, or a ciphertext that does not decrypt
  CannotRead,     // the input cannot be opened or read
  CannotWrite,    // the output cannot be created, written, flushed or renamed
  InUse,          // another job is working on the input
  OutputExists,   // a file stands under the output name and replacing it was not asked for
  OutputChanged,  // the output name got another file during the work, which is kept
  NotDurable,     // the output is in place, but the disk reported an error for its folder
  Cancelled,
  Failed,  // any other provider failure, or a proof that does not match
};

std::string_view OutcomeName(Outcome outcome);

}  // namespace ferrune
