// The streaming core over the fake provider and files in memory, with small
// chunks so that every boundary is cheap to reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "core/format.h"
#include "core/stream_crypt.h"
#include "tests/core/fake_provider.h"
#include "tests/core/memory_file_system.h"
#include "tests/core/stream_test_files.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {
namespace {

Bytes Concat(std::initializer_list<ByteView> parts) {
  Bytes all;
  for (const ByteView part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class StreamCore : public ::testing::Test {
 protected:
  Outcome Encrypt(const JobControl& control = {}) {
    return EncryptStream(provider, fs, kPlain, kEncrypted, password, control, {kChunk});
  }
  Outcome Decrypt(const JobControl& control = {}) {
    return DecryptStream(provider, fs, kEncrypted, kOut, password, control, {kChunk});
  }
  Bytes EncryptedImage(const Bytes& plain) {
    fs.Put(kPlain, plain);
    EXPECT_EQ(Encrypt(), Outcome::Success);
    return fs.Get(kEncrypted).value_or(Bytes{});
  }
  void ExpectOnly(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    EXPECT_EQ(fs.Names(), names);
  }

  FakeProvider provider;
  MemoryFileSystem fs;
  SecretBytes password = SecretBytes::FromText("secret");
};

TEST_F(StreamCore, RoundTripsAtEveryChunkBoundaryWithOneShotCiphertext) {
  const ByteView pw(password.data(), password.size());
  for (const std::size_t size : {0, 1, 7, 8, 9, 63, 64, 65, 127, 128, 129, 1000}) {
    fs.Reset();
    const Bytes plain = PrintableBytes(size, static_cast<unsigned>(size));
    const Bytes image = EncryptedImage(plain);
    const Bytes blob = FakeProvider::BlobFor(provider.pairId);
    const Bytes bound = FakeProvider::Digest(Concat({blob, FakeProvider::Digest(pw)}));
    const Bytes signature = FakeProvider::SignatureFor(provider.pairId, bound);
    const format::Header header = format::MakeHeader(12, 20);
    EXPECT_EQ(image, Concat({header, blob, signature, FakeProvider::EncryptWhole(pw, plain)})) << size;

    EXPECT_EQ(Decrypt(), Outcome::Success) << size;
    EXPECT_EQ(fs.Get(kOut), plain) << size;
    ExpectOnly({kPlain, kEncrypted, kOut});
  }
}

// Every chunk from a fresh duplicate of the key, started from the block
// before it, in any number of threads: the plain bytes come out in order.
TEST_F(StreamCore, ChunksDecryptedSideBySideComeOutWholeAndInOrder) {
  std::vector<std::size_t> sizes = {0, 1, 300 * kChunk + 5};
  for (const std::size_t boundary : {kChunk, 2 * kChunk, 3 * kChunk}) {
    for (const std::size_t below : {9, 8, 1}) sizes.push_back(boundary - below);
    for (const std::size_t above : {0, 1, 8}) sizes.push_back(boundary + above);
  }
  for (const unsigned threads : {1u, 2u, 3u}) {
    for (const std::size_t size : sizes) {
      fs.Reset();
      const Bytes plain = PrintableBytes(size, static_cast<unsigned>(size));
      fs.Put(kPlain, plain);
      ASSERT_EQ(Encrypt(), Outcome::Success);
      provider.duplicates = 0;
      ASSERT_EQ(DecryptStream(provider, fs, kEncrypted, kOut, password, {}, {kChunk, threads}), Outcome::Success);
      EXPECT_EQ(fs.Get(kOut), plain) << threads << " threads, " << size;
      const std::uint64_t chunks = (format::CiphertextLength(size) + kChunk - 1) / kChunk;
      EXPECT_EQ(provider.duplicates.load(), static_cast<int>(chunks)) << size;
    }
  }
}

TEST_F(StreamCore, NoTransferExceedsAChunkWhateverTheFileSize) {
  fs.Put(kPlain, PrintableBytes(20000));
  ASSERT_EQ(Encrypt(), Outcome::Success);
  ASSERT_EQ(Decrypt(), Outcome::Success);
  EXPECT_EQ(fs.Get(kOut), PrintableBytes(20000));
  EXPECT_LE(fs.largestTransfer.load(), kChunk + format::kBlockSize);
}

TEST_F(StreamCore, ProgressClimbsToTheTotal) {
  fs.Put(kPlain, PrintableBytes(1000));
  for (const bool encrypt : {true, false}) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
    JobControl control;
    control.progress = [&](std::uint64_t done, std::uint64_t total) { seen.emplace_back(done, total); };
    ASSERT_EQ(encrypt ? Encrypt(control) : Decrypt(control), Outcome::Success);
    const std::uint64_t total = encrypt ? 1000 : format::CiphertextLength(1000);
    ASSERT_EQ(seen.size(), (total + kChunk - 1) / kChunk) << encrypt;
    for (std::size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].second, total);
      EXPECT_EQ(seen[i].first, std::min<std::uint64_t>(total, (i + 1) * kChunk));
    }
  }
}

