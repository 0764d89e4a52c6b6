// The shared container core over the OpenSSL provider and real POSIX files:
// round trips, the file's shape, old files, the key that the signature must
// not give away, and what the POSIX file system does on the way.
#include <dirent.h>
#include <fcntl.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "core/format.h"
#include "core/le_bytes.h"
#include "core/stream_crypt.h"
#include "platform/openssl/openssl_provider.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_file_system.h"
#include "tests/platform/posix/posix_support.h"

namespace ferrune::testing {
namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

std::wstring Wide(const std::string& path) { return FromNativePath(path); }

class PosixStream : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    provider_ = OpenSslProvider::Create(&error);
    ASSERT_TRUE(provider_) << error;
  }
  Outcome Encrypt(const std::string& plain, const std::string& encrypted, const char* password = "pässwörd") {
    return EncryptStream(*provider_, fs_, Wide(plain), Wide(encrypted), SecretBytes::FromText(password), {});
  }
  Outcome Decrypt(const std::string& encrypted, const std::string& plain, const char* password = "pässwörd") {
    return DecryptStream(*provider_, fs_, Wide(encrypted), Wide(plain), SecretBytes::FromText(password), {});
  }

  std::unique_ptr<OpenSslProvider> provider_;
  PosixFileSystem fs_;
  TemporaryFolder dir_;
};

TEST_F(PosixStream, RoundTripsAtTheEdgesOfBlocksAndChunks) {
  const std::string plain = dir_ / "report.txt";
  const std::string encrypted = dir_ / "report.txt.zrv";
  const std::string back = dir_ / "back.txt";
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9},
                                 kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 12345}) {
    SCOPED_TRACE(size);
    const Bytes data = RandomBytes(size, static_cast<std::uint32_t>(size));
    WriteFile(plain, data);
    ASSERT_EQ(Encrypt(plain, encrypted), Outcome::Success);
    EXPECT_EQ(ReadFile(encrypted).size(), 16 + 148 + 128 + format::CiphertextLength(size));
    ASSERT_EQ(Decrypt(encrypted, back), Outcome::Success);
    EXPECT_EQ(ReadFile(back), data);
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"back.txt", "report.txt", "report.txt.zrv"}));
    ::unlink(encrypted.c_str());
    ::unlink(back.c_str());
  }
}

// The ciphertext region is what one RC2-CBC pass with OpenSSL's own EVP
// calls gives, key = SHA1(password)[0..15], zero IV, PKCS#5 padding.
Bytes ReferenceCiphertext(const Bytes& password, const Bytes& plain) {
  unsigned char digest[20];
  unsigned int digestSize = 0;
  EVP_Digest(password.data(), password.size(), digest, &digestSize, EVP_sha1(), nullptr);
  OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
  OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(ctx, "legacy");
  EVP_CIPHER* rc2 = EVP_CIPHER_fetch(ctx, "RC2-CBC", nullptr);
  EVP_CIPHER_CTX* c = EVP_CIPHER_CTX_new();
  const unsigned char iv[8] = {};
  Bytes out(plain.size() + 8);
  int n1 = 0, n2 = 0;
  EVP_EncryptInit_ex2(c, rc2, digest, iv, nullptr);
  EVP_EncryptUpdate(c, out.data(), &n1, plain.data(), static_cast<int>(plain.size()));
  EVP_EncryptFinal_ex(c, out.data() + n1, &n2);
  out.resize(static_cast<std::size_t>(n1 + n2));
  EVP_CIPHER_CTX_free(c);
  EVP_CIPHER_free(rc2);
  OSSL_PROVIDER_unload(legacy);
  OSSL_LIB_CTX_free(ctx);
  return out;
}

TEST_F(PosixStream, HasTheFormatsShapeAndTheReferenceCiphertext) {
  const Bytes data = RandomBytes(kChunk + 77, 5);
  WriteFile(dir_ / "a", data);
  ASSERT_EQ(Encrypt(dir_ / "a", dir_ / "a.zrv", "secret"), Outcome::Success);
  const Bytes file = ReadFile(dir_ / "a.zrv");
  ASSERT_GT(file.size(), 292u);
  EXPECT_EQ(ToHex(Bytes(file.begin(), file.begin() + 16)),
            "5a5256303130303194000000"
            "80000000");
  EXPECT_EQ(ToHex(Bytes(file.begin() + 16, file.begin() + 36)), "0602000000240000525341310004000001000100");
  EXPECT_EQ(Bytes(file.begin() + 292, file.end()), ReferenceCiphertext(TextBytes("secret"), data));
}

