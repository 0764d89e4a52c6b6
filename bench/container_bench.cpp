// Speed and memory of file encryption and decryption beside the provider's
// raw RC2 speed, in one run. Not a test: run it by hand under Wine.
//   container_bench.exe [folder] [MiB ...]   (default: the temp folder, 64 and 1024)
// Prints MB/s (10^6 bytes) per direction beside the provider's raw speed.
#include <windows.h>
// after windows.h
#include <psapi.h>
#include <wincrypt.h>

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

// The raw speed is measured in a child process (this program with --raw),
// so that its buffer of the whole size never counts as the file runs' peak
// memory, and it can be taken right before and after each file run.
RawSpeed RawInChild() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --raw";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  RawSpeed speed;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return speed;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
  CloseHandle(writeEnd);
  std::string text;
  char buffer[256];
  DWORD got = 0;
  while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
  CloseHandle(readEnd);
  if (!started) return speed;
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  std::sscanf(text.c_str(), "%lf %lf", &speed.encrypt, &speed.decrypt);
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

int RunRaw() {
  CryptProv prov;
  if (!CryptAcquireContextW(prov.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return 1;
  const RawSpeed raw = MeasureRaw(prov.get(), std::size_t{64} << 20);
  std::printf("%f %f\n", raw.encrypt, raw.decrypt);
  return raw.encrypt > 0 && raw.decrypt > 0 ? 0 : 1;
}

struct Run {
  std::uint64_t size = 0;
  RawSpeed raw;  // the mean of one measurement before and one after
  double encrypt = 0, decrypt = 0;
  double encryptTail = 0, decryptTail = 0;  // seconds from the last chunk to the end: flush, proof, rename
};

// Seconds from the progress reaching the total to the call's return.
template <typename Call>
double Timed(Call call, double* tail, Outcome* outcome) {
  double lastChunk = 0;
  ferrune::JobControl control;
  control.progress = [&](std::uint64_t done, std::uint64_t total) {
    if (done == total) lastChunk = Now();
  };
  const double start = Now();
  *outcome = call(control);
  const double end = Now();
  *tail = end - lastChunk;
  return end - start;
}

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wstring(argv[1]) == L"--raw") return RunRaw();
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

  std::vector<Run> runs;
  for (const std::uint64_t size : sizes) {
    Run run;
    run.size = size;
    const RawSpeed before = RawInChild();
    const std::wstring plain = folder + L"ferrune-bench.bin";
    const std::wstring encrypted = plain + L".zrv";
    if (!MakeFile(plain, size)) {
      std::fprintf(stderr, "cannot write the input file\n");
      return 1;
    }
    Outcome outcome;
    const double encryptSeconds =
        Timed([&](const ferrune::JobControl& c) { return ferrune::EncryptFileWithProvider(id, plain, password, c); },
              &run.encryptTail, &outcome);
    DeleteFileW(plain.c_str());
    if (outcome != Outcome::Success) {
      std::fprintf(stderr, "encryption: %s\n", std::string(ferrune::OutcomeName(outcome)).c_str());
      return 1;
    }
    const double decryptSeconds = Timed(
        [&](const ferrune::JobControl& c) { return ferrune::DecryptFileWithProvider(id, encrypted, password, c); },
        &run.decryptTail, &outcome);
    DeleteFileW(encrypted.c_str());
    DeleteFileW(plain.c_str());
    if (outcome != Outcome::Success) {
      std::fprintf(stderr, "decryption: %s\n", std::string(ferrune::OutcomeName(outcome)).c_str());
      return 1;
    }
    const RawSpeed after = RawInChild();
    run.raw = {(before.encrypt + after.encrypt) / 2, (before.decrypt + after.decrypt) / 2};
    run.encrypt = static_cast<double>(size) / encryptSeconds / kMega;
    run.decrypt = static_cast<double>(size) / decryptSeconds / kMega;
    runs.push_back(run);
  }
  const PROCESS_MEMORY_COUNTERS memory = Memory();

  for (const Run& r : runs) {
    std::printf(
        "%5llu MiB: encrypt %.1f MB/s = %.0f%% of raw %.1f MB/s (last %.2f s flush+proof+rename); "
        "decrypt %.1f MB/s = %.0f%% of raw %.1f MB/s (last %.2f s)\n",
        static_cast<unsigned long long>(r.size >> 20), r.encrypt, 100 * r.encrypt / r.raw.encrypt, r.raw.encrypt,
        r.encryptTail, r.decrypt, 100 * r.decrypt / r.raw.decrypt, r.raw.decrypt, r.decryptTail);
  }
  std::printf("raw: one CryptEncrypt / CryptDecrypt over 64 MiB in memory, mean of one run before and one after\n");
  std::printf("peak memory of this process: working set %.1f MiB, pagefile %.1f MiB\n", MiB(memory.PeakWorkingSetSize),
              MiB(memory.PeakPagefileUsage));
  return 0;
}
