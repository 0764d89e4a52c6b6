// The process-wide provider context: its container, and the fallback when the
// container cannot be opened at all.
#include "platform/win32/crypt_context.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/file_crypt.h"
#include "platform/win32/win32_file_system.h"
#include "tests/support/temporary_folder.h"

namespace ferrune {
namespace {

std::string PublicSignatureKey(HCRYPTPROV prov) {
  CryptKey key;
  if (!CryptGetUserKey(prov, AT_SIGNATURE, key.put())) return {};
  DWORD size = 0;
  if (!CryptExportKey(key.get(), 0, PUBLICKEYBLOB, 0, nullptr, &size)) return {};
  std::string blob(size, '\0');
  if (!CryptExportKey(key.get(), 0, PUBLICKEYBLOB, 0, reinterpret_cast<BYTE*>(blob.data()), &size)) return {};
  blob.resize(size);
  return blob;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr) && n == bytes.size();
  CloseHandle(h);
  return ok;
}

TEST(CryptContext, RenewsThePairsOfItsContainer) {
  CryptContext ctx = CryptContext::Open("Ferrune Context Test");
  ASSERT_EQ(ctx.kind(), CryptContext::Kind::Container);
  ASSERT_TRUE(ctx.RenewKeyPairs());
  const std::string first = PublicSignatureKey(ctx.handle());
  ASSERT_TRUE(ctx.RenewKeyPairs());
  const std::string second = PublicSignatureKey(ctx.handle());
  EXPECT_FALSE(first.empty());
  EXPECT_NE(first, second);
  ctx.Release();
  EXPECT_FALSE(ctx.available());
  HCRYPTPROV gone = 0;
  CryptAcquireContextA(&gone, "Ferrune Context Test", nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

TEST(CryptContext, IsNoneWhenNoContextCanBeHad) {
  CryptContext ctx = CryptContext::Open("Ferrune Container", [](HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD) -> BOOL {
    SetLastError(DWORD(NTE_PROV_TYPE_NOT_DEF));
    return FALSE;
  });
  EXPECT_EQ(ctx.kind(), CryptContext::Kind::None);
  EXPECT_FALSE(ctx.available());
  EXPECT_FALSE(ctx.RenewKeyPairs());
}

TEST(CryptContext, FallsBackToAPairInMemoryWhenTheContainerCannotBeOpened) {
  // A damaged container, or a temporary profile: every named open fails.
  CryptContext ctx = CryptContext::Open(
      "Ferrune Container", [](HCRYPTPROV* prov, LPCSTR container, LPCSTR name, DWORD type, DWORD flags) -> BOOL {
        if (container) {
          SetLastError(DWORD(NTE_BAD_KEYSET));
          return FALSE;
        }
        return CryptAcquireContextA(prov, container, name, type, flags);
      });
  ASSERT_EQ(ctx.kind(), CryptContext::Kind::Ephemeral);
  EXPECT_TRUE(ctx.RenewKeyPairs());
  EXPECT_EQ(PublicSignatureKey(ctx.handle()).size(), 148u);

  // Which is all a file needs, both ways.
  const testing::TemporaryFolder dir;
  const std::wstring plain = dir / L"ferrune-ephemeral.txt";
  ASSERT_TRUE(WriteBytes(plain, "kept in memory only"));
  const SecretBytes password = SecretBytes::FromText("password");
  Win32FileSystem files;
  EXPECT_EQ(EncryptFileWithProvider(ctx.handle(), files, plain, password, {}), Outcome::Success);
  DeleteFileW(plain.c_str());
  EXPECT_EQ(DecryptFileWithProvider(ctx.handle(), files, plain + L".zrv", password, {}), Outcome::Success);
  EXPECT_TRUE(GetFileAttributesW(plain.c_str()) != INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace ferrune