TEST_F(StreamCore, CancelLeavesNoOutputAndAnExistingFileUntouched) {
  const Bytes image = EncryptedImage(PrintableBytes(1000));
  fs.Put(kOut, Bytes{'o', 'l', 'd'});
  std::atomic<bool> cancel{false};
  JobControl control{&cancel, [&](std::uint64_t done, std::uint64_t) { cancel = done >= 2 * kChunk; }};

  EXPECT_EQ(Decrypt(control), Outcome::Cancelled);
  EXPECT_EQ(fs.Get(kOut), (Bytes{'o', 'l', 'd'}));
  cancel = false;
  EXPECT_EQ(Encrypt(control), Outcome::Cancelled);
  EXPECT_EQ(fs.Get(kEncrypted), image);
  ExpectOnly({kPlain, kEncrypted, kOut});

  cancel = true;  // before the work starts
  EXPECT_EQ(Encrypt(control), Outcome::Cancelled);
  EXPECT_EQ(Decrypt(control), Outcome::Cancelled);
  ExpectOnly({kPlain, kEncrypted, kOut});

  // After the last chunk, while the flush and the proof still run.
  control.progress = [&](std::uint64_t done, std::uint64_t total) { cancel = done == total; };
  cancel = false;
  EXPECT_EQ(Encrypt(control), Outcome::Cancelled);
  cancel = false;
  EXPECT_EQ(Decrypt(control), Outcome::Cancelled);
  EXPECT_EQ(fs.Get(kEncrypted), image);
  EXPECT_EQ(fs.Get(kOut), (Bytes{'o', 'l', 'd'}));
  ExpectOnly({kPlain, kEncrypted, kOut});
}

TEST_F(StreamCore, WriteFailuresRemoveTheTemporaryFileAndKeepTheOldOutput) {
  const Bytes image = EncryptedImage(PrintableBytes(1000));
  const Bytes old = {'o', 'l', 'd'};
  fs.Put(kOut, old);
  struct Fault {
    const char* name;
    std::uint64_t writeAt;
    bool flush;
    bool commit;
    bool readBack = false;  // a read error: what is on the disk cannot be known
  };
  for (const Fault& f :
       {Fault{"inside the header", 5, false, false}, Fault{"half-way", 500, false, false},
        Fault{"flush", MemoryFileSystem::kNever, true, false}, Fault{"rename", MemoryFileSystem::kNever, false, true},
        Fault{"read back", MemoryFileSystem::kNever, false, false, true}}) {
    fs.failWriteAt = f.writeAt;
    fs.failFlushAfter = f.flush ? 0 : -1;
    fs.failCommit = f.commit;
    fs.failReadBack = f.readBack;
    EXPECT_EQ(Encrypt(), Outcome::CannotWrite) << f.name;
    EXPECT_EQ(Decrypt(), Outcome::CannotWrite) << f.name;
    EXPECT_EQ(fs.Get(kEncrypted), image) << f.name;
    EXPECT_EQ(fs.Get(kOut), old) << f.name;
    ExpectOnly({kPlain, kEncrypted, kOut});
  }
  fs.failWriteAt = MemoryFileSystem::kNever;
  fs.failFlushAfter = -1;
  fs.failCommit = fs.failReadBack = false;
  fs.failCreate = true;
  EXPECT_EQ(Encrypt(), Outcome::CannotWrite);
  EXPECT_EQ(Decrypt(), Outcome::CannotWrite);
  EXPECT_EQ(DecryptStream(provider, fs, kEncrypted, L"", password, {}, {kChunk}), Outcome::CannotWrite);
  ExpectOnly({kPlain, kEncrypted, kOut});
}

