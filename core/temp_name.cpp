#include "core/temp_name.h"

#include <atomic>
#include <chrono>

namespace ferrune {
namespace {

constexpr std::wstring_view kPrefix = L".ferrune-";
constexpr std::wstring_view kSuffix = L".tmp";
constexpr std::size_t kSerialDigits = 8;
constexpr std::size_t kKeyDigits = 16;
constexpr std::wstring_view kKept = L" (kept by Ferrune";

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'); }

void AppendHex(std::wstring* text, std::uint64_t value, std::size_t digits) {
  for (std::size_t i = digits; i-- > 0;) *text += L"0123456789abcdef"[(value >> (4 * i)) & 0xF];
}

std::optional<std::uint64_t> HexValue(std::wstring_view digits) {
  std::uint64_t value = 0;
  for (const wchar_t c : digits) {
    if (!IsHexDigit(c)) return std::nullopt;
    value = value << 4 | static_cast<std::uint64_t>(c <= L'9' ? c - L'0' : c - L'a' + 10);
  }
  return value;
}

// The first `keep` units of a name, or one fewer where a cut there would
// split a UTF-16 pair and leave half a character.
std::wstring Cut(std::wstring_view name, std::size_t keep) {
  if (keep > 0 && keep < name.size() && name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;
  return std::wstring(name.substr(0, keep));
}

// splitmix64's finaliser: every input bit reaches every output bit.
std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9u;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebu;
  return x ^ (x >> 31);
}

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
  AppendHex(&name, serial, kSerialDigits);
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
  return HexValue(middle.substr(dash + 1)).has_value();
}

std::uint64_t IdentityKey(const FileIdentity& identity) {
  std::uint64_t key = Mix(identity.volume);
  for (const std::uint64_t part :
       {identity.index, identity.size, static_cast<std::uint64_t>(identity.writeTime.seconds),
        std::uint64_t{identity.writeTime.nanoseconds}}) {
    key = Mix(key ^ part);
  }
  return key;
}

AsideName AsideOf(AsideKind kind, const FileIdentity& identity, std::wstring_view original, const NameFits& fits) {
  std::wstring head(kPrefix);
  head += kind == AsideKind::Delete ? L'd' : L'r';
  head += L'-';
  AppendHex(&head, IdentityKey(identity), kKeyDigits);
  AsideName aside{head + L'-' + std::wstring(original), {}};
  for (std::size_t keep = original.size(); !fits(aside.name) && keep > 1;) {
    keep = keep * 3 / 4;
    aside.name = head + L'~' + Cut(original, keep);
  }
  aside.our = *ParseOurName(aside.name);
  aside.our.original = std::wstring(original);
  aside.our.wholeOriginal = true;
  return aside;
}

std::optional<OurName> ParseOurName(std::wstring_view name) {
  if (IsTempFileName(name)) return OurName{};
  // ".ferrune-" kind "-" 16 hex, then "-" or "~" and at least one character.
  constexpr std::size_t kHead = kPrefix.size() + 2 + kKeyDigits;
  if (name.size() < kHead + 2 || !name.starts_with(kPrefix) || name[kPrefix.size() + 1] != L'-') return std::nullopt;
  const wchar_t kind = name[kPrefix.size()];
  const wchar_t cut = name[kHead];
  const std::optional<std::uint64_t> key = HexValue(name.substr(kPrefix.size() + 2, kKeyDigits));
  if ((kind != L'd' && kind != L'r') || (cut != L'-' && cut != L'~') || !key) return std::nullopt;
  OurName our;
  our.kind = OurName::Kind::Aside;
  our.aside = kind == L'd' ? AsideKind::Delete : AsideKind::Replace;
  our.key = *key;
  our.original = std::wstring(name.substr(kHead + 1));
  our.wholeOriginal = cut == L'-';
  return our;
}

std::wstring KeptFileName(std::wstring_view original, int n, const NameFits& fits) {
  // The extension stays last, so that the file still opens with its program.
  std::size_t dot = original.find_last_of(L'.');
  if (dot == std::wstring_view::npos || dot == 0) dot = original.size();
  std::wstring mark(kKept);
  if (n > 1) mark += L' ' + std::to_wstring(n);
  mark += L')';
  const std::wstring_view extension = original.substr(dot);
  for (std::size_t keep = dot;; keep = keep * 3 / 4) {
    std::wstring name = Cut(original, keep) + mark + std::wstring(extension);
    if (keep <= 1 || fits(name)) return name;
  }
}

Leftover JudgeLeftover(const OurName& name, const FileIdentity& now, bool taken) {
  if (!taken) return Leftover::Leave;
  // A temporary file holds only bytes this program made, and only while it
  // is what this program makes: one plain file.
  if (name.kind == OurName::Kind::Temp) {
    return !now.symbolicLink && now.links == 1 ? Leftover::Remove : Leftover::Leave;
  }
  return Leftover::PutBack;
}

PutBackResult PutBack(const OurName& aside, std::wstring_view asideName, const MoveTo& moveTo, const NameTaken& taken,
                      const NameFits& fits) {
  FileError failed;
  const auto tried = [&](const std::wstring& name) {
    failed = moveTo(name);
    return failed.ok();
  };
  if (aside.wholeOriginal && tried(aside.original)) return {};
  for (int n = 1; n <= 100 && (failed.ok() || taken(failed)); ++n) {
    std::wstring kept = KeptFileName(aside.original, n, fits);
    if (tried(kept)) return {{std::move(kept), false}, {}};
  }
  if (failed.ok() || taken(failed)) failed = FileError::Own(OwnError::NoKeptName, FileOp::PutBack);
  return {{std::wstring(asideName), true}, failed};
}

}  // namespace ferrune
