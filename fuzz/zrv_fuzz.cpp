// libFuzzer target over the reader and the decryption path, on the OpenSSL
// provider. The first byte picks what the rest of the input stands for:
//   0: a whole .zrv file, read and decrypted with the password "secret"
//   1: the ciphertext region of a file whose header, key blob and signature
//      are valid for "secret", so that decryption itself and the proof of
//      the output run past the signature check
//   2: the key blob of such a file (its parser and the verification)
//   3: a whole file decrypted by the stream to a file system in memory
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/decryption.h"
#include "core/format.h"
#include "core/stream_crypt.h"
#include "platform/openssl/openssl_provider.h"
#include "tests/core/memory_file_system.h"
#include "tests/support/signature_vector.h"

namespace {

using ferrune::Outcome;
using Bytes = std::vector<std::uint8_t>;

class BytesFile final : public ferrune::InputFile {
 public:
  explicit BytesFile(const Bytes& data) : data_(data) {}
  std::uint64_t Size() const override { return data_.size(); }
  ferrune::FileError ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) override {
    if (offset > data_.size() || length > data_.size() - offset) {
      return ferrune::FileError::Own(ferrune::OwnError::Shrank, ferrune::FileOp::Read);
    }
    if (length > 0) std::memcpy(buffer, data_.data() + offset, length);
    return {};
  }

 private:
  const Bytes& data_;
};

class CountingSink final : public ferrune::PlainSink {
 public:
  Outcome Begin() override { return Outcome::Success; }
  Outcome Put(const std::uint8_t*, std::size_t length) override {
    total += length;
    return Outcome::Success;
  }
  Outcome End() override { return Outcome::Success; }
  std::size_t total = 0;
};

Bytes FromHex(const char* hex) {
  Bytes out;
  for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    const char pair[3] = {hex[i], hex[i + 1], 0};
    out.push_back(static_cast<std::uint8_t>(std::strtoul(pair, nullptr, 16)));
  }
  return out;
}

struct Fixture {
  std::unique_ptr<ferrune::OpenSslProvider> provider;
  ferrune::SecretBytes password = ferrune::SecretBytes::FromText(ferrune::vectors::kFixedKeyPassword);
  Bytes blob = FromHex(ferrune::vectors::kFixedKeyBlob);
  Bytes signature = FromHex(ferrune::vectors::kFixedKeySignature);

  Fixture() {
    std::string error;
    provider = ferrune::OpenSslProvider::Create(&error);
    if (!provider) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::abort();
    }
  }

  Bytes File(const Bytes& keyBlob, const Bytes& ciphertext) const {
    const auto header = ferrune::format::MakeHeader(static_cast<std::uint32_t>(keyBlob.size()),
                                                    static_cast<std::uint32_t>(signature.size()));
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), keyBlob.begin(), keyBlob.end());
    file.insert(file.end(), signature.begin(), signature.end());
    file.insert(file.end(), ciphertext.begin(), ciphertext.end());
    return file;
  }

  Outcome Decrypt(const Bytes& file) {
    BytesFile source(file);
    CountingSink sink;
    const Outcome outcome = ferrune::DecryptInto(*provider, password, source, sink, nullptr, 64);
    // Never more plain bytes than ciphertext.
    if (sink.total > file.size()) std::abort();
    return outcome;
  }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Fixture& f = TheFixture();
  const Bytes rest(data + 1, data + size);
  switch (data[0] % 4) {
    case 0: f.Decrypt(rest); break;
    case 1: {
      const Outcome outcome = f.Decrypt(f.File(f.blob, rest));
      // The signature is valid: only the ciphertext can be wrong.
      if (outcome == Outcome::WrongPassword) std::abort();
      break;
    }
    case 2: f.Decrypt(f.File(rest, Bytes(8, 0))); break;
    case 3: {
      ferrune::testing::MemoryFileSystem files;
      files.Put(L"in.zrv", rest);
      const Outcome outcome = ferrune::DecryptStream(*f.provider, files, L"in.zrv", L"out", f.password, {}, {64});
      // Output only on success, and never a temporary file left.
      const auto names = files.Names();
      if (names.size() != (outcome == Outcome::Success ? 2u : 1u)) std::abort();
      break;
    }
  }
  return 0;
}
