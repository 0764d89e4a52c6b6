#include "tests/platform/win32/win_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/le_bytes.h"
#include "platform/win32/file_crypt.h"
#include "platform/win32/win32_file_system.h"

namespace ferrune::testing {

namespace fs = std::filesystem;

EphemeralContext::EphemeralContext() {
  if (!CryptAcquireContextW(prov_.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    ADD_FAILURE() << "no verify context: " << GetLastError();
    return;
  }
  CryptKey pair;
  if (!CryptGenKey(prov_.get(), AT_SIGNATURE, CRYPT_EXPORTABLE, pair.put())) {
    ADD_FAILURE() << "no signature pair: " << GetLastError();
  }
}

std::vector<std::wstring> TestFolder::Names() const {
  std::vector<std::wstring> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(TemporaryFolder::path(), ec)) {
    names.push_back(entry.path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteBytes(const std::wstring& path, const Bytes& data) {
  std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) ADD_FAILURE() << "cannot write a test file";
}

Bytes ReadBytes(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Sha1(HCRYPTPROV prov, const Bytes& data) {
  CryptHash hash;
  BYTE value[20];
  DWORD size = sizeof value;
  const BYTE nothing = 0;
  if (!CryptCreateHash(prov, CALG_SHA1, 0, 0, hash.put()) ||
      !CryptHashData(hash.get(), data.empty() ? &nothing : data.data(), static_cast<DWORD>(data.size()), 0) ||
      !CryptGetHashParam(hash.get(), HP_HASHVAL, value, &size, 0)) {
    ADD_FAILURE() << "SHA-1 failed: " << GetLastError();
    return {};
  }
  return Bytes(value, value + size);
}

Bytes EncryptOnce(HCRYPTPROV prov, const Bytes& password, const Bytes& plain) {
  CryptHash hash;
  CryptKey key;
  const BYTE nothing = 0;
  if (!CryptCreateHash(prov, CALG_SHA1, 0, 0, hash.put()) ||
      !CryptHashData(hash.get(), password.empty() ? &nothing : password.data(), static_cast<DWORD>(password.size()),
                     0) ||
      !CryptDeriveKey(prov, CALG_RC2, hash.get(), 0, key.put())) {
    ADD_FAILURE() << "key derivation failed: " << GetLastError();
    return {};
  }
  Bytes buffer = plain;
  buffer.resize(plain.size() + 8);
  DWORD length = static_cast<DWORD>(plain.size());
  if (!CryptEncrypt(key.get(), 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size()))) {
    ADD_FAILURE() << "CryptEncrypt failed: " << GetLastError();
    return {};
  }
  buffer.resize(length);
  return buffer;
}

Bytes MakeDirectly(HCRYPTPROV prov, const Bytes& password, const Bytes& plain, bool bound) {
  CryptHash hash;
  CryptKey key;
  CryptKey pair;
  EXPECT_TRUE(CryptCreateHash(prov, CALG_SHA1, 0, 0, hash.put()));
  EXPECT_TRUE(CryptHashData(hash.get(), password.data(), static_cast<DWORD>(password.size()), 0));
  EXPECT_TRUE(CryptDeriveKey(prov, CALG_RC2, hash.get(), 0, key.put()));
  EXPECT_TRUE(CryptGetUserKey(prov, AT_SIGNATURE, pair.put()));
  DWORD k = 0;
  EXPECT_TRUE(CryptExportKey(pair.get(), 0, PUBLICKEYBLOB, 0, nullptr, &k));
  Bytes blob(k);
  EXPECT_TRUE(CryptExportKey(pair.get(), 0, PUBLICKEYBLOB, 0, blob.data(), &k));
  CryptHash signedHash;
  HCRYPTHASH toSign = hash.get();
  if (bound) {
    BYTE value[20];
    DWORD size = sizeof value;
    EXPECT_TRUE(CryptGetHashParam(hash.get(), HP_HASHVAL, value, &size, 0));
    EXPECT_TRUE(CryptCreateHash(prov, CALG_SHA1, 0, 0, signedHash.put()));
    EXPECT_TRUE(CryptHashData(signedHash.get(), blob.data(), k, 0));
    EXPECT_TRUE(CryptHashData(signedHash.get(), value, size, 0));
    toSign = signedHash.get();
  }
  DWORD s = 0;
  EXPECT_TRUE(CryptSignHashA(toSign, AT_SIGNATURE, nullptr, 0, nullptr, &s));
  Bytes signature(s);
  EXPECT_TRUE(CryptSignHashA(toSign, AT_SIGNATURE, nullptr, 0, signature.data(), &s));
  DWORD length = static_cast<DWORD>(plain.size());
  EXPECT_TRUE(CryptEncrypt(key.get(), 0, TRUE, 0, nullptr, &length, 0));
  Bytes ciphertext = plain;
  ciphertext.resize(length);
  length = static_cast<DWORD>(plain.size());
  EXPECT_TRUE(CryptEncrypt(key.get(), 0, TRUE, 0, ciphertext.data(), &length, static_cast<DWORD>(ciphertext.size())));
  Bytes header = {'Z', 'R', 'V', '0', '1', '0', '0', '1', 0, 0, 0, 0, 0, 0, 0, 0};
  StoreLe32(header.data() + 8, k);
  StoreLe32(header.data() + 12, s);
  return Concat({header, blob, signature, ciphertext});
}

Outcome Encrypt(const EphemeralContext& ctx, const std::wstring& path, const char* password) {
  Win32FileSystem files;
  return EncryptFileWithProvider(ctx.id(), files, path, SecretBytes::FromText(password), {});
}

Outcome Decrypt(const EphemeralContext& ctx, const std::wstring& path, const char* password) {
  Win32FileSystem files;
  return DecryptFileWithProvider(ctx.id(), files, path, SecretBytes::FromText(password), {});
}

}  // namespace ferrune::testing
