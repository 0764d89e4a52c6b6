// What the signature gives away. A file made directly with provider calls the
// way files were first written opens without its password by raising its
// signature to the public exponent; files the program writes do not. Those
// old files still decrypt with their password.
#include <gtest/gtest.h>

#include "core/le_bytes.h"
#include "platform/win32/file_crypt.h"
#include "tests/platform/win32/win_support.h"

namespace ferrune::testing {
namespace {

// Little-endian 32-bit limbs; just enough for one RSA public operation.
using Number = std::vector<std::uint32_t>;

Number FromLe(const Bytes& bytes) {
  Number n((bytes.size() + 3) / 4, 0);
  for (std::size_t i = 0; i < bytes.size(); ++i) n[i / 4] |= std::uint32_t{bytes[i]} << (8 * (i % 4));
  return n;
}

bool AtLeast(const Number& a, const Number& b) {
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] > b[i];
  }
  return true;
}

void Subtract(Number& a, const Number& b) {
  std::int64_t borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::int64_t d = std::int64_t{a[i]} - b[i] - borrow;
    borrow = d < 0;
    a[i] = static_cast<std::uint32_t>(d + (borrow << 32));
  }
}

// a * b mod m by multiplying, then reducing bit by bit from the top.
Number MulMod(const Number& a, const Number& b, const Number& m) {
  const std::size_t n = m.size();
  std::vector<std::uint64_t> wide(2 * n, 0);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < n; ++j) {
      const std::uint64_t t = std::uint64_t{a[i]} * b[j] + wide[i + j] + carry;
      wide[i + j] = t & 0xFFFFFFFFu;
      carry = t >> 32;
    }
    wide[i + n] = carry;
  }
  Number r(n + 1, 0);
  Number mm = m;
  mm.push_back(0);
  for (std::size_t bit = 64 * n; bit-- > 0;) {
    for (std::size_t i = n + 1; i-- > 1;) r[i] = r[i] << 1 | r[i - 1] >> 31;
    r[0] = r[0] << 1 | static_cast<std::uint32_t>(wide[bit / 32] >> (bit % 32) & 1);
    if (AtLeast(r, mm)) Subtract(r, mm);
  }
  r.pop_back();
  return r;
}

Number PowMod(Number base, std::uint32_t exponent, const Number& m) {
  Number result(m.size(), 0);
  result[0] = 1;
  for (; exponent; exponent >>= 1) {
    if (exponent & 1) result = MulMod(result, base, m);
    base = MulMod(base, base, m);
  }
  return result;
}

// The PKCS#1 block hidden in a file's signature, most significant byte first.
Bytes RecoverBlock(const Bytes& file) {
  const std::uint32_t k = LoadLe32(file.data() + 8);
  const std::uint32_t s = LoadLe32(file.data() + 12);
  const Bytes blob(file.begin() + 16, file.begin() + 16 + k);
  const std::uint32_t bits = LoadLe32(blob.data() + 12);
  const std::uint32_t exponent = LoadLe32(blob.data() + 16);
  const Number modulus = FromLe(Bytes(blob.begin() + 20, blob.begin() + 20 + bits / 8));
  const Number signature = FromLe(Bytes(file.begin() + 16 + k, file.begin() + 16 + k + s));
  const Number m = PowMod(signature, exponent, modulus);
  Bytes block(bits / 8);
  for (std::size_t i = 0; i < block.size(); ++i)
    block[block.size() - 1 - i] = static_cast<std::uint8_t>(m[i / 4] >> (8 * (i % 4)));
  return block;
}

// Tries to open a file without its password: the key from the signed digest.
bool OpensWithoutPassword(HCRYPTPROV prov, const Bytes& file, const Bytes& expectedPlain, Bytes* digest) {
  const Bytes block = RecoverBlock(file);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 3), (Bytes{0x00, 0x01, 0xFF})) << "not a PKCS#1 block";
  *digest = Bytes(block.end() - 20, block.end());
  CryptHash hash;
  CryptKey key;
  if (!CryptCreateHash(prov, CALG_SHA1, 0, 0, hash.put()) ||
      !CryptSetHashParam(hash.get(), HP_HASHVAL, digest->data(), 0) ||
      !CryptDeriveKey(prov, CALG_RC2, hash.get(), 0, key.put())) {
    ADD_FAILURE() << "cannot make the key: " << GetLastError();
    return false;
  }
  const std::uint32_t start = 16 + LoadLe32(file.data() + 8) + LoadLe32(file.data() + 12);
  Bytes data(file.begin() + start, file.end());
  DWORD length = static_cast<DWORD>(data.size());
  if (!CryptDecrypt(key.get(), 0, TRUE, 0, data.data(), &length)) return false;
  data.resize(length);
  return data == expectedPlain;
}

class Signature : public ::testing::Test {
 protected:
  EphemeralContext ctx;
  TemporaryFolder dir;
  const Bytes password{'s', 'e', 'c', 'r', 'e', 't'};
  const Bytes data = RandomBytes(70000, 11);
};

TEST_F(Signature, OldFilesOpenWithoutTheirPasswordButStillDecryptWithIt) {
  const Bytes old = MakeDirectly(ctx.get(), password, data, false);
  Bytes digest;
  EXPECT_TRUE(OpensWithoutPassword(ctx.get(), old, data, &digest)) << "the attack itself must work";
  EXPECT_EQ(digest, Sha1(ctx.get(), password));

  const std::wstring path = dir / L"old.bin.zrv";
  WriteBytes(path, old);
  ASSERT_EQ(Decrypt(ctx, path, "secret"), Outcome::Success);
  EXPECT_EQ(ReadBytes(dir / L"old.bin"), data);
  EXPECT_EQ(Decrypt(ctx, path, "Secret"), Outcome::WrongPassword);
}

TEST_F(Signature, FilesTheProgramWritesDoNotOpenWithoutTheirPassword) {
  const std::wstring plain = dir / L"new.bin";
  WriteBytes(plain, data);
  ASSERT_EQ(Encrypt(ctx, plain, "secret"), Outcome::Success);
  const Bytes file = ReadBytes(plain + L".zrv");
  Bytes digest;
  EXPECT_FALSE(OpensWithoutPassword(ctx.get(), file, data, &digest));
  const Bytes blob(file.begin() + 16, file.begin() + 164);
  EXPECT_EQ(digest, Sha1(ctx.get(), Concat({blob, Sha1(ctx.get(), password)}))) << "what the signature covers";
}

TEST_F(Signature, FilesMadeDirectlyTheWayTheProgramWritesThemDecrypt) {
  const std::wstring path = dir / L"direct.zrv";
  WriteBytes(path, MakeDirectly(ctx.get(), password, data, true));
  ASSERT_EQ(Decrypt(ctx, path, "secret"), Outcome::Success);
  EXPECT_EQ(ReadBytes(dir / L"direct"), data);
  EXPECT_EQ(Decrypt(ctx, path, "secreT"), Outcome::WrongPassword);
}

}  // namespace
}  // namespace ferrune::testing
