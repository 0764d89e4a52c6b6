// The program's own texts, exactly as the user sees them. A stored line break
// is a line feed followed by a carriage return.
#pragma once

namespace ferrune::texts {

inline constexpr wchar_t kApplicationTitle[] = L"Ferrune File Encrypter 2.01";
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
inline constexpr wchar_t kEncrypted[] = L"Encryption completed";
inline constexpr wchar_t kDecrypted[] = L"Decryption completed";
inline constexpr wchar_t kInvalidPassword[] = L"Invalid password!";
inline constexpr wchar_t kAlreadyEncrypted[] = L"This file is encrypted";
inline constexpr wchar_t kDamaged[] = L"The file is damaged";
inline constexpr wchar_t kCannotRead[] = L"Cannot read the file";
inline constexpr wchar_t kCannotWrite[] = L"Cannot write the output file";
inline constexpr wchar_t kEncryptionFailed[] = L"Encryption failed";
inline constexpr wchar_t kDecryptionFailed[] = L"Decryption failed";
inline constexpr wchar_t kOriginalKept[] = L"The original file was kept";
inline constexpr wchar_t kInUse[] = L"The file is in use by another program";
inline constexpr wchar_t kOutputExists[] = L"The output file already exists";
inline constexpr wchar_t kOutputChanged[] = L"The output file changed during the work";
inline constexpr wchar_t kNotDurable[] = L"The output file was written, but the disk reported an error";
// Around the output's name: "The file <name> already exists.\n\rDo you want to replace it?"
inline constexpr wchar_t kReplaceQuestionStart[] = L"The file ";
inline constexpr wchar_t kReplaceQuestionEnd[] = L" already exists.\n\rDo you want to replace it?";
// Why the tool kept an input after a success.
inline constexpr wchar_t kKeptChanged[] = L"the file changed while it was read";
inline constexpr wchar_t kKeptOtherNames[] = L"other names lead to the same data";

inline constexpr wchar_t kEncryptedExtension[] = L".zrv";

}  // namespace ferrune::texts
