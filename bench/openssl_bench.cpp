// Speed, memory and cancel of file encryption and decryption on the OpenSSL
// provider and POSIX files, beside the cipher's raw speed, in one run. The
// counterpart of the Windows build's container_bench. Not a test.
//   openssl_bench [folder] [MiB ...]   (default: TMPDIR or /tmp, 64 and 1024)
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "core/stream_crypt.h"
#include "platform/openssl/openssl_provider.h"
#include "platform/posix/native_path.h"
#include "platform/posix/posix_file_system.h"

namespace {

using ferrune::Outcome;
using ferrune::SecretBytes;
using namespace ferrune::bench;

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

// In a child process, so that its buffers never count as the file runs' peak.
RawSpeed RawInChild(ferrune::Provider& provider) {
  int ends[2];
  RawSpeed speed;
  if (pipe(ends) != 0) return speed;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    const RawSpeed raw =
        MeasureRaw(provider, kRawSize, ferrune::StreamOptions{}.chunkSize, ferrune::DecryptThreadsHere());
    char text[128];
    const int n = std::snprintf(text, sizeof text, "%f %f %f\n", raw.encrypt, raw.decrypt, raw.decryptCores);
    if (write(ends[1], text, static_cast<std::size_t>(n)) != n) _exit(1);
    _exit(0);
  }
  close(ends[1]);
  std::string text;
  char buffer[128];
  for (ssize_t got; child > 0 && (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  close(ends[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  std::sscanf(text.c_str(), "%lf %lf %lf", &speed.encrypt, &speed.decrypt, &speed.decryptCores);
  return speed;
}

double PeakRssMiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

int EntriesIn(const std::string& folder) {
  int count = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
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
  // A folder of its own, so that anything a cancel leaves is seen.
  const std::string folder = base + "/ferrune-bench-" + std::to_string(getpid());
  if (mkdir(folder.c_str(), 0700) != 0) {
    std::fprintf(stderr, "cannot make %s\n", folder.c_str());
    return 1;
  }
  const std::string plain = folder + "/file.bin";
  const std::string encrypted = plain + ".zrv";
  BenchPlatform platform;
  platform.encrypt = [&](const ferrune::JobControl& c) {
    return ferrune::EncryptStream(*provider, files, ferrune::FromNativePath(plain), ferrune::FromNativePath(encrypted),
                                  password, c);
  };
  platform.decrypt = [&](const ferrune::JobControl& c) {
    return ferrune::DecryptStream(*provider, files, ferrune::FromNativePath(encrypted), ferrune::FromNativePath(plain),
                                  password, c);
  };
  platform.make = [&](std::uint64_t size) { return MakeFile(plain, size); };
  platform.removePlain = [&] { unlink(plain.c_str()); };
  platform.removeEncrypted = [&] { unlink(encrypted.c_str()); };
  platform.entries = [&] { return EntriesIn(folder); };
  platform.peakMiB = PeakRssMiB;
  platform.raw = [&] { return RawInChild(*provider); };
  platform.removeFolder = [&] { rmdir(folder.c_str()); };
  platform.provider = "openssl";
  platform.peakMemory = "max RSS";
  return RunSizes(platform, sizes, ferrune::DecryptThreadsHere());
}
