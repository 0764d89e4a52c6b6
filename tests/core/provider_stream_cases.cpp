// The streaming core over a real provider and files in memory: chunks
// decrypted side by side give the bytes of one call, and refused files write
// nothing. Built into each platform's test program, which gives the provider.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "core/format.h"
#include "core/stream_crypt.h"
#include "tests/core/memory_file_system.h"
#include "tests/core/provider_stream_cases.h"
#include "tests/core/stream_test_files.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {
namespace {

class ProviderStream : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(provider); }

  Outcome Encrypt(const StreamOptions& options) {
    return EncryptStream(*provider, fs, kPlain, kEncrypted, password, {}, options);
  }
  Outcome Decrypt(const StreamOptions& options, const JobControl& control = {}) {
    return DecryptStream(*provider, fs, kEncrypted, kOut, password, control, options);
  }
  // One final call of the provider over the whole of `data`.
  Bytes OneCall(bool encrypt, Bytes data) {
    auto hash = provider->Hash({ByteView(password.data(), password.size())});
    auto key = hash ? provider->DeriveKey(*hash) : nullptr;
    std::size_t length = data.size();
    if (!key) return {};
    if (encrypt) {
      const std::size_t plainLength = data.size();
      data.resize(static_cast<std::size_t>(format::CiphertextLength(plainLength)));
      if (!key->Encrypt(data.data(), plainLength, data.size(), true, &length)) return {};
    } else if (!key->Decrypt(data.data(), data.size(), true, &length)) {
      return {};
    }
    data.resize(length);
    return data;
  }

  std::unique_ptr<Provider> provider = NewProviderUnderTest();
  MemoryFileSystem fs;
  SecretBytes password = SecretBytes::FromText("side by side");
};

TEST_F(ProviderStream, ChunksDecryptedSideBySideGiveTheBytesOfOneCall) {
  struct Run {
    std::size_t size;
    StreamOptions options;
  };
  std::vector<Run> runs;
  for (const unsigned threads : {2u, 3u}) {
    for (const std::size_t boundary : {kChunk, 2 * kChunk, 5 * kChunk}) {
      for (const std::size_t size : {boundary - 9, boundary - 8, boundary - 1, boundary, boundary + 1, boundary + 8}) {
        runs.push_back({size, {kChunk, threads}});
      }
    }
    runs.push_back({0, {kChunk, threads}});
    runs.push_back({400 * kChunk + 3, {kChunk, threads}});  // many chunks
  }
  runs.push_back({(std::size_t{3} << 20) + 5, {}});  // the product's own chunks
  for (const Run& run : runs) {
    fs.Reset();
    const Bytes plain = PrintableBytes(run.size);
    fs.Put(kPlain, plain);
    ASSERT_EQ(Encrypt(run.options), Outcome::Success) << run.size;
    const Bytes image = fs.Get(kEncrypted).value_or(Bytes{});
    const auto cipherLength = static_cast<std::ptrdiff_t>(format::CiphertextLength(run.size));
    ASSERT_GE(image.size(), static_cast<std::size_t>(cipherLength));
    const Bytes cipher(image.end() - cipherLength, image.end());
    EXPECT_EQ(cipher, OneCall(true, plain)) << run.size;
    EXPECT_EQ(OneCall(false, cipher), plain) << run.size;

    ASSERT_EQ(Decrypt(run.options), Outcome::Success) << run.options.decryptThreads << " threads, " << run.size;
    EXPECT_EQ(fs.Get(kOut), plain) << run.options.decryptThreads << " threads, " << run.size;
  }
}

TEST_F(ProviderStream, DamagedCutWrongPasswordAndCancelWriteNothing) {
  const StreamOptions options{kChunk, 2};
  fs.Put(kPlain, PrintableBytes(100 * kChunk + 5));
  ASSERT_EQ(Encrypt(options), Outcome::Success);
  const Bytes image = fs.Get(kEncrypted).value_or(Bytes{});
  const Bytes old = {'o', 'l', 'd'};
  const auto cut = [&](std::size_t less) {
    return Bytes(image.begin(), image.end() - static_cast<std::ptrdiff_t>(less));
  };
  Bytes damaged = image;
  damaged.back() ^= 0x40;

  struct Case {
    const char* name;
    Bytes file;
    const char* password;
    Outcome expected;
  };
  const Case cases[] = {
      {"damaged last block", damaged, "side by side", Outcome::Damaged},
      {"cut at a block boundary", cut(8), "side by side", Outcome::Damaged},
      {"cut by many chunks", cut(40 * kChunk), "side by side", Outcome::Damaged},
      {"cut inside a block", cut(3), "side by side", Outcome::Damaged},
      {"wrong password", image, "side by sidE", Outcome::WrongPassword},
  };
  for (const Case& c : cases) {
    fs.Reset();
    fs.Put(kEncrypted, c.file);
    fs.Put(kOut, old);
    password = SecretBytes::FromText(c.password);
    EXPECT_EQ(Decrypt(options), c.expected) << c.name;
    EXPECT_EQ(fs.Get(kOut), old) << c.name;
    EXPECT_EQ(fs.Names(), (std::vector<std::wstring>{kOut, kEncrypted})) << c.name;  // sorted
  }

  fs.Reset();
  fs.Put(kEncrypted, image);
  password = SecretBytes::FromText("side by side");
  std::atomic<bool> cancel{false};
  JobControl control;
  control.cancel = &cancel;
  control.progress = [&](std::uint64_t done, std::uint64_t total) { cancel = cancel || done * 2 >= total; };
  EXPECT_EQ(Decrypt(options, control), Outcome::Cancelled);
  EXPECT_EQ(fs.Names(), std::vector<std::wstring>{kEncrypted});
}

}  // namespace
}  // namespace ferrune::testing