// Only a job that asked the user replaces a file; a stream alone never does.
TEST_F(StreamCore, AStreamAloneReplacesNothing) {
  const Bytes image = EncryptedImage(PrintableBytes(300));
  EXPECT_EQ(image.size(), 16u + 12 + 20 + 304);
  fs.Put(kOut, Bytes{'o', 'l', 'd'});
  EXPECT_EQ(Decrypt(), Outcome::OutputChanged);
  EXPECT_EQ(Encrypt(), Outcome::OutputChanged);
  EXPECT_EQ(fs.Get(kOut), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(fs.Get(kEncrypted), image);
  ExpectOnly({kPlain, kEncrypted, kOut});
}

TEST_F(StreamCore, ThroughACacheTheEncryptionsProofReadsOnlyWhatAFlushCovered) {
  fs.readsThroughCache = true;
  EncryptedImage(PrintableBytes(5000));
  EXPECT_EQ(fs.readsBeforeFlush, 0);
  EXPECT_EQ(Decrypt(), Outcome::Success);
  EXPECT_EQ(fs.Get(kOut), PrintableBytes(5000));
}

TEST_F(StreamCore, AProofThatDoesNotMatchFailsAndKeepsNothing) {
  const Bytes image = EncryptedImage(PrintableBytes(1000));
  // Header length, key blob, signature, first, middle and last ciphertext bytes.
  for (const std::uint64_t at : {9, 20, 40, 48, 500, static_cast<int>(image.size()) - 1}) {
    fs.corruptReadBackAt = at;
    fs.Put(kEncrypted, image);
    EXPECT_EQ(Encrypt(), Outcome::Failed) << at;
    EXPECT_EQ(fs.Get(kEncrypted), image) << at;
    if (at < 1000) {
      EXPECT_EQ(Decrypt(), Outcome::Failed) << at;
      EXPECT_FALSE(fs.Get(kOut).has_value()) << at;
    }
    ExpectOnly({kPlain, kEncrypted});
  }
}

// A disk that gave one wrong byte, kept by the cache: the proof reads the input
// again past the cache and the job fails rather than keep what was misread.
TEST_F(StreamCore, AReadThatWentWrongOnceIsCaughtInBothDirections) {
  const Bytes plain = PrintableBytes(1000);
  const Bytes image = EncryptedImage(plain);
  const std::uint64_t cipherStart = image.size() - format::CiphertextLength(plain.size());
  struct Row {
    bool encrypting;
    std::uint64_t at;
  } const rows[] = {{true, 0},
                    {true, 500},
                    {true, 999},
                    {false, cipherStart},
                    {false, cipherStart + 517},
                    {false, cipherStart + 900}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.at) + (row.encrypting ? " encrypting" : " decrypting"));
    fs.Put(kEncrypted, image);
    fs.wrongInputByteAt = row.at;
    EXPECT_EQ(row.encrypting ? Encrypt() : Decrypt(), row.encrypting ? Outcome::Failed : Outcome::CannotRead);
    fs.wrongInputByteAt = MemoryFileSystem::kNever;
    EXPECT_EQ(fs.Get(kEncrypted), image);
    ExpectOnly({kPlain, kEncrypted});
  }
}

// What the output takes from its input, given before it has its name; an
// output that cannot take it (its mark of the web) is no output.
TEST_F(StreamCore, TheOutputTakesItsInputsDatesAttributesAndMark) {
  FileMetadata marked;
  marked.permissions = 0640;
  marked.writeTime = FileTime{1557126489, 5};
  marked.creationTime = FileTime{1557000000, 0};
  marked.attributes = 1;
  marked.zoneMark = "[ZoneTransfer]\r\nZoneId=3\r\n";
  const Bytes image = EncryptedImage(PrintableBytes(700));
  struct Row {
    bool encrypting;
    bool failStamp;
  } const rows[] = {{true, false}, {false, false}, {true, true}, {false, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.encrypting ? "encrypting" : "decrypting") + (row.failStamp ? ", refused" : ""));
    fs.Reset();
    fs.Put(kPlain, PrintableBytes(700));
    fs.Put(kEncrypted, image);
    const std::wstring input = row.encrypting ? kPlain : kEncrypted, output = row.encrypting ? kEncrypted : kOut;
    if (row.encrypting) fs.Remove(kEncrypted);
    fs.metadata[input] = marked;
    fs.failStamp = row.failStamp;
    EXPECT_EQ(row.encrypting ? Encrypt() : Decrypt(), row.failStamp ? Outcome::CannotWrite : Outcome::Success);
    EXPECT_EQ(fs.Get(output).has_value(), !row.failStamp);
    if (!row.failStamp) {
      EXPECT_EQ(fs.metadata[output], marked);
    }
    std::vector<std::wstring> left = {kPlain};
    if (!row.encrypting || !row.failStamp) left.push_back(kEncrypted);
    if (!row.encrypting && !row.failStamp) left.push_back(kOut);
    ExpectOnly(left);
  }
}

