// Failures while writing, under Wine: through a seam over the real file
// system, on a read-only mount and on a small tmpfs that fills up. Each must
// leave no temporary or partial file and keep what stood under the name.
#include <gtest/gtest.h>

#include <atomic>

#include "core/stream_crypt.h"
#include "platform/win32/cryptoapi_provider.h"
#include "platform/win32/file_crypt.h"
#include "platform/win32/win32_file_system.h"
#include "tests/platform/win32/win_support.h"

namespace ferrune::testing {
namespace {

// The real file system, except that temporary files fail a write that reaches
// `failAt` (after writing what lies before it) or read back one flipped byte.
class FaultyFileSystem final : public StreamFiles {
 public:
  std::uint64_t failAt = UINT64_MAX;
  std::uint64_t flipAt = UINT64_MAX;

  Opened<InputFile> OpenRead(const std::wstring& path) override { return real_.OpenRead(path); }
  Opened<TempFile> CreateTemp(const std::wstring& finalPath) override {
    Opened<TempFile> inner = real_.CreateTemp(finalPath);
    if (inner.file) inner.file = std::make_unique<Faulty>(std::move(inner.file), *this);
    return inner;
  }

 private:
  struct Faulty final : TempFile {
    Faulty(std::unique_ptr<TempFile> file, FaultyFileSystem& owner) : inner(std::move(file)), fs(owner) {}
    FileError WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) override {
      if (offset + length <= fs.failAt) return inner->WriteAt(offset, data, length);
      if (offset < fs.failAt) (void)inner->WriteAt(offset, data, static_cast<std::size_t>(fs.failAt - offset));
      return FileError::Win32(ERROR_DISK_FULL, FileOp::Write);
    }
    FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
      if (const FileError read = inner->ReadAt(offset, buffer, length); !read.ok()) return read;
      if (fs.flipAt >= offset && fs.flipAt - offset < length) buffer[fs.flipAt - offset] ^= 0x80;
      return {};
    }
    FileError Flush() override { return inner->Flush(); }
    bool ReadsPastCache() const override { return inner->ReadsPastCache(); }
    FileError Stamp(const FileMetadata& from) override { return inner->Stamp(from); }
    FileError Identity(FileIdentity* now) override { return inner->Identity(now); }
    Committed Commit(const std::wstring& finalPath, const Replacing& replacing) override {
      return inner->Commit(finalPath, replacing);
    }
    std::unique_ptr<TempFile> inner;
    FaultyFileSystem& fs;
  };
  Win32FileSystem real_;
};

class WriteFailure : public ::testing::Test {
 protected:
  Outcome EncryptVia(StreamFiles& files) { return EncryptStream(provider, files, plain, encrypted, password, {}); }
  Outcome DecryptVia(StreamFiles& files) { return DecryptStream(provider, files, encrypted, plain, password, {}); }

  EphemeralContext ctx;
  CryptoApiProvider provider{ctx.get()};
  TestFolder dir;
  const std::wstring plain = dir / L"data.bin";
  const std::wstring encrypted = dir / L"data.bin.zrv";
  const SecretBytes password = SecretBytes::FromText("secret");
  const Bytes data = RandomBytes(3 * 1024 * 1024 + 5, 3);
};

TEST_F(WriteFailure, HalfWayThroughLeavesNothingAndKeepsTheOldFile) {
  const Bytes old = {'o', 'l', 'd'};
  WriteBytes(plain, data);
  WriteBytes(encrypted, old);
  FaultyFileSystem files;
  for (const std::uint64_t at : {std::uint64_t{10}, std::uint64_t{1536} * 1024}) {
    files.failAt = at;
    EXPECT_EQ(EncryptVia(files), Outcome::CannotWrite) << at;
    EXPECT_EQ(ReadBytes(encrypted), old) << at;
    EXPECT_EQ(dir.Names(), (std::vector<std::wstring>{L"data.bin", L"data.bin.zrv"})) << at;
  }
  files.failAt = UINT64_MAX;
  ASSERT_TRUE(DeleteFileW(encrypted.c_str()));
  ASSERT_EQ(EncryptVia(files), Outcome::Success);
  files.failAt = 2 * 1024 * 1024;
  EXPECT_EQ(DecryptVia(files), Outcome::CannotWrite);
  EXPECT_EQ(ReadBytes(plain), data);
  EXPECT_EQ(dir.Names(), (std::vector<std::wstring>{L"data.bin", L"data.bin.zrv"}));
}

