#include "tests/e2e/driver.h"

#include <cstdio>

#include "app/control_ids.h"
#include "app/toolkit/top_down_bitmap.h"
#include "tests/e2e/png_writer.h"

namespace e2e {
namespace {

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The text may change between the two messages: a copy that fills the
// buffer may be cut, and is read again with more room.
std::wstring WindowText(HWND hwnd) {
  for (DWORD_PTR room = 64;; room *= 2) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
    std::wstring text(length + room, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000,
                        &copied);
    if (copied + 1 < text.size()) {
      text.resize(copied);
      return text;
    }
  }
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[128] = {};
  GetClassNameW(hwnd, name, 128);
  return name;
}

struct FindTop {
  DWORD pid;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK FindTopProc(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindTop*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == f->pid && IsWindowVisible(hwnd) && ClassOf(hwnd) == f->className) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindTopWindow(DWORD pid, const wchar_t* className) {
  FindTop f{pid, className, nullptr};
  EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

struct FindChild {
  int id;
  HWND found;
};

BOOL CALLBACK FindChildProc(HWND hwnd, LPARAM lp) {
  auto* f = reinterpret_cast<FindChild*>(lp);
  if (GetDlgCtrlID(hwnd) == f->id) {
    f->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::wstring ToWindowsPath(const std::string& unixPath) {
  std::wstring path = L"Z:" + Widen(unixPath);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::wstring FerruneExe() { return ToWindowsPath(FERRUNE_EXE_UNIX); }
std::wstring ZrvExe() { return ToWindowsPath(ZRV_EXE_UNIX); }
std::wstring ScreenshotDir() {
  const std::wstring dir = ToWindowsPath(FERRUNE_SCREENSHOT_DIR_UNIX);
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir;
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string data;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(h, buffer, sizeof(buffer), &n, nullptr) && n) data.append(buffer, n);
  CloseHandle(h);
  return data;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD n = 0;
  WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr);
  CloseHandle(h);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Sleep(std::chrono::milliseconds d) { ::Sleep(DWORD(d.count())); }

App::App(const std::wstring& arguments, const std::vector<std::wstring>& environment, const std::wstring& exe,
         const std::wstring& outputFile) {
  std::vector<std::pair<std::wstring, std::wstring>> saved;
  for (const std::wstring& entry : environment) {
    const std::size_t eq = entry.find(L'=');
    const std::wstring name = entry.substr(0, eq);
    wchar_t old[4096];
    const DWORD n = GetEnvironmentVariableW(name.c_str(), old, 4096);
    saved.emplace_back(name, n ? std::wstring(old, n) : std::wstring(L"\x01"));
    SetEnvironmentVariableW(name.c_str(), entry.substr(eq + 1).c_str());
  }
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  HANDLE output = INVALID_HANDLE_VALUE;
  if (!outputFile.empty()) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    output = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = si.hStdError = output;
  }
  CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE, 0, nullptr, nullptr,
                 &si, &pi_);
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  for (const auto& [name, value] : saved)
    SetEnvironmentVariableW(name.c_str(), value == L"\x01" ? nullptr : value.c_str());
}

App::~App() {
  if (pi_.hProcess) {
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) Kill();
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
}

bool App::WaitForWindow(std::chrono::milliseconds timeout) {
  if (!pi_.hProcess) return false;
  return WaitUntil([&] { return (window_ = FindTopWindow(pi_.dwProcessId, L"TMainForm")) != nullptr; }, timeout);
}

HWND App::Control(int id) const {
  FindChild f{id, nullptr};
  if (window_) EnumChildWindows(window_, FindChildProc, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

std::wstring App::Text(int id) const { return WindowText(Control(id)); }

void App::SetText(int id, const std::wstring& text) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, &r);
}

void App::Click(int id) {
  HWND hwnd = Control(id);
  PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
  PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

void App::PressKey(int id, UINT vk) {
  HWND hwnd = Control(id);
  PostMessageW(hwnd, WM_KEYDOWN, vk, 1);
  PostMessageW(hwnd, WM_KEYUP, vk, 0xC0000001);
}

HWND App::Focus() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!window_ || !GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

HWND App::ActiveWindow() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!window_ || !GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info)) return nullptr;
  return info.hwndActive;
}

bool App::PressKeyInFocus(UINT vk) {
  HWND focus = Focus();
  if (!focus) return false;
  PostMessageW(focus, WM_KEYDOWN, vk, 1);
  PostMessageW(focus, WM_KEYUP, vk, 0xC0000001);
  return true;
}

bool App::Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
bool App::Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

int App::Page() const {
  const int pages[] = {ferrune::ids::PageMain, ferrune::ids::PageEncrypt, ferrune::ids::PageDecrypt,
                       ferrune::ids::PageError};
  int visible = -1;
  for (int i = 0; i < 4; ++i) {
    if (Visible(pages[i])) {
      if (visible != -1) return -2;  // two pages at once is a fault
      visible = i;
    }
  }
  return visible;
}

bool App::WaitForPage(int page, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return Page() == page; }, timeout);
}

