// Whole files through the window's entry points and the real provider.
#include "platform/win32/file_crypt.h"

#include <gtest/gtest.h>

#include "core/format.h"
#include "core/le_bytes.h"
#include "platform/win32/win32_file_system.h"
#include "tests/platform/win32/win_support.h"
#include "tests/support/rc2_vectors.h"

namespace ferrune::testing {
namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

class FileCrypt : public ::testing::Test {
 protected:
  EphemeralContext ctx;
  TemporaryFolder dir;
  const std::wstring plain = dir / L"report.txt";
  const std::wstring encrypted = dir / L"report.txt.zrv";
};

TEST_F(FileCrypt, RoundTripsAtTheEdgesOfBlocksAndChunks) {
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9},
                                 kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 12345}) {
    const Bytes data = RandomBytes(size, static_cast<std::uint32_t>(size));
    WriteBytes(plain, data);
    ASSERT_EQ(Encrypt(ctx, plain, "pässwörd"), Outcome::Success) << size;
    EXPECT_EQ(ReadBytes(plain), data) << "the input is never changed";
    ASSERT_TRUE(DeleteFileW(plain.c_str()));
    ASSERT_EQ(Decrypt(ctx, encrypted, "pässwörd"), Outcome::Success) << size;
    EXPECT_EQ(ReadBytes(plain), data) << size;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"report.txt", "report.txt.zrv"})) << size;
    ASSERT_TRUE(DeleteFileW(encrypted.c_str()));
  }
}

TEST_F(FileCrypt, HasTheFormatsShapeAndOneShotCiphertext) {
  const Bytes data = RandomBytes(kChunk + 77, 5);
  WriteBytes(plain, data);
  ASSERT_EQ(Encrypt(ctx, plain, "secret"), Outcome::Success);
  const Bytes file = ReadBytes(encrypted);
  ASSERT_GT(file.size(), 292u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 16), FromHex("5A52563031303031"
                                                            "94000000"
                                                            "80000000"));
  // PUBLICKEYBLOB of the AT_SIGNATURE pair, RSA1, 1024 bits, e = 65537.
  EXPECT_EQ(Bytes(file.begin() + 16, file.begin() + 36), FromHex("0602000000240000525341310004000001000100"));
  const Bytes ciphertext(file.begin() + 292, file.end());
  EXPECT_EQ(ciphertext, EncryptOnce(ctx.get(), {'s', 'e', 'c', 'r', 'e', 't'}, data));
}

TEST_F(FileCrypt, KnownAnswersFromTheProvider) {
  for (const vectors::Rc2Vector& v : vectors::kRc2) {
    WriteBytes(plain, FromHex(v.plain));
    ASSERT_EQ(Encrypt(ctx, plain, v.password), Outcome::Success) << v.password;
    const Bytes file = ReadBytes(encrypted);
    EXPECT_EQ(Bytes(file.begin() + 292, file.end()), FromHex(v.cipher)) << v.password;
    ASSERT_TRUE(DeleteFileW(encrypted.c_str()));
  }
}

TEST_F(FileCrypt, OtherMagicDecrypts) {
  const Bytes data = PrintableBytes(5000);
  WriteBytes(plain, data);
  ASSERT_EQ(Encrypt(ctx, plain, "secret"), Outcome::Success);
  Bytes file = ReadBytes(encrypted);
  std::copy_n("NOTMAGIC", 8, file.begin());
  const std::wstring other = dir / L"copy.bin";
  WriteBytes(other, file);
  ASSERT_EQ(Decrypt(ctx, other, "secret"), Outcome::Success);
  EXPECT_EQ(ReadBytes(dir / L"copy"), data);
}

