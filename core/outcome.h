// What a file operation ended in, and how the front ends tell it: one row per
// outcome in core/outcome.cpp with the texts the user reads and the tool's
// exit status. The boolean of the file operations is `outcome == Success`.
#pragma once

#include <span>
#include <string_view>

namespace ferrune {

// A new outcome takes a value here and its row in core/outcome.cpp.
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
  ReservedName,   // the output name is one of ours (core/temp_name.h): nothing is written
  Cancelled,
  Failed,  // any other provider failure, or a proof that does not match; stays last
};

struct OutcomeRow {
  Outcome outcome;
  std::string_view name;       // for traces and the benchmarks
  const wchar_t* encryptText;  // after an encryption, in the window and the tool
  const wchar_t* decryptText;  // after a decryption or a check
  int exitCode;                // the tool's exit status
  const char* exitMeaning;     // what the tool's help says of that status
  bool keepsInput;             // the input always stays, and the text says so
};

// In the order of the values above.
std::span<const OutcomeRow> OutcomeRows();
const OutcomeRow& RowOf(Outcome outcome);

inline std::string_view OutcomeName(Outcome outcome) { return RowOf(outcome).name; }

}  // namespace ferrune
