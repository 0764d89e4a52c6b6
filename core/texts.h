// The program's own texts, exactly as the user sees them; what an outcome
// says is in its row of core/outcome.cpp. A stored line break is a line feed
// followed by a carriage return.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ferrune::texts {

// FERRUNE_VERSION is the project's version, which CMake defines.
inline constexpr wchar_t kApplicationTitle[] = L"Ferrune File Encrypter " FERRUNE_VERSION;
inline constexpr wchar_t kWindowCaption[] = L"Ferrune";
inline constexpr wchar_t kWebHost[] = L"ferrune.example";
inline constexpr wchar_t kHomePage[] = L"http://ferrune.example";
inline constexpr wchar_t kHelpPage[] = L"http://ferrune.example/help/";

inline constexpr wchar_t kNoPassword[] = L"You have not entered a password!";
inline constexpr wchar_t kPasswordsDiffer[] =
    L"You have entered two different passwords.\n\rPlease make sure the password match.";
inline constexpr wchar_t kShortPassword[] =
    L"You have entered a password which has less than 6 characters.\n\rAre you sure you want to continue?";
inline constexpr wchar_t kBadPasswordCharacters[] =
    L"The password contains characters that cannot be used.\n\rPlease choose another password.";
// A decryption whose password bytes were taken by the standard conversion,
// and that does not open the file either.
inline constexpr wchar_t kUnusableCharacters[] = L"The password contains characters that cannot be used";
inline constexpr wchar_t kNoProvider[] = L"The crypto provider is not available.\n\rThe file has not been changed.";
inline constexpr wchar_t kAskRemove[] = L"Remove Ferrune from the shell?";
inline constexpr wchar_t kRemoved[] = L"Ferrune has been removed from the shell.";

inline constexpr wchar_t kEncrypting[] = L"Please wait while the file is encrypted";
inline constexpr wchar_t kDecrypting[] = L"Please wait while the file is decrypted";
inline constexpr wchar_t kAlreadyEncrypted[] = L"This file is encrypted";
inline constexpr wchar_t kOriginalKept[] = L"The original file was kept";
// Around the output's name: "The file <name> already exists.\n\rDo you want to replace it?"
inline constexpr wchar_t kReplaceQuestionStart[] = L"The file ";
inline constexpr wchar_t kReplaceQuestionEnd[] = L" already exists.\n\rDo you want to replace it?";
// Why the tool kept an input after a success.
inline constexpr wchar_t kKeptChanged[] = L"the file changed while it was read";
inline constexpr wchar_t kKeptOtherNames[] = L"other names lead to the same data";
inline constexpr wchar_t kKeptNotRemoved[] = L"the system did not let it be deleted";
inline constexpr wchar_t kKeptOutputGone[] = L"the output file was replaced before the original could go";
inline constexpr wchar_t kKeptMoved[] = L"it was moved or renamed during the work";
// After a success whose delete reached the disk only in part.
inline constexpr wchar_t kRemovalNotDurable[] =
    L"The original file was deleted, but the disk reported an error: it may come back after a power cut";

// The error box's texts; what follows them is the system's message or a name.
inline constexpr wchar_t kCannotRegisterClass[] = L"Cannot register the window class";
inline constexpr wchar_t kCannotCreateWindow[] = L"Cannot create the window";
inline constexpr wchar_t kCannotCreateControl[] = L"Cannot create the control ";
inline constexpr wchar_t kThreadCreationError[] = L"Thread creation error: ";
inline constexpr wchar_t kThreadError[] = L"Thread Error: ";
inline constexpr wchar_t kUnknownError[] = L"Unknown error";

// The texts below are UTF-8; %1 and %2 stand for what Filled puts in.
inline constexpr char kSetDataFailed[] = "Failed to set data for '%1'";