TEST_F(FileCrypt, RefusedFilesWriteNothingAndStayAsTheyWere) {
  const Bytes data = PrintableBytes(3000);
  WriteBytes(plain, data);
  ASSERT_EQ(Encrypt(ctx, plain, "secret"), Outcome::Success);
  const Bytes good = ReadBytes(encrypted);
  const auto changed = [&](std::size_t at, std::uint8_t value) {
    Bytes copy = good;
    copy[at] = value;
    return copy;
  };
  const auto first = [&](std::size_t n) { return Bytes(good.begin(), good.begin() + n); };
  const auto lengths = [&](std::uint32_t k, std::uint32_t s) {
    Bytes copy = good;
    StoreLe32(copy.data() + 8, k);
    StoreLe32(copy.data() + 12, s);
    return copy;
  };
  struct Case {
    const char* name;
    Bytes file;
    Outcome expected;
  };
  const Case cases[] = {
      {"ten bytes", first(10), Outcome::Damaged},
      {"K of 2^31", changed(11, 0x80), Outcome::Damaged},
      {"S of 2^31", changed(15, 0x80), Outcome::Damaged},
      {"cut in the key blob", first(100), Outcome::Damaged},
      {"cut in the signature", first(200), Outcome::Damaged},
      {"no ciphertext", first(292), Outcome::Damaged},
      {"cut off by three", first(good.size() - 3), Outcome::Damaged},
      {"cut at a block boundary", first(good.size() - 8), Outcome::Damaged},
      {"cut at a block boundary, further", first(good.size() - 1024), Outcome::Damaged},
      {"last block damaged", changed(good.size() - 1, good.back() ^ 0x5A), Outcome::Damaged},
      {"no key blob", lengths(0, 148 + 128), Outcome::WrongPassword},
      {"no signature", lengths(148 + 128, 0), Outcome::WrongPassword},
      {"blob not importable", changed(16, 0x07), Outcome::WrongPassword},
      {"signature damaged", changed(200, good[200] ^ 1), Outcome::WrongPassword},
  };
  const std::wstring input = dir / L"data.zrv";
  const std::wstring output = dir / L"data";
  for (const Case& c : cases) {
    dir.Clear();
    WriteBytes(input, c.file);
    EXPECT_EQ(Decrypt(ctx, input, "secret"), c.expected) << c.name;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"data.zrv"})) << c.name;
    EXPECT_EQ(ReadBytes(input), c.file) << c.name;
  }
}

TEST_F(FileCrypt, WrongPasswordWritesNothingAfterASuccess) {
  WriteBytes(plain, PrintableBytes(100));
  ASSERT_EQ(Encrypt(ctx, plain, "secret"), Outcome::Success);
  ASSERT_TRUE(DeleteFileW(plain.c_str()));
  ASSERT_EQ(Decrypt(ctx, encrypted, "secret"), Outcome::Success);
  ASSERT_TRUE(DeleteFileW(plain.c_str()));
  for (const char* wrong : {"Secret", "", "secret ", "secre"}) {
    EXPECT_EQ(Decrypt(ctx, encrypted, wrong), Outcome::WrongPassword) << wrong;
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"report.txt.zrv"}));
}

// Only a job that asked the user replaces a file; a stream alone never does.
TEST_F(FileCrypt, AnExistingOutputIsNeverReplacedByAStream) {
  const Bytes old = {'o', 'l', 'd'};
  const Bytes data = PrintableBytes(2000);
  WriteBytes(plain, data);
  WriteBytes(encrypted, old);
  EXPECT_EQ(Encrypt(ctx, plain, "secret"), Outcome::OutputChanged);
  EXPECT_EQ(ReadBytes(encrypted), old);
  ASSERT_TRUE(DeleteFileW(encrypted.c_str()));
  ASSERT_EQ(Encrypt(ctx, plain, "secret"), Outcome::Success);
  const Bytes file = ReadBytes(encrypted);
  EXPECT_EQ(file.size(), 292u + 2008);

  WriteBytes(plain, old);
  EXPECT_EQ(Decrypt(ctx, encrypted, "wrong"), Outcome::WrongPassword);
  EXPECT_EQ(ReadBytes(plain), old);
  WriteBytes(encrypted, Bytes(file.begin(), file.end() - 8));
  EXPECT_EQ(Decrypt(ctx, encrypted, "secret"), Outcome::Damaged);
  EXPECT_EQ(ReadBytes(plain), old);
  WriteBytes(encrypted, file);
  EXPECT_EQ(Decrypt(ctx, encrypted, "secret"), Outcome::OutputChanged);
  EXPECT_EQ(ReadBytes(plain), old);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"report.txt", "report.txt.zrv"}));
}

