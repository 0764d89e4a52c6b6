// Speed and memory of file encryption and decryption on the OpenSSL provider
// and POSIX files, beside the provider's raw RC2 speed, in one run. The
// counterpart of the Windows build's container_bench. Not a test.
//   openssl_bench [folder] [MiB ...]   (default: TMPDIR or /tmp, 64 and 1024)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "native_path.h"
#include "openssl_provider.h"
#include "posix_file_system.h"
#include "stream_crypt.h"

namespace {

using ferrune::Outcome;
using ferrune::SecretBytes;

constexpr double kMega = 1e6;

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

void Fill(std::vector<std::uint8_t>& buffer, std::uint64_t& state) {
  for (auto& b : buffer) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<std::uint8_t>(state);
  }
}

bool MakeFile(const std::string& path, std::uint64_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<std::uint8_t> buffer(1 << 20);
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (std::uint64_t done = 0; out && done < size; done += buffer.size()) {
    Fill(buffer, state);
    out.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
  }
  return static_cast<bool>(out);
}

struct RawSpeed {
  double encrypt = 0;
  double decrypt = 0;
};

// One final Encrypt and one final Decrypt over a buffer in memory.
RawSpeed MeasureRaw(ferrune::Provider& provider, std::size_t size) {
  RawSpeed speed;
  const std::uint8_t password[] = {'b', 'e', 'n', 'c', 'h'};
  auto hash = provider.Hash({ferrune::ByteView(password, sizeof password)});
  auto key = hash ? provider.DeriveKey(*hash) : nullptr;
  std::size_t cipherSize = 0;
  if (!key || !key->FinalChunkSize(size, &cipherSize)) return speed;
  std::vector<std::uint8_t> buffer(cipherSize);
  std::uint64_t state = 1;
  Fill(buffer, state);
  std::size_t length = 0;
  double start = Now();
  if (!key->Encrypt(buffer.data(), size, buffer.size(), true, &length)) return speed;
  speed.encrypt = static_cast<double>(size) / (Now() - start) / kMega;
  start = Now();
  if (!key->Decrypt(buffer.data(), length, true, &length)) return speed;
  speed.decrypt = static_cast<double>(size) / (Now() - start) / kMega;
  return speed;
}

double PeakRssMiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  std::vector<std::uint64_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10) << 20);
  if (sizes.empty()) sizes = {std::uint64_t{64} << 20, std::uint64_t{1024} << 20};

  std::string error;
  auto provider = ferrune::OpenSslProvider::Create(&error);
  if (!provider) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  ferrune::PosixFileSystem files;
  const SecretBytes password = SecretBytes::FromText("bench password");
  const std::string plain = folder + "/ferrune-bench-" + std::to_string(getpid()) + ".bin";
  const std::string encrypted = plain + ".zrv";

  std::vector<double> encryptSpeeds, decryptSpeeds;
  for (const std::uint64_t size : sizes) {
    if (!MakeFile(plain, size)) {
      std::fprintf(stderr, "cannot write the input file\n");
      return 1;
    }
    double start = Now();
    Outcome outcome = ferrune::EncryptStream(*provider, files, ferrune::FromNativePath(plain),
                                             ferrune::FromNativePath(encrypted), password, {});
    const double encryptSeconds = Now() - start;
    unlink(plain.c_str());
    if (outcome != Outcome::Success) {
      std::fprintf(stderr, "encryption: %s\n", std::string(ferrune::OutcomeName(outcome)).c_str());
      return 1;
    }
    start = Now();
    outcome = ferrune::DecryptStream(*provider, files, ferrune::FromNativePath(encrypted),
                                     ferrune::FromNativePath(plain), password, {});
    const double decryptSeconds = Now() - start;
    unlink(encrypted.c_str());
    unlink(plain.c_str());
    if (outcome != Outcome::Success) {
      std::fprintf(stderr, "decryption: %s\n", std::string(ferrune::OutcomeName(outcome)).c_str());
      return 1;
    }
    encryptSpeeds.push_back(static_cast<double>(size) / encryptSeconds / kMega);
    decryptSpeeds.push_back(static_cast<double>(size) / decryptSeconds / kMega);
  }
  // Read before the raw runs, whose buffer in memory is the whole size.
  const double filesPeak = PeakRssMiB();

  // The median of three, since one run on a shared machine is noisy.
  RawSpeed runs[3];
  for (RawSpeed& run : runs) run = MeasureRaw(*provider, std::size_t{64} << 20);
  const auto median = [&](double RawSpeed::*field) {
    double v[3] = {runs[0].*field, runs[1].*field, runs[2].*field};
    std::sort(v, v + 3);
    return v[1];
  };
  const RawSpeed raw{median(&RawSpeed::encrypt), median(&RawSpeed::decrypt)};
  std::printf("raw RC2, one call over 64 MiB in memory (median of 3): encrypt %.1f MB/s, decrypt %.1f MB/s\n",
              raw.encrypt, raw.decrypt);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    std::printf("%5llu MiB file: encrypt %.1f MB/s (%.0f%% of raw), decrypt %.1f MB/s (%.0f%% of raw)\n",
                static_cast<unsigned long long>(sizes[i] >> 20), encryptSpeeds[i], 100 * encryptSpeeds[i] / raw.encrypt,
                decryptSpeeds[i], 100 * decryptSpeeds[i] / raw.decrypt);
  }
  std::printf("peak memory over the file runs: max RSS %.1f MiB\n", filesPeak);
  return 0;
}