// What the signature would give away: raise it to the public exponent with
// the key beside it and take the last 20 bytes as the password hash.
Bytes RecoveredDigest(const Bytes& file) {
  const std::uint32_t k = LoadLe32(file.data() + 8);
  const std::uint32_t s = LoadLe32(file.data() + 12);
  const Bytes blob(file.begin() + 16, file.begin() + 16 + k);
  Bytes signature(file.begin() + 16 + k, file.begin() + 16 + k + s);
  std::reverse(signature.begin(), signature.end());
  Bytes modulus(blob.begin() + 20, blob.end());
  std::reverse(modulus.begin(), modulus.end());
  BIGNUM* n = BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr);
  BIGNUM* e = BN_new();
  BN_set_word(e, LoadLe32(blob.data() + 16));
  BIGNUM* sig = BN_bin2bn(signature.data(), static_cast<int>(signature.size()), nullptr);
  BIGNUM* m = BN_new();
  BN_CTX* bn = BN_CTX_new();
  BN_mod_exp(m, sig, e, n, bn);
  Bytes block(s);
  BN_bn2binpad(m, block.data(), static_cast<int>(block.size()));
  for (BIGNUM* x : {n, e, sig, m}) BN_free(x);
  BN_CTX_free(bn);
  return Bytes(block.end() - 20, block.end());
}

TEST_F(PosixStream, TheSignatureGivesNoKeyAwayButOldFilesStillOpen) {
  const Bytes data = TextBytes("a secret plan that must stay secret");
  const Bytes password = TextBytes("pässwörd");
  WriteFile(dir_ / "plan", data);
  ASSERT_EQ(Encrypt(dir_ / "plan", dir_ / "plan.zrv"), Outcome::Success);
  const Bytes file = ReadFile(dir_ / "plan.zrv");
  const Bytes recovered = RecoveredDigest(file);
  auto passwordHash = provider_->Hash({password});
  SecretBytes passwordValue;
  ASSERT_TRUE(provider_->HashValue(*passwordHash, &passwordValue));
  EXPECT_NE(recovered, Bytes(passwordValue.data(), passwordValue.data() + 20));

  // A file the first way, made with provider calls and no container code:
  // the signature over the password hash itself.
  std::vector<std::uint8_t> blob, signature;
  ASSERT_TRUE(provider_->ExportSignaturePublicKey(&blob));
  ASSERT_TRUE(provider_->Sign(*passwordHash, &signature));
  Bytes old(16);
  std::copy(format::kMagic.begin(), format::kMagic.end(), old.begin());
  StoreLe32(old.data() + 8, static_cast<std::uint32_t>(blob.size()));
  StoreLe32(old.data() + 12, static_cast<std::uint32_t>(signature.size()));
  old.insert(old.end(), blob.begin(), blob.end());
  old.insert(old.end(), signature.begin(), signature.end());
  const Bytes cipher = ReferenceCiphertext(password, data);
  old.insert(old.end(), cipher.begin(), cipher.end());
  WriteFile(dir_ / "old.zrv", old);
  // Which is exactly what that attack opens.
  EXPECT_EQ(RecoveredDigest(old), Bytes(passwordValue.data(), passwordValue.data() + 20));
  ASSERT_EQ(Decrypt(dir_ / "old.zrv", dir_ / "old"), Outcome::Success);
  EXPECT_EQ(ReadFile(dir_ / "old"), data);
  EXPECT_EQ(Decrypt(dir_ / "old.zrv", dir_ / "old2", "wrong"), Outcome::WrongPassword);
  EXPECT_FALSE(Exists(dir_ / "old2"));
}