TEST_F(FileCrypt, AnInputOthersHoldFailsAsCannotRead) {
  const Bytes data = PrintableBytes(500);
  WriteBytes(plain, data);
  struct Holder {
    const char* name;
    DWORD access;
    DWORD share;
  };
  for (const Holder& h : {Holder{"denies reading", GENERIC_READ, 0},
                          Holder{"open for writing", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
    HANDLE held = CreateFileW(plain.c_str(), h.access, h.share, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << h.name;
    EXPECT_EQ(Encrypt(ctx, plain, "secret"), Outcome::CannotRead) << h.name;
    CloseHandle(held);
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"report.txt"})) << h.name;
  }
  ASSERT_EQ(Encrypt(ctx, plain, "secret"), Outcome::Success);
  HANDLE held = CreateFileW(encrypted.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(DeleteFileW(plain.c_str()));
  EXPECT_EQ(Decrypt(ctx, encrypted, "secret"), Outcome::CannotRead);
  CloseHandle(held);
  EXPECT_EQ(Decrypt(ctx, dir / L"missing.zrv", "secret"), Outcome::CannotRead);
  EXPECT_EQ(Decrypt(ctx, L"a.b", "secret"), Outcome::CannotWrite) << "no output name";
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"report.txt.zrv"}));
}

TEST_F(FileCrypt, FreshSignaturePairsGiveOtherBlobsAndBothFilesDecrypt) {
  // The program's start-up renews the pair in its container; this container is the tests' own.
  const char* kContainer = "Ferrune Test Container";
  const Bytes data = PrintableBytes(4000);
  Bytes files[2];
  for (Bytes& file : files) {
    CryptProv prov;
    ASSERT_TRUE(CryptAcquireContextA(prov.put(), kContainer, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET) ||
                CryptAcquireContextA(prov.put(), kContainer, nullptr, PROV_RSA_FULL, 0));
    CryptKey pair;
    ASSERT_TRUE(CryptGenKey(prov.get(), AT_SIGNATURE, CRYPT_EXPORTABLE, pair.put()));
    pair.reset();
    WriteBytes(plain, data);
    Win32FileSystem fs;
    ASSERT_EQ(EncryptFileWithProvider(prov.get(), fs, plain, SecretBytes::FromText("secret"), {}), Outcome::Success);
    file = ReadBytes(encrypted);
    ASSERT_TRUE(DeleteFileW(encrypted.c_str()));
  }
  ASSERT_EQ(files[0].size(), files[1].size());
  const auto region = [](const Bytes& f, std::size_t from, std::size_t to) {
    return Bytes(f.begin() + static_cast<std::ptrdiff_t>(from), f.begin() + static_cast<std::ptrdiff_t>(to));
  };
  EXPECT_NE(region(files[0], 16, 164), region(files[1], 16, 164)) << "key blobs";
  EXPECT_NE(region(files[0], 164, 292), region(files[1], 164, 292)) << "signatures";
  EXPECT_EQ(region(files[0], 292, files[0].size()), region(files[1], 292, files[1].size())) << "ciphertext";
  for (const Bytes& file : files) {
    WriteBytes(encrypted, file);
    ASSERT_TRUE(DeleteFileW(plain.c_str()));
    ASSERT_EQ(Decrypt(ctx, encrypted, "secret"), Outcome::Success);
    EXPECT_EQ(ReadBytes(plain), data);
  }
}

}  // namespace
}  // namespace ferrune::testing