TEST_F(StreamCore, RefusedFilesWriteNothing) {
  const Bytes image = EncryptedImage(PrintableBytes(1000));
  const auto with = [&](auto change) {
    Bytes copy = image;
    change(copy);
    return copy;
  };
  struct Case {
    const char* name;
    Bytes file;
    Outcome expected;
    bool signatureVerifies;  // then a temporary file existed for a while
  };
  const Case cases[] = {
      {"ten bytes", Bytes(image.begin(), image.begin() + 10), Outcome::Damaged, false},
      {"cut inside the key blob", Bytes(image.begin(), image.begin() + 20), Outcome::Damaged, false},
      {"cut inside the signature", Bytes(image.begin(), image.begin() + 40), Outcome::Damaged, false},
      {"no ciphertext", Bytes(image.begin(), image.begin() + 48), Outcome::Damaged, false},
      {"ragged ciphertext", Bytes(image.begin(), image.end() - 3), Outcome::Damaged, false},
      {"K of 2^31", with([](Bytes& b) { b[11] = 0x80; }), Outcome::Damaged, false},
      {"blob that does not import", with([](Bytes& b) { b[16] ^= 1; }), Outcome::WrongPassword, false},
      {"other signature", with([](Bytes& b) { b[30] ^= 1; }), Outcome::WrongPassword, false},
      {"cut at a block boundary", Bytes(image.begin(), image.end() - 8), Outcome::Damaged, true},
      {"bad padding", with([](Bytes& b) { b.back() ^= 0x40; }), Outcome::Damaged, true},
  };
  for (const Case& c : cases) {
    fs.Reset();
    fs.Put(kEncrypted, c.file);
    fs.Put(kOut, Bytes{'o', 'l', 'd'});
    EXPECT_EQ(Decrypt(), c.expected) << c.name;
    EXPECT_EQ(fs.tempsCreated.load(), c.signatureVerifies ? 1 : 0) << c.name;
    EXPECT_EQ(fs.Get(kOut), (Bytes{'o', 'l', 'd'})) << c.name;
    EXPECT_EQ(fs.Get(kEncrypted), c.file) << c.name;
    ExpectOnly({kEncrypted, kOut});
  }

  fs.Reset();
  fs.Put(kEncrypted, image);
  password = SecretBytes::FromText("Secret");
  provider.duplicates = 0;
  EXPECT_EQ(Decrypt(), Outcome::WrongPassword);
  EXPECT_EQ(fs.tempsCreated.load(), 0);
  EXPECT_EQ(provider.duplicates.load(), 0);  // not one chunk decrypted
}

// No provider makes a key blob or signature that large: the file is damaged,
// whatever the password.
TEST_F(StreamCore, OversizedRegionsAreDamagedAndRefusedWithoutReadingThem) {
  for (const auto& [keyBlob, signature] : {std::pair{70000u, 0u}, std::pair{12u, 70000u}}) {
    Bytes file(format::kHeaderSize + keyBlob + signature + 8);
    const format::Header header = format::MakeHeader(keyBlob, signature);
    std::copy(header.begin(), header.end(), file.begin());
    fs.Put(kEncrypted, file);
    EXPECT_EQ(Decrypt(), Outcome::Damaged) << keyBlob;
    EXPECT_LE(fs.largestTransfer.load(), format::kHeaderSize) << keyBlob;
  }
}

TEST_F(StreamCore, OldFilesSignedOverThePasswordHashStillOpenAndOtherMagicIsIgnored) {
  const ByteView pw(password.data(), password.size());
  const Bytes plain = PrintableBytes(200);
  const Bytes blob = FakeProvider::BlobFor(99);
  const Bytes oldSignature = FakeProvider::SignatureFor(99, FakeProvider::Digest(pw));
  format::Header header = format::MakeHeader(12, 20);
  std::copy_n("ANYTHING", 8, header.begin());
  fs.Put(kEncrypted, Concat({header, blob, oldSignature, FakeProvider::EncryptWhole(pw, plain)}));
  ASSERT_EQ(Decrypt(), Outcome::Success);
  EXPECT_EQ(fs.Get(kOut), plain);
}

TEST_F(StreamCore, ProviderFailuresFailWithoutOutput) {
  fs.Put(kPlain, PrintableBytes(1000));
  provider.emptySignature = true;
  EXPECT_EQ(Encrypt(), Outcome::Failed);
  EXPECT_EQ(fs.tempsCreated.load(), 0);
  provider.emptySignature = false;
  provider.failExport = true;
  EXPECT_EQ(Encrypt(), Outcome::Failed);
  provider.failExport = false;
  provider.encryptCalls = 0;
  provider.failEncryptCall = 5;
  EXPECT_EQ(Encrypt(), Outcome::Failed);
  ExpectOnly({kPlain});
}

TEST_F(StreamCore, UnreadableInputsAreCannotRead) {
  const Bytes image = EncryptedImage(PrintableBytes(1000));
  fs.locked = {kPlain, kEncrypted};
  EXPECT_EQ(Encrypt(), Outcome::CannotRead);
  EXPECT_EQ(Decrypt(), Outcome::CannotRead);
  fs.locked.clear();
  fs.failInputReadAt = 700;
  EXPECT_EQ(Encrypt(), Outcome::CannotRead);
  EXPECT_EQ(Decrypt(), Outcome::CannotRead);
  EXPECT_EQ(fs.Get(kEncrypted), image);
  ExpectOnly({kPlain, kEncrypted});
}

}  // namespace
}  // namespace ferrune::testing
