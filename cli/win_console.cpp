// zrv's console on Windows: UTF-16 in and out whatever the code page,
// prompts without echo, and Ctrl+C that cancels the file at hand.
#include <windows.h>

#include "cli/platform.h"
#include "core/utf.h"

namespace ferrune::cli {
namespace {

constexpr std::size_t kMaxLine = 64 * 1024;

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

  bool ReadHidden(const std::string& prompt, SecretBytes* line) override { return ReadLine(prompt, false, line); }

  bool ReadVisible(const std::string& prompt, std::string* line) override {
    SecretBytes bytes;
    if (!ReadLine(prompt, true, &bytes)) return false;
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
  static bool ReadLine(const std::string& prompt, bool echo, SecretBytes* line) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) return false;
    const DWORD reading = (echo ? mode | ENABLE_ECHO_INPUT : mode & ~DWORD{ENABLE_ECHO_INPUT}) | ENABLE_LINE_INPUT |
                          ENABLE_PROCESSED_INPUT;
    // Echo goes off before the prompt shows, so nothing typed at it is seen.
    SetConsoleMode(input, reading);
    Write(STD_ERROR_HANDLE, prompt);
    // Room for the longest line up front: a growing string would leave
    // copies of what was typed behind.
    std::wstring text;
    text.reserve(kMaxLine);
    bool ended = false;
    for (;;) {
      wchar_t c = 0;
      DWORD got = 0;
      if (!ReadConsoleW(input, &c, 1, &got, nullptr) || got == 0) {
        ended = true;
        break;
      }
      if (c == L'\n' || c == L'\r') {
        if (c == L'\r') {
          // The line feed after it belongs to the same Enter.
          ReadConsoleW(input, &c, 1, &got, nullptr);
        }
        break;
      }
      if (text.size() < kMaxLine) text += c;
    }
    SetConsoleMode(input, mode);
    if (!echo) Write(STD_ERROR_HANDLE, "\n");
    if (ended && text.empty()) return false;
    std::u32string points;
    const bool valid = WideToCodePoints(text.data(), text.size(), true, &points);
    WipeString(text);
    SecretText secret(std::move(points));
    std::string utf8;
    if (valid) {
      for (const char32_t c : secret.text) AppendUtf8(utf8, c);
    } else {
      utf8 = "\xFF";  // not UTF-8: refused as such later
    }
    *line = SecretBytes(utf8.data(), utf8.size());
    if (!utf8.empty()) WipeBytes(utf8.data(), utf8.size());
    return true;
  }
};

}  // namespace

std::unique_ptr<Console> MakeConsole() { return std::make_unique<WindowsConsole>(); }

}  // namespace ferrune::cli
