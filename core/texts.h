// The program's own texts, exactly as the user sees them; what an outcome
// says is in its row of core/outcome.cpp. A stored line break is a line feed
// followed by a carriage return.
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

inline constexpr wchar_t kEncryptedExtension[] = L".zrv";

}  // namespace ferrune::texts