TEST_F(WriteFailure, AReadBackThatDiffersIsAFailedProof) {
  WriteBytes(plain, data);
  FaultyFileSystem files;
  files.flipAt = 1024 * 1024 + 3;
  EXPECT_EQ(EncryptVia(files), Outcome::Failed);
  EXPECT_EQ(dir.Names(), (std::vector<std::wstring>{L"data.bin"}));
  files.flipAt = UINT64_MAX;
  ASSERT_EQ(EncryptVia(files), Outcome::Success);
  const Bytes file = ReadBytes(encrypted);
  ASSERT_TRUE(DeleteFileW(plain.c_str()));
  files.flipAt = data.size() - 1;
  EXPECT_EQ(DecryptVia(files), Outcome::Failed);
  EXPECT_EQ(dir.Names(), (std::vector<std::wstring>{L"data.bin.zrv"}));
  EXPECT_EQ(ReadBytes(encrypted), file);
}

TEST_F(WriteFailure, CancelStopsBetweenChunksAndLeavesNothing) {
  WriteBytes(plain, data);
  std::atomic<bool> cancel{false};
  JobControl control{&cancel, [&](std::uint64_t done, std::uint64_t) { cancel = done >= 1024 * 1024; }};
  Win32FileSystem real;
  EXPECT_EQ(EncryptFileWithProvider(ctx.id(), real, plain, password, control), Outcome::Cancelled);
  EXPECT_EQ(dir.Names(), (std::vector<std::wstring>{L"data.bin"}));
}

std::wstring FromEnvironment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(name, buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : std::wstring();
}

// Set up by the test fixture as root: a read-only bind mount of a folder that
// holds a marker file, and a 2 MiB tmpfs.
TEST(Mounted, AFolderWhereNothingCanBeCreatedIsCannotWrite) {
  const std::wstring readOnly = FromEnvironment(L"FERRUNE_RO_DIR");
  const std::wstring source = FromEnvironment(L"FERRUNE_RO_SOURCE");
  if (readOnly.empty() || !Exists(readOnly + L"\\mounted")) {
    GTEST_SKIP() << "no read-only mount (needs root and mount --bind); not tested here";
  }
  EphemeralContext ctx;
  TestFolder writable(source);
  const Bytes data = PrintableBytes(100000);
  WriteBytes(source + L"\\in.txt", data);
  ASSERT_EQ(Encrypt(ctx, source + L"\\in.txt", "secret"), Outcome::Success);
  ASSERT_TRUE(DeleteFileW((source + L"\\in.txt").c_str()));
  const auto before = TestFolder(readOnly).Names();
  EXPECT_EQ(Decrypt(ctx, readOnly + L"\\in.txt.zrv", "secret"), Outcome::CannotWrite);
  WriteBytes(source + L"\\in.txt", data);
  EXPECT_EQ(Encrypt(ctx, readOnly + L"\\in.txt", "secret"), Outcome::CannotWrite);
  EXPECT_EQ(TestFolder(readOnly).Names(), (std::vector<std::wstring>{L"in.txt", L"in.txt.zrv", L"mounted"}));
  EXPECT_EQ(ReadBytes(readOnly + L"\\in.txt"), data);
  writable.Clear();
  WriteBytes(source + L"\\mounted", {});
}

TEST(Mounted, AFullDiskIsCannotWriteWithNothingLeft) {
  const std::wstring small = FromEnvironment(L"FERRUNE_FULL_DIR");
  if (small.empty() || !Exists(small + L"\\mounted")) {
    GTEST_SKIP() << "no small tmpfs (needs root and mount -t tmpfs); not tested here";
  }
  EphemeralContext ctx;
  TestFolder elsewhere;
  TestFolder full(small);
  const Bytes data = RandomBytes(1200 * 1024, 9);
  WriteBytes(elsewhere / L"big.bin", data);
  ASSERT_EQ(Encrypt(ctx, elsewhere / L"big.bin", "secret"), Outcome::Success);
  const Bytes file = ReadBytes(elsewhere / L"big.bin.zrv");

  WriteBytes(full / L"big.bin", data);
  EXPECT_EQ(Encrypt(ctx, full / L"big.bin", "secret"), Outcome::CannotWrite);
  EXPECT_EQ(full.Names(), (std::vector<std::wstring>{L"big.bin", L"mounted"}));
  ASSERT_TRUE(DeleteFileW((full / L"big.bin").c_str()));

  WriteBytes(full / L"big.bin.zrv", file);
  EXPECT_EQ(Decrypt(ctx, full / L"big.bin.zrv", "secret"), Outcome::CannotWrite);
  EXPECT_EQ(full.Names(), (std::vector<std::wstring>{L"big.bin.zrv", L"mounted"}));
  EXPECT_EQ(ReadBytes(full / L"big.bin.zrv"), file);
  ASSERT_TRUE(DeleteFileW((full / L"big.bin.zrv").c_str()));
}

}  // namespace
}  // namespace ferrune::testing
