// Which way a job goes, and the name of its output: the ".zrv" name added to
// encrypt, the last four characters cut to decrypt.
#pragma once

#include <string>
#include <string_view>

namespace ferrune {

enum class JobKind { Encrypt, Decrypt };

inline constexpr wchar_t kEncryptedExtension[] = L".zrv";

// How the ".zrv" extension is compared: exactly, as the window's command line
// does, or in any case, for names that passed through systems that change it.
enum class NameCase { Exact, AnyCase };

// True when the name's extension is ".zrv".
bool IsEncryptedName(std::wstring_view path, NameCase nameCase);

// The path with ".zrv" added; the path less its last four characters,
// whatever they are (an empty name when it has four or fewer).
std::wstring EncryptedFileName(const std::wstring& plainPath);
std::wstring DecryptedFileName(const std::wstring& encryptedPath);
std::wstring OutputFileName(JobKind kind, const std::wstring& inputPath);

}  // namespace ferrune
