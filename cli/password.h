// The password: where it comes from, the window's rules, and its bytes in a
// Windows code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/options.h"
#include "cli/platform.h"

namespace ferrune::cli {

enum class LineStatus { Ok, TooLong, Unreadable };

// The bytes up to the first CR or LF (or the end), read one at a time so that
// nothing after the line is taken. `read` is as Console::ReadInputByte.
LineStatus ReadFirstLine(const std::function<int(std::uint8_t*)>& read, SecretBytes* line);

enum class EncodeStatus { Ok, NotText, Unrepresentable, Unusable };

// UTF-8 (a leading byte order mark dropped) to composed Unicode, then to the
// code page. A NUL is Unusable on every system: no window's edit can hold
// one. A character the code page lacks may still be written as its
// canonical decomposition when the code page has every part of it (of the
// code pages taken, only 1258 has letters that need it); no other substitute
// is made.
EncodeStatus EncodePassword(Platform& platform, const SecretBytes& utf8, int codePage, SecretBytes* out);

struct PasswordResult {
  bool ok = false;
  SecretBytes bytes;
  // To decrypt, a password the code page lacks characters for is taken in
  // the bytes of the system's standard conversion, as earlier versions took
  // it (StandardBytesOutcomeText).
  bool standardBytes = false;
  // When not ok: what to tell the user (may be empty when they said no).
  std::string message;
};

PasswordResult AcquirePassword(const Options& options, Console& console, Platform& platform);

// A text of the window's, for a terminal: its stored line break is LF CR.
std::string PlainText(const wchar_t* text);

// Where a refusal of the password's characters points: "(code page N; see --code-page)".
std::string CodePageHint(int codePage);

}  // namespace ferrune::cli
