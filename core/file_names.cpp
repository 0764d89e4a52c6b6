#include "file_crypt.h"

namespace ferrune {

std::wstring EncryptedFileName(const std::wstring& plainPath) { return plainPath + L".zrv"; }

// Whatever the last four characters are: no check that they read ".zrv".
std::wstring DecryptedFileName(const std::wstring& encryptedPath) {
  if (encryptedPath.size() <= 4) return {};
  return encryptedPath.substr(0, encryptedPath.size() - 4);
}

}  // namespace ferrune
