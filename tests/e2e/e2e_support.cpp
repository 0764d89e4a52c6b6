#include "tests/e2e/e2e_support.h"

#include <wincrypt.h>

#include <sstream>

namespace e2e {

std::string Utf8(const std::wstring& s) {
  if (s.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(std::size_t(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s.data(), int(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

TracedRun::TracedRun(std::vector<std::wstring> extra) : traceFile(folder / L"trace.txt") {
  environment = std::move(extra);
  environment.push_back(L"FERRUNE_TRACE=" + traceFile);
}

std::vector<std::string> TracedRun::Lines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileBytes(traceFile));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string TracedRun::Field(const std::string& prefix, const std::string& key) const {
  std::string value = "<absent>";
  for (const std::string& line : Lines()) {
    if (line.rfind(prefix, 0) != 0) continue;
    const std::size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) continue;
    const std::size_t from = at + key.size() + 2;
    // The target is the last field and may hold blanks.
    value = key == "target" ? line.substr(from) : line.substr(from, line.find(' ', from) - from);
  }
  return value;
}

ContainerKeys ReadContainerKeys() {
  ContainerKeys keys;
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextA(&prov, "Ferrune Container", nullptr, PROV_RSA_FULL, 0)) return keys;
  for (DWORD keySpec : {DWORD(AT_KEYEXCHANGE), DWORD(AT_SIGNATURE)}) {
    HCRYPTKEY key = 0;
    if (!CryptGetUserKey(prov, keySpec, &key)) continue;
    DWORD size = 0;
    CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size);
    std::string blob(size, '\0');
    if (CryptExportKey(key, 0, PUBLICKEYBLOB, 0, reinterpret_cast<BYTE*>(blob.data()), &size)) {
      (keySpec == AT_KEYEXCHANGE ? keys.exchange : keys.signature) = blob.substr(0, size);
    }
    CryptDestroyKey(key);
  }
  CryptReleaseContext(prov, 0);
  return keys;
}

}  // namespace e2e
