// Speed and memory of file encryption and decryption beside the provider's
// raw RC2 speed, in one run. Not a test: run it by hand under Wine.
//   container_bench.exe [folder] [MiB ...]   (default: the temp folder, 64 and 1024)
#include <windows.h>
// after windows.h
#include <psapi.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "crypt_handles.h"
#include "file_crypt.h"

namespace {

using ferrune::CryptHash;
using ferrune::CryptKey;
using ferrune::CryptProv;
using ferrune::Outcome;
using ferrune::SecretBytes;

constexpr double kMega = 1e6;

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Fill(std::vector<std::uint8_t>& buffer, std::uint64_t& state) {
  for (auto& b : buffer) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<std::uint8_t>(state);
  }
}

bool MakeFile(const std::wstring& path, std::uint64_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::vector<std::uint8_t> buffer(1 << 20);
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  bool ok = true;
  for (std::uint64_t done = 0; ok && done < size; done += buffer.size()) {
    Fill(buffer, state);
    DWORD put = 0;
    ok = WriteFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &put, nullptr) && put == buffer.size();
  }
  CloseHandle(file);
  return ok;
}

struct RawSpeed {
  double encrypt = 0;
  double decrypt = 0;
};

// One CryptEncrypt and one CryptDecrypt over a buffer in memory.
RawSpeed MeasureRaw(HCRYPTPROV prov, std::size_t size) {
  RawSpeed speed;
  CryptHash hash;
  CryptKey key;
  const BYTE password[] = {'b', 'e', 'n', 'c', 'h'};
  if (!CryptCreateHash(prov, CALG_SHA1, 0, 0, hash.put()) || !CryptHashData(hash.get(), password, 5, 0) ||
      !CryptDeriveKey(prov, CALG_RC2, hash.get(), 0, key.put())) {
    return speed;
  }
  std::vector<std::uint8_t> buffer(size + 8);
  std::uint64_t state = 1;
  Fill(buffer, state);
  DWORD length = static_cast<DWORD>(size);
  double start = Now();
  if (!CryptEncrypt(key.get(), 0, TRUE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size()))) return speed;
  speed.encrypt = static_cast<double>(size) / (Now() - start) / kMega;
  start = Now();
  if (!CryptDecrypt(key.get(), 0, TRUE, 0, buffer.data(), &length)) return speed;
  speed.decrypt = static_cast<double>(size) / (Now() - start) / kMega;
  return speed;
}

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

double MiB(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring folder;
  if (argc > 1) {
    folder = argv[1];
  } else {
    wchar_t temp[MAX_PATH];
    folder.assign(temp, GetTempPathW(MAX_PATH, temp));
  }
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  std::vector<std::uint64_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::wcstoull(argv[i], nullptr, 10) << 20);
  if (sizes.empty()) sizes = {std::uint64_t{64} << 20, std::uint64_t{1024} << 20};

  CryptProv prov;
  CryptKey pair;
  if (!CryptAcquireContextW(prov.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
      !CryptGenKey(prov.get(), AT_SIGNATURE, CRYPT_EXPORTABLE, pair.put())) {
    std::fprintf(stderr, "no provider context\n");
    return 1;
  }
  pair.reset();
  const auto id = static_cast<std::uintptr_t>(prov.get());
  const SecretBytes password = SecretBytes::FromText("bench password");

  std::vector<double> encryptSpeeds, decryptSpeeds;
  for (const std::uint64_t size : sizes) {
    const std::wstring plain = folder + L"ferrune-bench.bin";
    if (!MakeFile(plain, size)) {
      std::fprintf(stderr, "cannot write the input file\n");
      return 1;
    }
    double start = Now();
    Outcome outcome = ferrune::EncryptFileWithProvider(id, plain, password, {});
    const double encryptSeconds = Now() - start;
    DeleteFileW(plain.c_str());
    if (outcome != Outcome::Success) {
      std::fprintf(stderr, "encryption: %s\n", std::string(ferrune::OutcomeName(outcome)).c_str());
      return 1;
    }
    start = Now();
    outcome = ferrune::DecryptFileWithProvider(id, plain + L".zrv", password, {});
    const double decryptSeconds = Now() - start;
    DeleteFileW((plain + L".zrv").c_str());
    DeleteFileW(plain.c_str());
    if (outcome != Outcome::Success) {
      std::fprintf(stderr, "decryption: %s\n", std::string(ferrune::OutcomeName(outcome)).c_str());
      return 1;
    }
    encryptSpeeds.push_back(static_cast<double>(size) / encryptSeconds / kMega);
    decryptSpeeds.push_back(static_cast<double>(size) / decryptSeconds / kMega);
  }
  // Read before the raw runs, whose buffer in memory is the whole size.
  const PROCESS_MEMORY_COUNTERS files = Memory();

  // The median of three, since one run on a shared machine is noisy.
  RawSpeed runs[3];
  for (RawSpeed& run : runs) run = MeasureRaw(prov.get(), std::size_t{64} << 20);
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
  std::printf("peak memory over the file runs: working set %.1f MiB, pagefile %.1f MiB\n",
              MiB(files.PeakWorkingSetSize), MiB(files.PeakPagefileUsage));
  return 0;
}
