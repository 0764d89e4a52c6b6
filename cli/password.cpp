#include "cli/password.h"

#include <cstring>

#include "core/output_names.h"
#include "core/password_rules.h"
#include "core/path_rules.h"
#include "core/texts.h"
#include "core/utf.h"

namespace ferrune::cli {
namespace {

constexpr std::uint8_t kBom[] = {0xEF, 0xBB, 0xBF};

PasswordResult Refuse(std::string message) {
  PasswordResult result;
  result.message = std::move(message);
  return result;
}

std::span<const std::uint8_t> View(const SecretBytes& bytes) { return {bytes.data(), bytes.size()}; }

PasswordResult Refuse(PasswordCheck check) { return Refuse(PlainText(PasswordCheckText(check))); }

// UTF-8 (a leading byte order mark dropped) to composed Unicode.
EncodeStatus Composed(Platform& platform, const SecretBytes& utf8, SecretText* composed) {
  const std::uint8_t* data = utf8.data();
  std::size_t size = utf8.size();
  if (size >= sizeof kBom && std::memcmp(data, kBom, sizeof kBom) == 0) {
    data += sizeof kBom;
    size -= sizeof kBom;
  }
  std::optional<std::u32string> decoded = DecodeUtf8(data, size);
  if (!decoded) return EncodeStatus::NotText;
  if (decoded->find(U'\0') != std::u32string::npos) return EncodeStatus::Unusable;
  SecretText text(std::move(*decoded));
  return platform.Normalize(text.text, NormalForm::Composed, composed) ? EncodeStatus::Ok
                                                                       : EncodeStatus::Unrepresentable;
}

PasswordResult Encoded(Platform& platform, const SecretBytes& utf8, int codePage, Command command) {
  PasswordResult result;
  switch (EncodePassword(platform, utf8, codePage, &result.bytes)) {
    case EncodeStatus::Ok: result.ok = true; return result;
    case EncodeStatus::NotText: return Refuse(texts::kNotUtf8);
    case EncodeStatus::Unusable: return Refuse(PlainText(texts::kBadPasswordCharacters));
    case EncodeStatus::Unrepresentable: break;
  }
  SecretText composed;
  if (command != Command::Encrypt && Composed(platform, utf8, &composed) == EncodeStatus::Ok) {
    if (std::optional<SecretBytes> standard = platform.StandardBytes(composed.text, codePage)) {
      result.ok = true;
      result.bytes = std::move(*standard);
      result.standardBytes = true;
      return result;
    }
  }
  return Refuse(PlainText(texts::kBadPasswordCharacters) + "\n" + CodePageHint(codePage));
}

// From a file or a pipe: the first line, no length question.
PasswordResult FromLine(const std::function<int(std::uint8_t*)>& read, const std::string& source, Platform& platform,
                        const Options& options) {
  SecretBytes line;
  switch (ReadFirstLine(read, &line)) {
    case LineStatus::Ok: break;
    case LineStatus::TooLong:
      return Refuse(texts::Filled(texts::kLineTooLong, {source, std::to_string(kMaxPasswordLine)}));
    case LineStatus::Unreadable: return Refuse(texts::Filled(texts::kCannotReadPasswordFrom, {source}));
  }
  if (line.empty() || (line.size() == sizeof kBom && std::memcmp(line.data(), kBom, sizeof kBom) == 0)) {
    return Refuse(PasswordCheck::Empty);
  }
  return Encoded(platform, line, options.codePage, options.command);
}

bool IsYes(const std::string& answer) {
  std::string folded;
  for (const char c : answer) {
    if (c != ' ' && c != '\t') folded += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  return folded == "y" || folded == "yes";
}

// What the decryption's prompt names: the file before its encryption, or how many.
std::string EncryptedWhat(const Options& options, Platform& platform) {
  if (options.files.size() != 1) return texts::Filled(texts::kTheseFiles, {std::to_string(options.files.size())});
  const std::wstring name = NameOf(options.files.front());
  return platform.Display(IsEncryptedName(name, NameCase::AnyCase) ? DecryptedFileName(name) : name);
}

PasswordResult TooLong() { return Refuse(texts::Filled(texts::kTypedTooLong, {std::to_string(kMaxPasswordLine)})); }

PasswordResult FromTerminal(const Options& options, Console& console, Platform& platform) {
  if (options.command != Command::Encrypt) {
    SecretBytes text;
    const Typed typed =
        console.ReadHidden(texts::Filled(texts::kAskPasswordUsed, {EncryptedWhat(options, platform)}), &text);
    if (typed == Typed::TooLong) return TooLong();
    if (typed == Typed::End) text.Wipe();
    if (const PasswordCheck check = CheckPassword(View(text)); check != PasswordCheck::Ok) return Refuse(check);
    return Encoded(platform, text, options.codePage, options.command);
  }
  SecretBytes first, second;
  const Typed typedFirst = console.ReadHidden(texts::kAskPassword, &first);
  if (typedFirst == Typed::TooLong) return TooLong();
  const Typed typedSecond =
      typedFirst == Typed::Line ? console.ReadHidden(texts::kAskPasswordAgain, &second) : Typed::End;
  if (typedSecond == Typed::TooLong) return TooLong();
  if (typedFirst != Typed::Line || typedSecond != Typed::Line) return Refuse(PasswordCheck::Empty);
  if (const PasswordCheck check = CheckNewPassword(View(first), View(second)); check != PasswordCheck::Ok) {
    return Refuse(check);
  }
  PasswordResult result = Encoded(platform, first, options.codePage, options.command);
  if (!result.ok || !NeedsShortPasswordQuestion(result.bytes.size())) return result;
  std::string answer;
  if (!console.ReadVisible(PlainText(texts::kShortPassword) + texts::kYesOrNo, &answer) || !IsYes(answer)) {
    return Refuse(std::string());
  }
  return result;
}

}  // namespace

std::string CodePageHint(int codePage) { return texts::Filled(texts::kSeeCodePage, {std::to_string(codePage)}); }

std::string PlainText(const wchar_t* text) {
  std::wstring plain;
  for (const wchar_t* p = text; *p; ++p) {
    plain += *p;
    if (p[0] == L'\n' && p[1] == L'\r') ++p;
  }
  return Utf8FromWide(plain);
}

LineStatus ReadFirstLine(const std::function<int(std::uint8_t*)>& read, SecretBytes* line) {
  SecretBytes buffer(kMaxPasswordLine);
  std::size_t length = 0;
  for (;;) {
    std::uint8_t byte = 0;
    const int got = read(&byte);
    if (got < 0) return LineStatus::Unreadable;
    if (got == 0 || byte == '\n' || byte == '\r') break;
    if (length == buffer.size()) return LineStatus::TooLong;
    buffer.data()[length++] = byte;
  }
  *line = SecretBytes(buffer.data(), length);
  return LineStatus::Ok;
}

EncodeStatus EncodePassword(Platform& platform, const SecretBytes& utf8, int codePage, SecretBytes* out) {
  SecretText composed;
  if (const EncodeStatus status = Composed(platform, utf8, &composed); status != EncodeStatus::Ok) return status;
  SecretBytes bytes(composed.text.size() * 4);
  std::size_t length = 0;
  for (const char32_t c : composed.text) {
    if (const auto byte = platform.ToCodePage(c, codePage)) {
      bytes.data()[length++] = *byte;
      continue;
    }
    SecretText parts;
    if (!platform.Normalize(std::u32string(1, c), NormalForm::Decomposed, &parts) || parts.text.size() < 2 ||
        parts.text.size() > 4) {
      return EncodeStatus::Unrepresentable;
    }
    for (const char32_t part : parts.text) {
      const auto byte = platform.ToCodePage(part, codePage);
      if (!byte) return EncodeStatus::Unrepresentable;
      bytes.data()[length++] = *byte;
    }
  }
  *out = SecretBytes(bytes.data(), length);
  return EncodeStatus::Ok;
}

PasswordResult AcquirePassword(const Options& options, Console& console, Platform& platform) {
  if (options.passwordFile) {
    const std::string name = platform.Display(*options.passwordFile);
    auto source = platform.OpenText(*options.passwordFile);
    if (!source) return Refuse(texts::Filled(texts::kCannotReadPasswordFile, {name}));
    return FromLine([&](std::uint8_t* b) { return source->Read(b); }, name, platform, options);
  }
  if (!console.InputIsTerminal()) {
    return FromLine([&](std::uint8_t* b) { return console.ReadInputByte(b); }, texts::kStandardInput, platform,
                    options);
  }
  return FromTerminal(options, console, platform);
}

}  // namespace ferrune::cli