std::wstring App::WaitForStatusOtherThan(const std::wstring& text, std::chrono::milliseconds timeout) const {
  // The status page with some other, non-empty text: a click still in the
  // queue must not pass for an outcome.
  std::wstring now;
  WaitUntil([&] { return Page() == 3 && !(now = Text(ferrune::ids::Panel13)).empty() && now != text; }, timeout);
  return now;
}

std::optional<MessageBoxInfo> App::WaitForMessageBox(std::chrono::milliseconds timeout) const {
  HWND box = nullptr;
  if (!WaitUntil([&] { return (box = FindTopWindow(pi_.dwProcessId, L"#32770")) != nullptr; }, timeout))
    return std::nullopt;
  MessageBoxInfo info;
  info.hwnd = box;
  WaitUntil([&] { return !WindowText(GetDlgItem(box, 0xFFFF)).empty(); }, 2s);
  info.caption = WindowText(box);
  info.text = WindowText(GetDlgItem(box, 0xFFFF));
  for (int iconId : {20, 0x0440}) {
    HWND icon = GetDlgItem(box, iconId);
    if (icon && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0)) info.hasIcon = true;
  }
  for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
    HWND button = GetDlgItem(box, id);
    if (button && IsWindowVisible(button)) info.buttons.push_back(id);
  }
  for (int id : info.buttons) {
    if (GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & BS_DEFPUSHBUTTON) info.defaultButton = id;
  }
  return info;
}

bool App::MessageBoxShowing() const { return FindTopWindow(pi_.dwProcessId, L"#32770") != nullptr; }

void App::Answer(const MessageBoxInfo& box, int button) {
  PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.hwnd, button)));
  WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); }, 5s);
}

std::optional<DWORD> App::WaitForExit(std::chrono::milliseconds timeout) {
  if (WaitForSingleObject(pi_.hProcess, DWORD(timeout.count())) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(pi_.hProcess, &code);
  return code;
}

void App::Close() { PostMessageW(window_, WM_CLOSE, 0, 0); }

void App::Kill() {
  TerminateProcess(pi_.hProcess, 99);
  WaitForSingleObject(pi_.hProcess, 5000);
}

COLORREF App::ClientPixel(int x, int y) const {
  POINT pt{x, y};
  ClientToScreen(window_, &pt);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, pt.x, pt.y);
  ReleaseDC(nullptr, screen);
  return c;
}

RECT App::ControlRect(int id) const {
  RECT rc{};
  HWND hwnd = Control(id);
  GetWindowRect(hwnd, &rc);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

void App::Screenshot(const std::wstring& name) const {
  ::Sleep(300);  // let the last paint reach the screen
  RECT rc{};
  GetWindowRect(window_, &rc);
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = ferrune::TopDown32(w, h);
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
  GdiFlush();
  std::vector<std::uint8_t> rgb(std::size_t(w) * std::size_t(h) * 3);
  const auto* px = static_cast<const std::uint8_t*>(bits);
  for (std::size_t i = 0; i < std::size_t(w) * std::size_t(h); ++i) {
    rgb[i * 3] = px[i * 4 + 2];
    rgb[i * 3 + 1] = px[i * 4 + 1];
    rgb[i * 3 + 2] = px[i * 4];
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  WriteFileBytes(ScreenshotDir() + L"\\" + name + L".png", EncodePng(w, h, rgb));
}

}  // namespace e2e
