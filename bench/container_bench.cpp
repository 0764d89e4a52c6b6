// Speed, memory and cancel of file encryption and decryption beside the
// provider's raw RC2 speed, in one run. Not a test: run it by hand under Wine.
//   container_bench.exe [folder] [MiB ...]   (default: the temp folder, 64 and 1024)
// Prints MB/s (10^6 bytes) per direction beside the provider's raw speeds.
#include <windows.h>
// after windows.h
#include <psapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_common.h"
#include "core/stream_crypt.h"
#include "platform/win32/crypt_handles.h"
#include "platform/win32/cryptoapi_provider.h"
#include "platform/win32/file_crypt.h"
#include "platform/win32/win32_file_system.h"

namespace {

using ferrune::CryptKey;
using ferrune::CryptProv;
using ferrune::Outcome;
using ferrune::SecretBytes;
using namespace ferrune::bench;

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

// The raw speeds are measured in a child process (this program with --raw),
// so that its buffers of the whole size never count as the file runs' peak
// memory, and they can be taken right before and after each file run.
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
  std::sscanf(text.c_str(), "%lf %lf %lf", &speed.encrypt, &speed.decrypt, &speed.decryptCores);
  return speed;
}

double PeakWorkingSetMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

int EntriesIn(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    count += found.cFileName[0] != L'.';
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return count;
}

}  // namespace

int RunRaw() {
  CryptProv prov;
  if (!CryptAcquireContextW(prov.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return 1;
  ferrune::CryptoApiProvider provider(prov.get());
  const RawSpeed raw =
      MeasureRaw(provider, kRawSize, ferrune::StreamOptions{}.chunkSize, ferrune::DecryptThreadsHere());
  std::printf("%f %f %f\n", raw.encrypt, raw.decrypt, raw.decryptCores);
  return raw.encrypt > 0 && raw.decrypt > 0 && raw.decryptCores > 0 ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wstring(argv[1]) == L"--raw") return RunRaw();
  std::wstring base;
  if (argc > 1) {
    base = argv[1];
  } else {
    wchar_t temp[MAX_PATH];
    base.assign(temp, GetTempPathW(MAX_PATH, temp));
  }
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
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
  // A folder of its own, so that anything a cancel leaves is seen.
  const std::wstring folder = base + L"ferrune-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  if (!CreateDirectoryW(folder.c_str(), nullptr)) {
    std::fprintf(stderr, "cannot make the bench folder\n");
    return 1;
  }
  const std::wstring plain = folder + L"file.bin";
  const std::wstring encrypted = plain + L".zrv";
  BenchPlatform platform;
  ferrune::Win32FileSystem files;
  platform.encrypt = [&](const ferrune::JobControl& c) {
    return ferrune::EncryptFileWithProvider(id, files, plain, password, c);
  };
  platform.decrypt = [&](const ferrune::JobControl& c) {
    return ferrune::DecryptFileWithProvider(id, files, encrypted, password, c);
  };
  platform.make = [&](std::uint64_t size) { return MakeFile(plain, size); };
  platform.removePlain = [&] { DeleteFileW(plain.c_str()); };
  platform.removeEncrypted = [&] { DeleteFileW(encrypted.c_str()); };
  platform.entries = [&] { return EntriesIn(folder); };
  platform.peakMiB = PeakWorkingSetMiB;
  platform.raw = RawInChild;
  platform.removeFolder = [&] { RemoveDirectoryW(folder.c_str()); };
  platform.provider = "cryptoapi";
  platform.peakMemory = "peak working set";
  return RunSizes(platform, sizes, ferrune::DecryptThreadsHere());
}
