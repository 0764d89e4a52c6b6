// A stream of 4 GiB and 1 byte through encryption and decryption, proofs
// included, over files that store nothing: offsets past 2^32 everywhere.
#include <gtest/gtest.h>

#include "core/stream_crypt.h"
#include "tests/core/fake_provider.h"
#include "tests/core/generated_file_system.h"

namespace ferrune::testing {
namespace {

TEST(LargeStream, FourGibibytesAndOneByteGoThereAndBackWithTheirProofs) {
  const std::uint64_t size = (std::uint64_t{1} << 32) + 1;
  const SecretBytes password = SecretBytes::FromText("large");
  FakeProvider provider;
  GeneratedFileSystem fs(L"big.bin", size, ByteView(password.data(), password.size()));
  std::uint64_t lastDone = 0;
  std::uint64_t lastTotal = 0;
  JobControl control;
  control.progress = [&](std::uint64_t done, std::uint64_t total) {
    lastDone = done;
    lastTotal = total;
  };

  ASSERT_EQ(EncryptStream(provider, fs, L"big.bin", L"big.bin.zrv", password, control), Outcome::Success);
  EXPECT_EQ(lastDone, size);
  EXPECT_EQ(lastTotal, size);
  ASSERT_EQ(DecryptStream(provider, fs, L"big.bin.zrv", L"big.bin", password, control), Outcome::Success);
  EXPECT_EQ(lastDone, fs.ImageSize(true) - 48);
  EXPECT_FALSE(fs.mismatch.load());
  // Flushed behind the writer as it grew, not only at the end.
  EXPECT_GE(fs.flushes.load(), 16);
  const std::map<std::wstring, std::uint64_t> expected = {{L"big.bin", size}, {L"big.bin.zrv", fs.ImageSize(true)}};
  EXPECT_EQ(fs.Committed(), expected);
}

}  // namespace
}  // namespace ferrune::testing