TEST_F(PosixStream, OutputsAreNewFilesWithTheInputsPermissionsAndFailuresLeaveNothing) {
  const Bytes data = RandomBytes(5000, 1);
  WriteFile(dir_ / "in", data);
  ::chmod((dir_ / "in").c_str(), 0640);
  ::umask(0);
  const Outcome outcome = Encrypt(dir_ / "in", dir_ / "in.zrv");
  ::umask(022);
  ASSERT_EQ(outcome, Outcome::Success);
  struct stat st {};
  ASSERT_EQ(::stat((dir_ / "in.zrv").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the input's bits whatever the umask";

  // A wrong password and a damaged file write nothing; what stood there stays.
  WriteFile(dir_ / "out", TextBytes("keep me"));
  EXPECT_EQ(Decrypt(dir_ / "in.zrv", dir_ / "out", "wrong"), Outcome::WrongPassword);
  Bytes cut = ReadFile(dir_ / "in.zrv");
  cut.resize(cut.size() - 8);
  WriteFile(dir_ / "cut.zrv", cut);
  EXPECT_EQ(Decrypt(dir_ / "cut.zrv", dir_ / "out"), Outcome::Damaged);
  EXPECT_EQ(ReadFile(dir_ / "out"), TextBytes("keep me"));
  // Nothing standing under the output name is replaced, a folder no more than a file.
  ASSERT_EQ(::mkdir((dir_ / "folder").c_str(), 0700), 0);
  EXPECT_EQ(Decrypt(dir_ / "in.zrv", dir_ / "folder"), Outcome::OutputChanged);
  EXPECT_EQ(Encrypt(dir_ / "in", dir_ / "missing/in.zrv"), Outcome::CannotWrite);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"cut.zrv", "folder", "in", "in.zrv", "out"}));
}

TEST_F(PosixStream, OnlyRegularFilesAreReadAndAFifoDoesNotHang) {
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((dir_ / "sub").c_str(), 0700), 0);
  EXPECT_EQ(Encrypt(dir_ / "fifo", dir_ / "fifo.zrv"), Outcome::CannotRead);
  EXPECT_EQ(Encrypt(dir_ / "sub", dir_ / "sub.zrv"), Outcome::CannotRead);
  EXPECT_EQ(Encrypt(dir_ / "none", dir_ / "none.zrv"), Outcome::CannotRead);
  EXPECT_EQ(Decrypt(dir_ / "fifo", dir_ / "x"), Outcome::CannotRead);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"fifo", "sub"}));
}

TEST_F(PosixStream, NamesThatAreNotUtf8RoundTrip) {
  const std::string name = "caf\xe9 \xff\xfe.txt";  // Latin-1 bytes, no valid UTF-8
  const std::wstring wide = FromNativePath((dir_ / name).native());
  EXPECT_EQ(ToNativePath(wide), dir_ / name);
  EXPECT_EQ(ToNativePath(FromNativePath("gr\xc3\xbc\xc3\x9f")), "gr\xc3\xbc\xc3\x9f");
  EXPECT_EQ(FromNativePath("gr\xc3\xbc"), L"gr\u00fc");
  // Overlong and surrogate forms are bytes, not characters.
  EXPECT_EQ(ToNativePath(FromNativePath("\xc0\xaf\xed\xa0\x80")), "\xc0\xaf\xed\xa0\x80");
  EXPECT_EQ(FromNativePath("\xc0\xaf").size(), 2u);
  WriteFile(dir_ / name, TextBytes("latin"));
  ASSERT_EQ(Encrypt(dir_ / name, dir_ / (name + ".zrv")), Outcome::Success);
  ASSERT_EQ(::unlink((dir_ / name).c_str()), 0);
  ASSERT_EQ(Decrypt(dir_ / (name + ".zrv"), dir_ / name), Outcome::Success);
  EXPECT_EQ(ReadFile(dir_ / name), TextBytes("latin"));
  // A name with a NUL in it would be another file.
  EXPECT_EQ(fs_.OpenRead(std::wstring(L"a\0b", 3)).file, nullptr);
}

TEST_F(PosixStream, AFullDiskLeavesNoTemporaryOrPartialFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const std::string full = dir_ / "full";
  ASSERT_EQ(::mkdir(full.c_str(), 0700), 0);
  if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
  }
  WriteFile(dir_ / "big", RandomBytes(1 << 20, 9));
  WriteFile(full + "/big.zrv", TextBytes("old"));
  const Outcome outcome = Encrypt(dir_ / "big", full + "/big.zrv");
  std::vector<std::string> names;
  DIR* d = ::opendir(full.c_str());
  while (const dirent* e = d ? ::readdir(d) : nullptr) {
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
  }
  if (d) ::closedir(d);
  const Bytes old = ReadFile(full + "/big.zrv");
  ::umount(full.c_str());
  EXPECT_EQ(outcome, Outcome::CannotWrite);
  EXPECT_EQ(names, std::vector<std::string>{"big.zrv"});
  EXPECT_EQ(old, TextBytes("old"));
}

}  // namespace
}  // namespace ferrune::testing
