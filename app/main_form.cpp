#include "app/main_form.h"

#include <commctrl.h>
#include <shellapi.h>
#include <uxtheme.h>

#include <cwchar>

#include "app/application.h"
#include "app/control_ids.h"
#include "app/error.h"
#include "app/fault_injection.h"
#include "app/form_design.h"
#include "app/logic/dispatch.h"
#include "app/logic/window_position.h"
#include "app/password_bytes.h"
#include "app/program_box.h"
#include "app/program_path.h"
#include "app/thread.h"
#include "app/trace.h"
#include "app/ui_control.h"
#include "app/worker_messages.h"
#include "app/workers.h"
#include "core/file_job.h"
#include "core/password_rules.h"
#include "core/texts.h"
#include "core/utf.h"
#include "shell/shell_integration.h"

namespace ferrune {

TMainForm* MainForm = nullptr;
std::wstring TargetFile;
bool DecryptSucceeded = false;
CryptContext CryptProvider;

void ReleaseCryptProvider() {
  if (!CryptProvider.available()) return;
  CryptProvider.Release();
  Trace(L"provider released");
}

namespace {

constexpr wchar_t kFormClass[] = L"TMainForm";
constexpr DWORD kFormStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;

bool IsDescendant(HWND ancestor, HWND hwnd) {
  for (; hwnd; hwnd = GetParent(hwnd)) {
    if (hwnd == ancestor) return true;
  }
  return false;
}

}  // namespace

TMainForm::TMainForm() = default;

TMainForm::~TMainForm() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void TMainForm::Create() {
  HINSTANCE instance = TApplication::Instance().ModuleInstance();
  TControl::RegisterClass(instance);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hIcon = TApplication::Instance().Icon(ICON_BIG);
  wc.hIconSm = TApplication::Instance().Icon(ICON_SMALL);
  wc.lpszClassName = kFormClass;
  if (!RegisterClassExW(&wc)) throw Error(texts::kCannotRegisterClass);
  // Owned by the application's window, which has the taskbar button.
  if (!CreateWindowExW(kFormExStyle, kFormClass, texts::kWindowCaption, kFormStyle, 0, 0, 0, 0,
                       TApplication::Instance().Handle(), nullptr, instance, this)) {
    throw Error(texts::kCannotCreateWindow);
  }
  dpi_ = int(GetDpiForWindow(hwnd_));
  if (dpi_ <= 0) dpi_ = 96;
  themed_ = IsThemeActive() && IsAppThemed();
  logo_ = LogoImage::Load(instance, L"LOGO");
  MakeFonts();
  BuildControls();
  LayOut();
  // The toolkit's creation step: an error from the handler is shown, and the
  // window is created and shown all the same.
  try {
    FormCreate();
  } catch (...) {
    ShowCurrentErrorBox();
  }
}

void TMainForm::Show() {
  FormShow();
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
}

void TMainForm::MakeFonts() {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(8, dpi_, 72);
  lf.lfWeight = FW_NORMAL;
  // Tahoma in its Cyrillic set, as the window was designed. The texts are
  // drawn as Unicode, so the set keeps none of them out; it only steers the
  // font mapper where Tahoma itself is missing.
  lf.lfCharSet = RUSSIAN_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  wcscpy_s(lf.lfFaceName, L"Tahoma");
  font_.reset(CreateFontIndirectW(&lf));
  lf.lfUnderline = TRUE;
  underlineFont_.reset(CreateFontIndirectW(&lf));
}

void TMainForm::BuildControls() {
  HINSTANCE instance = TApplication::Instance().ModuleInstance();
  for (const ControlSpec& row : MainFormDesign()) {
    HWND parent = row.parent ? this->*row.parent : hwnd_;
    const DWORD visible = (row.look & kHidden) ? 0 : WS_VISIBLE;
    const DWORD child = WS_CHILD | WS_CLIPSIBLINGS | visible;
    HWND hwnd = nullptr;
    switch (row.kind) {
      case ControlKind::PasswordEdit:
        hwnd = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                               child | ((row.look & kTabStop) ? WS_TABSTOP : 0) | ES_PASSWORD | ES_AUTOHSCROLL, 0, 0, 0,
                               0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
        // The themed edit would show a bullet.
        if (hwnd) SendMessageW(hwnd, EM_SETPASSWORDCHAR, L'*', 0);
        break;
      case ControlKind::ProgressBar:
        hwnd = CreateWindowExW(0, PROGRESS_CLASSW, L"", child | PBS_SMOOTH, 0, 0, 0, 0, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
        if (hwnd) SendMessageW(hwnd, PBM_SETRANGE32, 0, 1000);
        break;
      default: {
        auto control = std::make_unique<TControl>(*this, row);
        const bool container =
            row.kind == ControlKind::Notebook || row.kind == ControlKind::Page || row.kind == ControlKind::GroupBox;
        hwnd = control->Create(parent, child | (container ? WS_CLIPCHILDREN : 0), container ? WS_EX_CONTROLPARENT : 0);
        controls_.push_back(std::move(control));
      }
    }
    if (!hwnd) throw Error(texts::kCannotCreateControl + std::wstring(row.name));
    this->*row.field = hwnd;
    hwnds_.push_back(hwnd);
  }
}

void TMainForm::LayOut() {
  const auto design = MainFormDesign();
  for (std::size_t i = 0; i < design.size(); ++i) {
    const ControlSpec& s = design[i];
    SetWindowPos(hwnds_[i], nullptr, Scale(s.left), Scale(s.top), Scale(s.width), Scale(s.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (s.kind == ControlKind::PasswordEdit) SendMessageW(hwnds_[i], WM_SETFONT, WPARAM(font_.get()), TRUE);
  }
  RECT rc{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  AdjustWindowRectExForDpi(&rc, kFormStyle, FALSE, kFormExStyle, UINT(dpi_));
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    monitor.rcMonitor = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    monitor.rcWork = monitor.rcMonitor;
  }
  const auto rect = [](const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; };
  const ScreenPoint at = InitialWindowPosition(w, h, rect(monitor.rcMonitor), rect(monitor.rcWork));
  SetWindowPos(hwnd_, nullptr, at.x, at.y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

const ControlSpec* TMainForm::SpecOf(HWND control) const {
  const auto design = MainFormDesign();
  for (std::size_t i = 0; i < hwnds_.size(); ++i) {
    if (hwnds_[i] == control) return &design[i];
  }
  return nullptr;
}

COLORREF TMainForm::BackgroundOf(HWND control) const {
  const ControlSpec* row = SpecOf(control);
  if (!row) return GetSysColor(COLOR_BTNFACE);
  // Under the themed look only the banners fill their own colour.
  if (row->color == kParentColor || (themed_ && !(row->look & kFillsWhenThemed))) {
    return row->parent ? BackgroundOf(this->*row->parent) : GetSysColor(COLOR_BTNFACE);
  }
  return row->color;
}

LRESULT TMainForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE: FormClose(); return 0;
    case WM_DESTROY: TApplication::Instance().Terminate(); return 0;
    case WM_COMMAND:
      // Enter and Esc, as the dialog manager reports them.
      if (LOWORD(wp) == IDOK) {
        // Only the password pages have a control that takes the keyboard.
        if (page_ == 1) Click(SpeedButton3, &TMainForm::SpeedButton3Click);
        if (page_ == 2) Click(SpeedButton1, &TMainForm::SpeedButton1Click);
        return 0;
      }
      if (LOWORD(wp) == IDCANCEL) {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        SaveFocus();
      } else if (!HIWORD(wp)) {
        RestoreFocus();
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_MINIMIZE) {
        TApplication::Instance().Minimize();
        return 0;
      }
      break;
    case WM_ENABLE:
      if (wp) PostMessageW(hwnd_, WM_APP_REACTIVATE, 0, 0);
      return 0;
    case WM_APP_REACTIVATE: ReactivateAfterBox(); return 0;
    case WM_APP_PROGRESS: Progress(unsigned(wp)); return 0;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wp);
      MakeFonts();
      LayOut();
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
      InvalidateRect(hwnd_, nullptr, TRUE);
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

// --- start-up

void TMainForm::FormCreate() {
  // A refused registry write is reported, but the user can still work.
  try {
    RegisterShellIntegration();
  } catch (...) {
    ShowCurrentErrorBox();
  }
  // FERRUNE_FAULT=noprovider: a start in which no context could be had.
  if (!FaultRequested(L"noprovider")) CryptProvider = CryptContext::Open();
  const bool renewed = CryptProvider.RenewKeyPairs();
  const wchar_t* kind = CryptProvider.kind() == CryptContext::Kind::Container   ? L"container"
                        : CryptProvider.kind() == CryptContext::Kind::Ephemeral ? L"ephemeral"
                                                                                : L"none";
  Trace(std::wstring(L"provider=") + kind + (renewed ? L" renewed" : L""));
  Trace(std::wstring(L"look look=") + (themed_ ? L"themed" : L"classic") + L" dpi=" + std::to_wstring(dpi_));
}

void TMainForm::FormShow() {
  const DispatchResult result = Dispatch(GetCommandLineW());
  TargetFile = result.targetFile;
  switch (result.choice) {
    case PageChoice::Information: ShowPage(0); break;
    case PageChoice::Encrypt: ShowPage(1); break;
    case PageChoice::Decrypt: ShowPage(2); break;
    case PageChoice::AlreadyEncrypted: ShowResult(texts::kAlreadyEncrypted); break;
  }
  Trace(L"dispatch page=" + std::to_wstring(page_) + L" target=" + TargetFile);
}

void TMainForm::FormClose() {
  if (workerRunning_) {
    // Waiting here would deadlock, since the completion is a synchronous
    // call onto this thread.
    StopWorkerToClose();
    return;
  }
  ReleaseCryptProvider();
  DestroyWindow(hwnd_);
}

void TMainForm::StopWorkerToClose() {
  // A cancel: the worker stops at its next chunk and its completion ends
  // the program.
  cancel_ = true;
  closing_ = true;
  ShowWindow(hwnd_, SW_HIDE);
  TApplication::Instance().HideOwner();
}

bool TMainForm::OutwaitWorker(DWORD milliseconds) {
  // Without a handle to wait on, a running worker is not waited for.
  if (!workerThread_) return !workerRunning_;
  // The loop ends with a worker running only on a WM_QUIT from outside: the
  // worker is stopped as by a close, and its calls onto this thread are
  // served here, since the loop that served them has ended.
  if (workerRunning_) StopWorkerToClose();
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    ServeSynchronizeQueue();
    const DWORD wait = WaitForSingleObject(workerThread_.get(), 10);
    if (wait == WAIT_OBJECT_0) {
      // A completion handed over to this thread as the worker ended.
      ServeSynchronizeQueue();
      return true;
    }
    if (wait != WAIT_TIMEOUT || GetTickCount64() >= end) return false;
  }
}

// --- window operations

void TMainForm::ShowPage(int index) {
  if (index == page_ || index < 0 || index > 3) return;
  HWND pages[] = {MainPage, EncryptPage, DecryptPage, ErrorPage};
  HWND oldPage = pages[page_];
  HWND newPage = pages[index];
  const bool focusOnOld = IsDescendant(oldPage, GetFocus());
  ShowWindow(newPage, SW_SHOW);
  ShowWindow(oldPage, SW_HIDE);
  page_ = index;
  if (focusOnOld) SetFocus(FirstFocusOf(index));
  Trace(L"page=" + std::to_wstring(index));
}

void TMainForm::ShowResult(const std::wstring& message) {
  SetWindowTextW(Panel13, message.c_str());
  ShowWindow(ProgressBar1, SW_HIDE);
  EnableWindow(SpeedButton9, TRUE);
  EnableWindow(SpeedButton10, TRUE);
  ShowPage(3);
}

void TMainForm::ShowProgress(const std::wstring& message) {
  SetWindowTextW(Panel13, message.c_str());
  EnableWindow(SpeedButton9, FALSE);
  EnableWindow(SpeedButton10, FALSE);
  ShowPage(3);
}

void TMainForm::OpenUrl(const std::wstring& address) {
  wchar_t buffer[256] = {};
  wcsncpy_s(buffer, address.c_str(), _TRUNCATE);
  ShellExecuteW(hwnd_, L"open", buffer, nullptr, nullptr, SW_SHOW);
}

void TMainForm::Repaint() {
  InvalidateRect(hwnd_, nullptr, TRUE);
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TMainForm::Progress(unsigned permille) {
  if (!workerRunning_) return;
  if (!IsWindowVisible(ProgressBar1)) {
    SetWindowPos(ProgressBar1, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  }
  SendMessageW(ProgressBar1, PBM_SETPOS, permille, 0);
}

HWND TMainForm::FirstFocusOf(int page) const {
  // Pages 0 and 3 have no control that takes the focus: the form takes it,
  // so that Esc still reaches it.
  return page == 1 ? Password1 : page == 2 ? Password : hwnd_;
}

void TMainForm::SaveFocus() const {
  // Disabling the form for a box may already have taken the focus away, so
  // AskBox saves it too; an empty focus keeps what was saved.
  HWND focus = GetFocus();
  if (focus && (focus == hwnd_ || IsChild(hwnd_, focus))) savedFocus_ = focus;
}

void TMainForm::RestoreFocus() {
  // The first activation starts on the page's first edit; later ones return
  // to where the focus was, as the dialog manager does, unless that control
  // went with its page.
  const bool usable = activated_ && savedFocus_ && IsChild(hwnd_, savedFocus_) && IsWindowVisible(savedFocus_) &&
                      IsWindowEnabled(savedFocus_);
  activated_ = true;
  SetFocus(usable ? savedFocus_ : FirstFocusOf(page_));
}

void TMainForm::ReactivateAfterBox() {
  // A box that ends with nothing of the program active (a task-modal one
  // has no owner to give the activation back to): the form takes it unless
  // the user went elsewhere.
  if (!IsWindowVisible(hwnd_) || !IsWindowEnabled(hwnd_) || GetActiveWindow()) return;
  HWND foreground = GetForegroundWindow();
  DWORD process = 0;
  if (foreground) GetWindowThreadProcessId(foreground, &process);
  if (foreground && process != GetCurrentProcessId() && foreground != GetDesktopWindow()) return;
  SetForegroundWindow(hwnd_);
}

int TMainForm::AskBox(const std::wstring& text, UINT buttons) const {
  SaveFocus();
  return ShowProgramBox(text, buttons | MB_DEFBUTTON1);
}

// --- buttons

void TMainForm::Click(HWND control, void (TMainForm::*handler)()) {
  if (inClick_ || workerRunning_ || !IsWindowEnabled(hwnd_) || !IsWindowVisible(control) || !IsWindowEnabled(control)) {
    return;
  }
  inClick_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{inClick_};
  (this->*handler)();
}

void TMainForm::SpeedButton5Click() { OpenUrl(texts::kHelpPage); }
void TMainForm::SpeedButton4Click() { OpenUrl(texts::kHelpPage); }
void TMainForm::SpeedButton2Click() { OpenUrl(texts::kHelpPage); }
void TMainForm::Panel9Click() { OpenUrl(texts::kHomePage); }
void TMainForm::SpeedButton9Click() { ShowPage(0); }
void TMainForm::SpeedButton10Click() { TApplication::Instance().Terminate(); }

void TMainForm::SpeedButton6Click() {
  if (AskBox(texts::kAskRemove, MB_YESNO) == IDYES) RemoveShellIntegration();
}

bool TMainForm::ProviderAvailable() const {
  if (CryptProvider.available()) return true;
  AskBox(texts::kNoProvider, MB_OK);
  return false;
}

std::optional<SecretBytes> TMainForm::UsablePassword(const SecretWideText& text) const {
  std::optional<SecretBytes> bytes = PasswordBytes(text.text.data(), text.text.size());
  if (!bytes) AskBox(texts::kBadPasswordCharacters, MB_OK);
  return bytes;
}

void TMainForm::SpeedButton3Click() {
  if (!ProviderAvailable()) return;
  SecretWideText first, second;
  ReadEditText(Password1, first);
  ReadEditText(Password2, second);
  if (const PasswordCheck check = CheckNewPassword<wchar_t>(first.text, second.text); check != PasswordCheck::Ok) {
    AskBox(PasswordCheckText(check), MB_OK);
    return;
  }
  std::optional<SecretBytes> bytes = UsablePassword(first);
  if (!bytes) return;
  if (NeedsShortPasswordQuestion(bytes->size()) && AskBox(texts::kShortPassword, MB_YESNO) != IDYES) return;
  FileJob job;
  if (!MayWriteOutput(JobKind::Encrypt, job)) return;
  job.password = std::move(*bytes);
  ShowProgress(texts::kEncrypting);
  StartWorker(JobKind::Encrypt, std::move(job));
}

void TMainForm::SpeedButton1Click() {
  if (!ProviderAvailable()) return;
  SecretWideText text;
  ReadEditText(Password, text);
  if (const PasswordCheck check = CheckPassword<wchar_t>(text.text); check != PasswordCheck::Ok) {
    AskBox(PasswordCheckText(check), MB_OK);
    return;
  }
  std::optional<SecretBytes> bytes = PasswordBytes(text.text.data(), text.text.size());
  // A file of an earlier version may hold the standard conversion's bytes;
  // the outcome tells when those do not open it either.
  const bool standardBytes = !bytes;
  if (standardBytes) bytes = StandardPasswordBytes(text.text.data(), text.text.size());
  if (!bytes) {
    AskBox(texts::kBadPasswordCharacters, MB_OK);
    return;
  }
  FileJob job;
  if (!MayWriteOutput(JobKind::Decrypt, job)) return;
  job.password = std::move(*bytes);
  job.standardBytes = standardBytes;
  ShowProgress(texts::kDecrypting);
  StartWorker(JobKind::Decrypt, std::move(job));
}

bool TMainForm::MayWriteOutput(JobKind kind, FileJob& job) {
  const StandingOutput output = OutputStanding(kind);
  if (!output.stands) return true;
  // A file that cannot be looked at cannot be bound to the answer; the job
  // would refuse it all the same.
  if (!output.identity) {
    ShowResult(OutcomeText({Outcome::CannotWrite}, kind));
    return false;
  }
  // Yes destroys a file, so No is the default, as in the system's own box.
  if (AskBox(ReplaceQuestion(OutputFileName(kind, TargetFile)), MB_YESNO | MB_DEFBUTTON2) != IDYES) return false;
  job.replaceOnly = output.identity;
  return true;
}

void TMainForm::StartWorker(JobKind kind, FileJob job) {
  const bool encrypt = kind == JobKind::Encrypt;
  job.cancel = &cancel_;
  job.progressWindow = hwnd_;
  try {
    // Only the thread's handle comes back: the worker owns itself.
    if (encrypt) {
      workerThread_ = TThread::Start<TEncryptThread>([this](TThread* sender) { EncryptDone(sender); }, std::move(job));
    } else {
      workerThread_ = TThread::Start<TDecryptThread>([this](TThread* sender) { DecryptDone(sender); }, std::move(job));
    }
  } catch (...) {
    // Not stuck on the progress text with both buttons disabled.
    ShowResult(OutcomeText({Outcome::Failed}, kind));
    throw;
  }
  workerRunning_ = true;
  // The worker has its own copy; the edits' text is overwritten in place
  // (same length) and dropped, since no page leads back to them.
  for (HWND edit : {Password1, Password2, Password}) {
    const int length = GetWindowTextLengthW(edit);
    if (length == 0) continue;
    SetWindowTextW(edit, std::wstring(size_t(length), L'\x2022').c_str());
    SetWindowTextW(edit, L"");
  }
}

// --- file operations and their completion

bool TMainForm::EncryptFile(const std::wstring& path, StreamFiles& files, const SecretBytes& password,
                            const JobControl& control, Outcome& outcome) {
  outcome = EncryptFileWithProvider(CryptProvider.handle(), files, path, password, control);
  return outcome == Outcome::Success;
}

bool TMainForm::DecryptFile(const std::wstring& path, StreamFiles& files, const SecretBytes& password,
                            const JobControl& control, Outcome& outcome) {
  DecryptSucceeded = false;
  outcome = DecryptFileWithProvider(CryptProvider.handle(), files, path, password, control);
  DecryptSucceeded = outcome == Outcome::Success;
  return DecryptSucceeded;
}

std::wstring TMainForm::DecryptedFileName(const std::wstring& path) { return ferrune::DecryptedFileName(path); }

void TMainForm::WorkerEnded(const FileJob& job) {
  Trace(L"outcome=" + WideFromUtf8(std::string(OutcomeName(job.outcome))) +
        (job.kept != KeptReason::None ? L" kept" : L""));
  workerRunning_ = false;
  if (closing_) {
    // The user closed the window during the work: end the program now.
    ReleaseCryptProvider();
    DestroyWindow(hwnd_);
  }
}

void TMainForm::EncryptDone(TThread* sender) {
  const FileJob& job = static_cast<TEncryptThread*>(sender)->Job();
  WorkerEnded(job);
  if (!closing_) ShowResult(OutcomeText({job.outcome, job.kept}, JobKind::Encrypt));
}

void TMainForm::DecryptDone(TThread* sender) {
  const FileJob& job = static_cast<TDecryptThread*>(sender)->Job();
  WorkerEnded(job);
  if (closing_) return;
  const Outcome outcome = DecryptSucceeded ? Outcome::Success : job.outcome;
  const wchar_t* standardBytesText = job.standardBytes ? StandardBytesOutcomeText(outcome) : nullptr;
  ShowResult(standardBytesText ? standardBytesText : OutcomeText({outcome, job.kept}, JobKind::Decrypt));
}

// --- shell integration

void TMainForm::RegisterShellIntegration() { ferrune::RegisterShellIntegration(ShellRegistry(), ProgramPath()); }

void TMainForm::RemoveShellIntegration() {
  ferrune::RemoveShellIntegration(ShellRegistry());
  AskBox(texts::kRemoved, MB_OK);
}

}  // namespace ferrune
