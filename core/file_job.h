// The whole task for one file as both front ends perform it: the output
// name, the run, and the delete of the input once the output is in place.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "file_system.h"
#include "outcome.h"

namespace ferrune {

enum class JobKind { Encrypt, Decrypt };

// How the ".zrv" extension is compared: exactly, as the window's command line
// does, or in any case, for names that passed through systems that change it.
enum class NameCase { Exact, AnyCase };

// True when the name's extension is ".zrv".
bool IsEncryptedName(std::wstring_view path, NameCase nameCase);

// The output names: the path with ".zrv" added; the path less its last four
// characters (an empty name when it has four or fewer).
std::wstring EncryptedFileName(const std::wstring& plainPath);
std::wstring DecryptedFileName(const std::wstring& encryptedPath);
std::wstring OutputFileName(JobKind kind, const std::wstring& inputPath);

struct FileJobResult {
  Outcome outcome = Outcome::Failed;
  bool inputKept = false;  // success, but the input is still there
};

// Runs `operation` (which writes the output) and, when it succeeds and the
// input is not to be kept, deletes the input through `files`. Never throws.
FileJobResult RunFileJob(FileSystem& files, const std::wstring& inputPath, bool keepInput,
                         const std::function<Outcome()>& operation);

// The outcome as the user reads it; a kept input adds kOriginalKept after
// `keptSeparator`.
std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator = L"\n");

}  // namespace ferrune
