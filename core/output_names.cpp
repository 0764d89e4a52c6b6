#include "core/output_names.h"

#include "core/path_rules.h"

namespace ferrune {

bool IsEncryptedName(std::wstring_view path, NameCase nameCase) {
  const std::wstring extension = ExtensionOf(path);
  return nameCase == NameCase::Exact ? extension == kEncryptedExtension : SameTextAscii(extension, kEncryptedExtension);
}

std::wstring EncryptedFileName(const std::wstring& plainPath) { return plainPath + kEncryptedExtension; }

std::wstring DecryptedFileName(const std::wstring& encryptedPath) {
  constexpr std::size_t cut = std::wstring_view(kEncryptedExtension).size();
  if (encryptedPath.size() <= cut) return {};
  return encryptedPath.substr(0, encryptedPath.size() - cut);
}

std::wstring OutputFileName(JobKind kind, const std::wstring& inputPath) {
  return kind == JobKind::Encrypt ? EncryptedFileName(inputPath) : DecryptedFileName(inputPath);
}

}  // namespace ferrune
