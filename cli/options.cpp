#include "cli/options.h"

#include "cli/code_page_tables.h"
#include "core/texts.h"

namespace ferrune::cli {
namespace {

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (const wchar_t c : s) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  return out;
}

// Digits only, so that "1252x" or "+1252" are not taken for a number.
std::optional<int> CodePage(const std::wstring& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + (c - L'0');
  }
  if (!CodePageUpperHalf(value)) return std::nullopt;
  return value;
}

}  // namespace

Options ParseOptions(const std::vector<std::wstring>& args, std::string* error) {
  Options options;
  error->clear();
  bool haveCommand = false;
  bool optionsEnded = false;
  const auto fail = [&](std::string message) {
    if (error->empty()) *error = std::move(message);
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (!optionsEnded && arg.size() > 1 && arg[0] == L'-') {
      std::wstring name = arg;
      std::optional<std::wstring> value;
      if (const std::size_t eq = arg.find(L'='); arg.rfind(L"--", 0) == 0 && eq != std::wstring::npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
      }
      const auto takeValue = [&]() -> std::optional<std::wstring> {
        if (value) return value;
        if (i + 1 < args.size()) return args[++i];
        fail(texts::Filled(texts::kNeedsValue, {Narrow(name)}));
        return std::nullopt;
      };
      if (name == L"--") {
        optionsEnded = true;
      } else if (name == L"--keep" || name == L"-k") {
        options.keep = true;
      } else if (name == L"--force" || name == L"-f") {
        options.force = true;
      } else if (name == L"--help" || name == L"-h") {
        options.help = true;
      } else if (name == L"--version") {
        options.version = true;
      } else if (name == L"--password-file") {
        if (auto file = takeValue()) {
          if (file->empty()) fail(texts::kNeedsFileName);
          options.passwordFile = *file;
        }
      } else if (name == L"--code-page") {
        if (auto text = takeValue()) {
          if (auto page = CodePage(*text)) {
            options.codePage = *page;
          } else {
            fail(texts::Filled(texts::kNotACodePage, {Narrow(*text)}));
          }
        }
      } else {
        fail(texts::Filled(texts::kUnknownOption, {Narrow(arg)}));
      }
      if ((name == L"--keep" || name == L"-k" || name == L"--force" || name == L"-f" || name == L"--help" ||
           name == L"-h" || name == L"--version") &&
          value) {
        fail(texts::Filled(texts::kTakesNoValue, {Narrow(name)}));
      }
      continue;
    }
    if (!haveCommand) {
      haveCommand = true;
      if (arg == L"encrypt") {
        options.command = Command::Encrypt;
      } else if (arg == L"decrypt") {
        options.command = Command::Decrypt;
      } else if (arg == L"check") {
        options.command = Command::Check;
      } else {
        fail(texts::Filled(texts::kUnknownCommand, {Narrow(arg)}));
      }
      continue;
    }
    options.files.push_back(arg);
  }
  if (options.help || options.version) return options;
  if (!haveCommand) {
    fail(texts::kNoCommand);
  } else if (options.files.empty()) {
    fail(texts::kNoFiles);
  }
  return options;
}

}  // namespace ferrune::cli
