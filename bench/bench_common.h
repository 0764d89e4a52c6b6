// What both benchmarks measure and print, over any provider: the raw cipher
// speeds in memory, the cancel in the middle of a file, and the summary lines.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/job_control.h"
#include "core/outcome.h"
#include "core/provider.h"

namespace ferrune::bench {

inline constexpr double kMega = 1e6;
inline constexpr std::size_t kRawSize = std::size_t{64} << 20;

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline void Fill(std::vector<std::uint8_t>& buffer, std::uint64_t& state) {
  for (auto& b : buffer) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    b = static_cast<std::uint8_t>(state);
  }
}

struct RawSpeed {
  double encrypt = 0;       // one call
  double decrypt = 0;       // one call
  double decryptCores = 0;  // chunks side by side, as the product decrypts
};

inline RawSpeed Mean(const RawSpeed& a, const RawSpeed& b) {
  return {(a.encrypt + b.encrypt) / 2, (a.decrypt + b.decrypt) / 2, (a.decryptCores + b.decryptCores) / 2};
}

// The cipher alone in memory: one final call each way over `size` bytes, then
// the same ciphertext in chunks on `threads` threads, each chunk from a fresh
// duplicate of the key at the block before it, Final on the last only.
inline RawSpeed MeasureRaw(Provider& provider, std::size_t size, std::size_t chunkSize, unsigned threads) {
  RawSpeed speed;
  const std::uint8_t password[] = {'b', 'e', 'n', 'c', 'h'};
  auto hash = provider.Hash({ByteView(password, sizeof password)});
  auto key = hash ? provider.DeriveKey(*hash) : nullptr;
  auto pristine = hash ? provider.DeriveKey(*hash) : nullptr;
  std::size_t cipherSize = 0;
  if (!key || !pristine || !key->FinalChunkSize(size, &cipherSize)) return speed;
  std::vector<std::uint8_t> buffer(cipherSize);
  std::uint64_t state = 1;
  Fill(buffer, state);
  std::size_t length = 0;
  double start = Now();
  if (!key->Encrypt(buffer.data(), size, buffer.size(), true, &length)) return speed;
  speed.encrypt = static_cast<double>(size) / (Now() - start) / kMega;
  const std::vector<std::uint8_t> cipher = buffer;
  start = Now();
  if (!key->Decrypt(buffer.data(), length, true, &length)) return speed;
  speed.decrypt = static_cast<double>(size) / (Now() - start) / kMega;

  buffer = cipher;
  const std::size_t chunks = (cipher.size() + chunkSize - 1) / chunkSize;
  std::atomic<std::size_t> next{0};
  std::atomic<bool> ok{true};
  const auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < chunks;) {
      const std::size_t offset = i * chunkSize;
      const std::size_t part = std::min(chunkSize, cipher.size() - offset);
      std::uint8_t iv[8] = {};
      if (i > 0) std::copy_n(cipher.data() + offset - sizeof iv, sizeof iv, iv);
      auto chunkKey = pristine->DuplicateAt(ByteView(iv, sizeof iv));
      std::size_t out = 0;
      if (!chunkKey || !chunkKey->Decrypt(buffer.data() + offset, part, i + 1 == chunks, &out)) ok = false;
    }
  };
  start = Now();
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  const double seconds = Now() - start;
  if (ok) speed.decryptCores = static_cast<double>(size) / seconds / kMega;
  return speed;
}

// Seconds in all, and from the progress reaching the total to the call's return.
template <typename Call>
double Timed(Call call, double* tail, Outcome* outcome) {
  double lastChunk = 0;
  JobControl control;
  control.progress = [&](std::uint64_t done, std::uint64_t total) {
    if (done == total) lastChunk = Now();
  };
  const double start = Now();
  *outcome = call(control);
  const double end = Now();
  *tail = end - lastChunk;
  return end - start;
}

