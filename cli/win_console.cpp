// zrv's console on Windows: UTF-16 in and out whatever the code page,
// prompts without echo, and Ctrl+C that cancels the file at hand.
#include <windows.h>

#include "cli/platform.h"
#include "core/utf.h"

namespace ferrune::cli {
namespace {

// Ctrl+C's own exit code here is 0xC000013A, and Wine's is 0.
constexpr UINT kInterruptedExit = 130;

BOOL WINAPI OnControl(DWORD) {
  // The first one cancels and lets the core clean up; a second one ends the
  // program at once, and the system removes its temporary file, marked for
  // deletion since its creation.
  if (CancelFlag().exchange(true)) TerminateProcess(GetCurrentProcess(), kInterruptedExit);
  return TRUE;
}

class WindowsConsole final : public Console {
 public:
  bool InputIsTerminal() override { return IsConsole(STD_INPUT_HANDLE); }
  bool ErrorIsTerminal() override { return IsConsole(STD_ERROR_HANDLE); }

  Typed ReadHidden(const std::string& prompt, SecretBytes* line) override { return ReadLine(prompt, false, line); }

  bool ReadVisible(const std::string& prompt, std::string* line) override {
    SecretBytes bytes;
    if (ReadLine(prompt, true, &bytes) != Typed::Line) return false;
    line->assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  }

  int ReadInputByte(std::uint8_t* byte) override {
    DWORD got = 0;
    if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), byte, 1, &got, nullptr)) {
      return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return got == 1 ? 1 : 0;
  }

  void WorkBegins() override { SetConsoleCtrlHandler(OnControl, TRUE); }
  void Error(const std::string& text) override { Write(STD_ERROR_HANDLE, text); }
  void Output(const std::string& text) override { Write(STD_OUTPUT_HANDLE, text); }

 private:
  static bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
  }

  static void Write(DWORD which, const std::string& text) {
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
      const std::wstring wide = WideFromUtf8(text);
      DWORD put = 0;
      WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &put, nullptr);
      return;
    }
    DWORD put = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
  }

  // The console hands over UTF-16 whatever its code page; it goes on as UTF-8.
  static Typed ReadLine(const std::string& prompt, bool echo, SecretBytes* line) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) return Typed::End;
    const DWORD reading = (echo ? mode | ENABLE_ECHO_INPUT : mode & ~DWORD{ENABLE_ECHO_INPUT}) | ENABLE_LINE_INPUT |
                          ENABLE_PROCESSED_INPUT;
    // Echo goes off before the prompt shows, so nothing typed at it is seen.
    SetConsoleMode(input, reading);
    Write(STD_ERROR_HANDLE, prompt);
    // The console keeps no more of a line than fits the buffer of the read
    // that takes it (256 characters for a smaller one) and drops the rest
    // without a word: one buffer for the whole line, its CR LF and a unit
    // more than a password may have, so that a line that fills it is
    // refused. Allocated once: a growing string would leave copies behind.
    std::wstring text(kMaxPasswordLine + 3, L'\0');
    std::size_t length = 0;
    bool ended = false;
    bool tooLong = false;
    for (;;) {
      if (length == text.size()) {
        // Too long: read on to the line's end without keeping it.
        tooLong = true;
        length = 0;
      }
      DWORD got = 0;
      if (!ReadConsoleW(input, text.data() + length, static_cast<DWORD>(text.size() - length), &got, nullptr) ||
          got == 0) {
        ended = true;
        break;
      }
      const std::size_t end = text.find_first_of(L"\r\n", length);
      length += got;
      if (end < length) {
        // The line feed after a CR belongs to the same Enter.
        if (text[end] == L'\r' && end + 1 == length) {
          wchar_t c = 0;
          ReadConsoleW(input, &c, 1, &got, nullptr);
        }
        length = end;
        break;
      }
    }
    SetConsoleMode(input, mode);
    if (!echo) Write(STD_ERROR_HANDLE, "\n");
    tooLong = tooLong || length > kMaxPasswordLine;
    if (tooLong || (ended && length == 0)) {
      WipeString(text);
      return tooLong ? Typed::TooLong : Typed::End;
    }
    std::u32string points;
    const bool valid = WideToCodePoints(text.data(), length, true, &points);
    WipeString(text);
    SecretText secret(std::move(points));
    std::string utf8;
    if (valid) {
      for (const char32_t c : secret.text) AppendUtf8(utf8, c);
    } else {
      utf8 = "\xFF";  // not UTF-8: refused as such later
    }
    const bool fits = utf8.size() <= kMaxPasswordLine;
    if (fits) *line = SecretBytes(utf8.data(), utf8.size());
    if (!utf8.empty()) WipeBytes(utf8.data(), utf8.size());
    return fits ? Typed::Line : Typed::TooLong;
  }
};

}  // namespace

std::unique_ptr<Console> MakeConsole() { return std::make_unique<WindowsConsole>(); }

}  // namespace ferrune::cli
