#include "core/temp_name.h"

#include <atomic>
#include <chrono>

namespace ferrune {
namespace {

constexpr std::wstring_view kPrefix = L".ferrune-";
constexpr std::wstring_view kSuffix = L".tmp";
constexpr std::size_t kSerialDigits = 8;

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); }

}  // namespace

std::wstring NewTempFileName(std::uint32_t processId) {
  // A start of its own in each run, so that a process with a reused id
  // does not meet the names of a dead one first.
  static const auto start = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  static std::atomic<std::uint32_t> counter{0};
  const std::uint32_t serial = (counter.fetch_add(1) * 0x9E3779B9u) ^ start;
  std::wstring name(kPrefix);
  name += std::to_wstring(processId);
  name += L'-';
  for (int shift = 28; shift >= 0; shift -= 4) name += L"0123456789abcdef"[(serial >> shift) & 0xF];
  name += kSuffix;
  return name;
}

bool IsTempFileName(std::wstring_view name) {
  if (name.size() < kPrefix.size() + 2 + kSerialDigits + kSuffix.size() || !name.starts_with(kPrefix) ||
      !name.ends_with(kSuffix)) {
    return false;
  }
  const std::wstring_view middle = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  const std::size_t dash = middle.size() - kSerialDigits - 1;
  if (middle[dash] != L'-' || dash == 0 || dash > 10) return false;
  for (std::size_t i = 0; i < dash; ++i) {
    if (middle[i] < L'0' || middle[i] > L'9') return false;
  }
  for (std::size_t i = dash + 1; i < middle.size(); ++i) {
    if (!IsHexDigit(middle[i])) return false;
  }
  return true;
}

}  // namespace ferrune