// Milliseconds from a cancel half-way through to the operation's return.
template <typename Operation>
double CancelInTheMiddle(Operation operation, Outcome* outcome) {
  std::atomic<bool> cancel{false};
  double cancelledAt = 0;
  JobControl control;
  control.cancel = &cancel;
  control.progress = [&](std::uint64_t done, std::uint64_t total) {
    if (!cancel && done * 2 >= total) {
      cancelledAt = Now();
      cancel = true;
    }
  };
  *outcome = operation(control);
  return cancel ? (Now() - cancelledAt) * 1000 : -1;
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The lowest and highest of the rounds, so that a median on a busy machine
// can be told from one on a quiet one.
inline std::string Spread(const std::vector<double>& values) {
  if (values.empty()) return "-";
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  char text[32];
  std::snprintf(text, sizeof text, "%.2f..%.2f", *low, *high);
  return text;
}

struct SizeFigures {
  std::uint64_t size = 0;
  RawSpeed raw;
  double encrypt = 0;
  double decrypt = 0;
  double encryptTail = 0;  // seconds from the last chunk to the end: flush, proof, rename
  double decryptTail = 0;
  double peakMiB = 0;
  double cancelEncryptMs = 0;
  double cancelDecryptMs = 0;
  int leftBehind = 0;  // files in the folder after the cancels that should not be there
};

inline void PrintFigures(const char* provider, const std::vector<SizeFigures>& runs, unsigned threads) {
  for (const SizeFigures& r : runs) {
    std::printf(
        "%5llu MiB: encrypt %.1f MB/s = %.2f of raw %.1f (last %.2f s flush+proof+rename); decrypt %.1f MB/s = %.2f "
        "of raw %.1f, %.2f of %u-thread raw %.1f (last %.2f s); cancel %.0f / %.0f ms, %d files left; peak %.1f "
        "MiB\n",
        static_cast<unsigned long long>(r.size >> 20), r.encrypt, r.encrypt / r.raw.encrypt, r.raw.encrypt,
        r.encryptTail, r.decrypt, r.decrypt / r.raw.decrypt, r.raw.decrypt, r.decrypt / r.raw.decryptCores, threads,
        r.raw.decryptCores, r.decryptTail, r.cancelEncryptMs, r.cancelDecryptMs, r.leftBehind, r.peakMiB);
  }
  std::printf("raw: the cipher alone over 64 MiB in memory, mean of one run before and one after each round\n");
  std::printf("below, per size: the median ratio of its rounds, the largest peak and the slowest cancel;\n");
  std::printf("then the lowest and highest ratio of its rounds\n");
  for (std::size_t first = 0; first < runs.size();) {
    std::size_t end = first;
    std::vector<double> encrypt, decrypt, twoCore;
    double peak = 0, cancel = 0;
    for (; end < runs.size() && runs[end].size == runs[first].size; ++end) {
      const SizeFigures& r = runs[end];
      encrypt.push_back(r.encrypt / r.raw.encrypt);
      decrypt.push_back(r.decrypt / r.raw.decrypt);
      twoCore.push_back(r.decrypt / r.raw.decryptCores);
      peak = std::max(peak, r.peakMiB);
      cancel = std::max({cancel, r.cancelEncryptMs, r.cancelDecryptMs});
    }
    std::printf(
        "summary: provider=%s size_mib=%llu encrypt_ratio=%.2f decrypt_ratio=%.2f decrypt_of_2core=%.2f "
        "peak_mib=%.1f cancel_ms=%.0f\n",
        provider, static_cast<unsigned long long>(runs[first].size >> 20), Median(encrypt), Median(decrypt),
        Median(twoCore), peak, cancel);
    std::printf("spread: provider=%s size_mib=%llu encrypt_ratio=%s decrypt_ratio=%s decrypt_of_2core=%s\n", provider,
                static_cast<unsigned long long>(runs[first].size >> 20), Spread(encrypt).c_str(),
                Spread(decrypt).c_str(), Spread(twoCore).c_str());
    first = end;
  }
}

// What the per-size loop needs of the platform it runs on.
struct BenchPlatform {
  using Operation = std::function<Outcome(const JobControl&)>;
  Operation encrypt, decrypt;               // the file in the bench folder, each way
  std::function<bool(std::uint64_t)> make;  // the plain file, of this size
  std::function<void()> removePlain, removeEncrypted;
  std::function<int()> entries;        // files in the bench folder
  std::function<double()> peakMiB;     // of this process so far
  std::function<RawSpeed()> raw;       // measured apart from this process
  std::function<void()> removeFolder;  // the bench folder, once empty
  const char* provider = "";           // for the summary lines
  const char* peakMemory = "";         // what the peak figure is on this platform
};

// Rounds of each size: one file run lasts a second or less at 64 MiB, too
// short for one sample on a shared machine to tell much.
inline constexpr int kRounds = 3;

// Each round of each size: encrypt, decrypt, cancel an encryption, cancel a
// decryption, with the raw speeds measured before and after it.
// False, with what failed on standard error, when a step did not end as it must.
inline bool MeasureSizes(const BenchPlatform& p, const std::vector<std::uint64_t>& sizes,
                         std::vector<SizeFigures>* runs) {
  const auto fail = [](const char* what, Outcome outcome) {
    std::fprintf(stderr, "%s: %s\n", what, std::string(OutcomeName(outcome)).c_str());
    return false;
  };
  for (const std::uint64_t size : sizes) {
    RawSpeed before = p.raw();
    for (int round = 0; round < kRounds; ++round) {
      SizeFigures run;
      run.size = size;
      if (!p.make(size)) {
        std::fprintf(stderr, "cannot write the input file\n");
        return false;
      }
      Outcome outcome;
      const double encryptSeconds = Timed(p.encrypt, &run.encryptTail, &outcome);
      if (outcome != Outcome::Success) return fail("encryption", outcome);
      p.removePlain();
      const double decryptSeconds = Timed(p.decrypt, &run.decryptTail, &outcome);
      if (outcome != Outcome::Success) return fail("decryption", outcome);
      // The cancels last: removing a file just flushed to the disk slows the
      // next second of work on this kind of machine, and a cancel removes one.
      run.cancelEncryptMs = CancelInTheMiddle(p.encrypt, &outcome);
      if (outcome != Outcome::Cancelled) return fail("cancelled encryption", outcome);
      p.removePlain();
      run.cancelDecryptMs = CancelInTheMiddle(p.decrypt, &outcome);
      if (outcome != Outcome::Cancelled) return fail("cancelled decryption", outcome);
      run.leftBehind = p.entries() - 1;  // the encrypted file stays
      p.removeEncrypted();
      run.peakMiB = p.peakMiB();
      const RawSpeed after = p.raw();
      run.raw = Mean(before, after);
      before = after;
      run.encrypt = static_cast<double>(size) / encryptSeconds / kMega;
      run.decrypt = static_cast<double>(size) / decryptSeconds / kMega;
      runs->push_back(run);
    }
  }
  return true;
}

// The whole run over `sizes` and its figures; the exit code of the bench.
inline int RunSizes(const BenchPlatform& p, const std::vector<std::uint64_t>& sizes, unsigned threads) {
  std::vector<SizeFigures> runs;
  const bool measured = MeasureSizes(p, sizes, &runs);
  p.removeFolder();
  if (!measured) return 1;
  std::printf("peak memory: %s of this process after each round\n", p.peakMemory);
  PrintFigures(p.provider, runs, threads);
  return 0;
}

}  // namespace ferrune::bench