// The tool's own lines.
inline constexpr char kCancelledNothingWritten[] = "Cancelled, nothing was written";
inline constexpr char kCheckPassed[] = "The file is well formed and the password is right";
inline constexpr char kNotAnEncryptedName[] = "The file name does not end in .zrv";
inline constexpr char kNothingChanged[] = "nothing was changed.";
inline constexpr char kTryHelp[] = "Try 'zrv --help' for more information.";
inline constexpr char kVersionLine[] = "zrv (Ferrune) " FERRUNE_VERSION;
inline constexpr char kCodePageMissing[] = "code page %1 is not available on this system.";
inline constexpr char kNoCommand[] = "no command given (encrypt, decrypt or check)";
inline constexpr char kUnknownCommand[] = "unknown command %1 (encrypt, decrypt or check)";
inline constexpr char kNoFiles[] = "no files given";
inline constexpr char kUnknownOption[] = "unknown option %1";
inline constexpr char kNeedsValue[] = "option %1 needs a value";
inline constexpr char kTakesNoValue[] = "option %1 takes no value";
inline constexpr char kNeedsFileName[] = "--password-file needs a file name";
inline constexpr char kNotACodePage[] = "code page %1 is not one of 874 and 1250 to 1258";
// The password's prompts and refusals.
inline constexpr char kAskPassword[] = "Enter a password: ";
inline constexpr char kAskPasswordAgain[] = "Verify the password: ";
// Names the file as it was before its encryption, or says how many there are.
inline constexpr char kAskPasswordUsed[] = "Enter the password used to encrypt %1: ";
inline constexpr char kTheseFiles[] = "these %1 files";
inline constexpr char kYesOrNo[] = " [y/N] ";
inline constexpr char kSeeCodePage[] = "(code page %1; see --code-page)";
inline constexpr char kNotUtf8[] = "The password is not UTF-8 text.";
inline constexpr char kStandardInput[] = "standard input";
inline constexpr char kCannotReadPasswordFrom[] = "Cannot read the password from %1.";
inline constexpr char kCannotReadPasswordFile[] = "Cannot read the password file %1.";
inline constexpr char kLineTooLong[] = "The first line of %1 is longer than %2 bytes.";
inline constexpr char kTypedTooLong[] = "The password typed is longer than %1 bytes.";
// An input that is the password file (the same file by any name): encrypting
// or deleting it would lose the password.
inline constexpr char kIsPasswordFile[] = "This is the password file: it was left as it is";
inline constexpr char kOutputIsPasswordFile[] = "The output would replace the password file: it was left as it is";
// Why the tool has no provider.
inline constexpr char kProviderMissing[] = "The crypto provider is not available.";
inline constexpr char kNoSignatureKey[] = "The crypto provider cannot make a signature key.";
inline constexpr char kNoLibraryContext[] = "OpenSSL cannot make a library context.";
inline constexpr char kNoRc2[] =
    "The RC2 cipher is not available: OpenSSL's legacy provider (legacy module) cannot be loaded from %1.";
inline constexpr char kNoDefaultProvider[] =
    "SHA-1 and RSA are not available: OpenSSL's default provider cannot be loaded.";

// zrv --help: the exit statuses come between the two, from the outcomes' rows.
inline constexpr char kHelpStart[] =
    "Usage: zrv encrypt|decrypt|check [OPTION]... FILE...\n"
    "Encrypt files with a password into .zrv files, decrypt them, or check them.\n"
    "\n"
    "  encrypt    write FILE.zrv beside each FILE, then delete FILE\n"
    "  decrypt    write each FILE.zrv as FILE, then delete FILE.zrv\n"
    "  check      say whether each FILE is well formed and the password right;\n"
    "             nothing is written\n"
    "\n"
    "  -k, --keep              keep the input files\n"
    "  -f, --force             replace a file that stands under an output name\n"
    "      --password-file F   take the password from the first line of file F\n"
    "      --code-page N       password bytes in Windows code page N: 874 or\n"
    "                          1250 to 1258 (default 1252); a character the code\n"
    "                          page lacks is refused, except a letter that 1258\n"
    "                          has as letter and mark, which is written so\n"
    "  -h, --help              show this help\n"
    "      --version           show the version\n"
    "      --                  end the options: the arguments after it are\n"
    "                          files, even when they start with a dash\n"
    "\n"
    "Without --password-file the password is read from the terminal without\n"
    "echo (twice to encrypt), or from the first line of standard input when\n"
    "that is not a terminal.\n"
    "\n"
    "Exit status:\n";
inline constexpr char kUsageStatus[] = "usage or password refused, or a file given is the password file";
inline constexpr char kHelpEnd[] =
    "\n"
    "With several files every file is tried; the status is the first failure's.\n"
    "A file that another job is working on is refused (status 4): on Windows\n"
    "the job of another zrv.exe or of the Ferrune window; elsewhere that of\n"
    "another zrv only, which does not see the window's jobs under Wine.\n"
    "A password with a character the code page lacks is refused. Files that\n"
    "earlier versions made with such a password (a look-alike letter in its\n"
    "place) open with zrv.exe or the window on Windows, not with zrv elsewhere.\n"
    "An input is deleted only while it is unchanged and its only name.\n"
    "\n"
    "What a round trip keeps: each output gets its input's modification time,\n"
    "so a .zrv carries the original's dates and decrypting puts them back.\n"
    "On Linux also the permission bits go across; on Windows the creation\n"
    "time, the read-only and hidden attributes and, on volumes with streams,\n"
    "the mark of the web. Not kept: the last-access time, other streams,\n"
    "extended attributes, access lists, and the name's case on systems that\n"
    "fold it.\n";

// `text` with %1, %2 and so on replaced by `values`, in one pass: a value
// that holds a % sign stays as it is.
inline std::string Filled(std::string_view text, std::initializer_list<std::string_view> values) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t n = i + 1 < text.size() ? static_cast<std::size_t>(text[i + 1] - '1') : values.size();
    if (text[i] == '%' && n < values.size()) {
      out += values.begin()[n];
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace ferrune::texts
