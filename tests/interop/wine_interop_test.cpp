// Under Wine, against the Windows provider and the system's tables: the
// fixed key's blob and signature (made with the openssl command, and
// natively by the OpenSSL provider) verify with CryptoAPI; CryptoAPI signs
// with the same key to the same bytes; and the code page tables of the
// native build are the system's own.
#include <windows.h>
// after windows.h
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "cli/code_page_tables.h"
#include "platform/win32/crypt_handles.h"
#include "tests/support/signature_vector.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {
namespace {

class WindowsProvider : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CryptAcquireContextW(prov_.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  }
  // SHA-1(blob || SHA-1(password)) as the container hashes it: two CryptHashData calls.
  static CryptHash BoundHash(HCRYPTPROV prov, const Bytes& blob, const std::string& password) {
    CryptHash inner, outer;
    BYTE value[20];
    DWORD size = sizeof value;
    EXPECT_TRUE(CryptCreateHash(prov, CALG_SHA1, 0, 0, inner.put()));
    EXPECT_TRUE(CryptHashData(inner.get(), reinterpret_cast<const BYTE*>(password.data()),
                              static_cast<DWORD>(password.size()), 0));
    EXPECT_TRUE(CryptGetHashParam(inner.get(), HP_HASHVAL, value, &size, 0));
    EXPECT_TRUE(CryptCreateHash(prov, CALG_SHA1, 0, 0, outer.put()));
    EXPECT_TRUE(CryptHashData(outer.get(), blob.data(), static_cast<DWORD>(blob.size()), 0));
    EXPECT_TRUE(CryptHashData(outer.get(), value, size, 0));
    return outer;
  }
  bool Verifies(const Bytes& blob, const std::string& password, const Bytes& signature) {
    CryptKey key;
    if (!CryptImportKey(prov_.get(), blob.data(), static_cast<DWORD>(blob.size()), 0, CRYPT_EXPORTABLE, key.put())) {
      return false;
    }
    CryptHash hash = BoundHash(prov_.get(), blob, password);
    return CryptVerifySignatureA(hash.get(), signature.data(), static_cast<DWORD>(signature.size()), key.get(), nullptr,
                                 0) != FALSE;
  }

  CryptProv prov_;
};

TEST_F(WindowsProvider, VerifiesTheSignatureMadeOffWindows) {
  const Bytes blob = FromHex(vectors::kFixedKeyBlob);
  const Bytes signature = FromHex(vectors::kFixedKeySignature);
  EXPECT_TRUE(Verifies(blob, vectors::kFixedKeyPassword, signature));
  EXPECT_FALSE(Verifies(blob, "Secret", signature));
  Bytes flipped = signature;
  flipped[0] ^= 1;
  EXPECT_FALSE(Verifies(blob, vectors::kFixedKeyPassword, flipped));
  // Big-endian, as OpenSSL writes it before the reversal: refused.
  Bytes reversed(signature.rbegin(), signature.rend());
  EXPECT_FALSE(Verifies(blob, vectors::kFixedKeyPassword, reversed));
}

TEST_F(WindowsProvider, SignsWithTheSameKeyToTheSameBytes) {
  const Bytes priv = FromHex(vectors::kFixedKeyPrivateBlob);
  CryptProv container;
  ASSERT_TRUE(CryptAcquireContextW(container.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  CryptKey pair;
  ASSERT_TRUE(CryptImportKey(container.get(), priv.data(), static_cast<DWORD>(priv.size()), 0, 0, pair.put()));
  Bytes blob(148);
  DWORD size = static_cast<DWORD>(blob.size());
  ASSERT_TRUE(CryptExportKey(pair.get(), 0, PUBLICKEYBLOB, 0, blob.data(), &size));
  EXPECT_EQ(ToHex(blob), vectors::kFixedKeyBlob);
  // A hash on the context that holds the pair, signed with it.
  CryptHash outer = BoundHash(container.get(), blob, vectors::kFixedKeyPassword);
  // Imported pairs sign as AT_SIGNATURE when their algorithm is CALG_RSA_SIGN.
  Bytes signature(128);
  DWORD signatureSize = static_cast<DWORD>(signature.size());
  ASSERT_TRUE(CryptSignHashA(outer.get(), AT_SIGNATURE, nullptr, 0, signature.data(), &signatureSize));
  signature.resize(signatureSize);
  EXPECT_EQ(ToHex(signature), vectors::kFixedKeySignature);
}

TEST(CodePages, TheTablesAreTheSystemsOwn) {
  for (const int codePage : {874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    SCOPED_TRACE(codePage);
    const char16_t* table = cli::CodePageUpperHalf(codePage);
    ASSERT_NE(table, nullptr);
    std::size_t mismatches = 0;
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      wchar_t wide[2] = {};
      char back[4] = {};
      BOOL usedDefault = FALSE;
      const int n = MultiByteToWideChar(static_cast<UINT>(codePage), 0, &byte, 1, wide, 2);
      const bool roundTrips = n == 1 &&
                              WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, wide, 1, back,
                                                  sizeof back, nullptr, &usedDefault) == 1 &&
                              !usedDefault && back[0] == byte;
      const char16_t expected = roundTrips ? static_cast<char16_t>(wide[0]) : 0;
      const char16_t ours = b < 0x80 ? static_cast<char16_t>(b) : table[b - 0x80];
      if (ours != expected) {
        ++mismatches;
        ADD_FAILURE() << "byte " << b << ": ours " << int(ours) << ", the system's " << int(expected);
      }
    }
    // And no character outside the table is taken without a best fit.
    for (unsigned c = 0x80; c < 0x10000 && mismatches == 0; ++c) {
      if (c >= 0xD800 && c < 0xE000) continue;
      const wchar_t wide = static_cast<wchar_t>(c);
      char back[4] = {};
      BOOL usedDefault = FALSE;
      const int n = WideCharToMultiByte(static_cast<UINT>(codePage), WC_NO_BEST_FIT_CHARS, &wide, 1, back, sizeof back,
                                        nullptr, &usedDefault);
      if (n != 1 || usedDefault) continue;
      const auto byte = static_cast<unsigned char>(back[0]);
      const char16_t ours = byte < 0x80 ? static_cast<char16_t>(byte) : table[byte - 0x80];
      EXPECT_EQ(ours, static_cast<char16_t>(c)) << "U+" << std::hex << c << " goes to byte " << unsigned(byte);
    }
  }
}

}  // namespace
}  // namespace ferrune::testing
