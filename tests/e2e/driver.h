// Drives the real ferrune.exe as a user would: starts it with an exact
// command line, finds its window and controls, types, clicks, answers its
// message boxes, reads what it shows and takes screenshots.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temporary_folder.h"

namespace e2e {

using namespace std::chrono_literals;

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::wstring caption;
  std::wstring text;
  bool hasIcon = false;
  std::vector<int> buttons;  // IDOK, IDYES, IDNO present
  int defaultButton = 0;
};

// Paths of the build, the Windows way.
std::wstring FerruneExe();
std::wstring ZrvExe();
std::wstring ScreenshotDir();
std::wstring ToWindowsPath(const std::string& unixPath);

// A fresh folder for one test, removed with everything in it afterwards:
// below FERRUNE_TEST_ROOT, which CTest sets to the build's e2e-tmp.
class TempFolder : public ferrune::testing::TemporaryFolder {
 public:
  std::wstring operator/(const std::wstring& name) const {
    return TemporaryFolder::operator/(std::wstring_view(name)).wstring();
  }
  std::wstring Path() const { return path().wstring(); }
};

std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::wstring& path);

class App {
 public:
  // `arguments` follows the quoted program path on the command line exactly;
  // `environment` entries are NAME=VALUE set for the child only. A console
  // program's output and errors go to `outputFile` when one is named.
  explicit App(const std::wstring& arguments, const std::vector<std::wstring>& environment = {},
               const std::wstring& exe = FerruneExe(), const std::wstring& outputFile = {});
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Waits for the main window; false when it did not come in time.
  bool WaitForWindow(std::chrono::milliseconds timeout = 20s);
  HWND Window() const { return window_; }
  HWND Control(int id) const;

  std::wstring Text(int id) const;
  void SetText(int id, const std::wstring& text);
  void Click(int id);  // a mouse click inside the control
  // Runs `post` while the program's thread is held, so that all it posts
  // waits in the queue together, as input does behind a busy window.
  template <typename F>
  void Queued(F post) {
    SuspendThread(pi_.hThread);
    post();
    ResumeThread(pi_.hThread);
  }
  void PressKey(int id, UINT vk);
  // A key as the keyboard sends it: to the program's focus window; false
  // when no window of the program has the focus.
  bool PressKeyInFocus(UINT vk);
  // The program's focus and active window (null when none), and the form's owner.
  HWND Focus() const;
  HWND ActiveWindow() const;
  HWND Owner() const { return GetWindow(window_, GW_OWNER); }
  bool Visible(int id) const;
  bool Enabled(int id) const;
  // The visible page, 0 to 3, or -1.
  int Page() const;
  bool WaitForPage(int page, std::chrono::milliseconds timeout = 20s) const;
  // Waits for the status page with a non-empty text other than the given one.
  std::wstring WaitForStatusOtherThan(const std::wstring& text, std::chrono::milliseconds timeout = 60s) const;

  std::optional<MessageBoxInfo> WaitForMessageBox(std::chrono::milliseconds timeout = 10s) const;
  bool MessageBoxShowing() const;
  void Answer(const MessageBoxInfo& box, int button);

  // Waits for the process to end; its exit code, or nullopt on time-out.
  std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout = 20s);
  void Close();  // as the title bar's close does
  std::optional<DWORD> CloseAndWait(std::chrono::milliseconds timeout = 20s) {
    Close();
    return WaitForExit(timeout);
  }
  void Kill();

  // Saves the window as it is on screen (frame included) to a PNG.
  void Screenshot(const std::wstring& name) const;
  // Colour of a client-area pixel on screen.
  COLORREF ClientPixel(int x, int y) const;
  // A control's rectangle in the window's client coordinates.
  RECT ControlRect(int id) const;
  DWORD ProcessId() const { return pi_.dwProcessId; }

 private:
  PROCESS_INFORMATION pi_{};
  HWND window_ = nullptr;
};

// Pumps this thread's messages for a while (the tests own no windows, but
// Wine's window management wants a responsive caller).
void Sleep(std::chrono::milliseconds d);

// Waits until `ok` holds or the time-out passes.
template <typename F>
bool WaitUntil(F ok, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < end) {
    if (ok()) return true;
    ::Sleep(20);
  }
  return ok();
}

}  // namespace e2e
