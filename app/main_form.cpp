#include "app/main_form.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "app/fault_injection.h"
#include "app/form_design.h"
#include "app/logic/dispatch.h"
#include "app/password_bytes.h"
#include "app/program_path.h"
#include "app/status_reason.h"
#include "app/toolkit/application.h"
#include "app/toolkit/error_box.h"
#include "app/toolkit/thread.h"
#include "app/trace.h"
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

bool IsDescendant(HWND ancestor, HWND hwnd) {
  for (; hwnd; hwnd = GetParent(hwnd)) {
    if (hwnd == ancestor) return true;
  }
  return false;
}

}  // namespace

TMainForm::TMainForm() : TForm(MainFormFrame(), MainFormDesign()) {}

LRESULT TMainForm::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_APP_PROGRESS) {
    Progress(unsigned(wp));
    return 0;
  }
  const LRESULT result = TForm::HandleMessage(msg, wp, lp);
  // The texts take other room at another resolution.
  if (msg == WM_DPICHANGED) LayOutStatus();
  return result;
}

void TMainForm::EnterPressed() {
  // Only the password pages have a control that takes the keyboard.
  if (page_ == 1) Click(SpeedButton3);
  if (page_ == 2) Click(SpeedButton1);
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
  Trace(std::wstring(L"look look=") + (Themed() ? L"themed" : L"classic") + L" dpi=" + std::to_wstring(Dpi()));
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
  // Only the status page's texts grow the window.
  if (index != 3) SetGrowth(0);
  ShowWindow(newPage, SW_SHOW);
  ShowWindow(oldPage, SW_HIDE);
  page_ = index;
  if (focusOnOld) SetFocus(FirstFocusOf(index));
  Trace(L"page=" + std::to_wstring(index));
}

void TMainForm::ShowResult(const std::wstring& message, const std::wstring& reason) {
  SetWindowTextW(Panel17, reason.c_str());
  SetWindowTextW(Panel13, message.c_str());
  LayOutStatus();
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

// The outcome and the reason below it stand as one block, centred where the
// outcome alone stands; the window grows where the block needs more room.
void TMainForm::LayOutStatus() {
  constexpr int kGap = 4, kMargin = 4;
  const bool reasoned = GetWindowTextLengthW(Panel17) > 0;
  const int outcome = TextHeight(Panel13), reason = TextHeight(Panel17), gap = Scale(kGap);
  const int block = outcome + gap + reason;
  const RECT area = PlacedRect(Panel13);
  const int designed = int(area.bottom - area.top) - Growth();
  SetGrowth(reasoned ? std::max(0, block + 2 * Scale(kMargin) - designed) : 0);
  RECT at = PlacedRect(Panel13);
  if (reasoned) {
    at.top += (at.bottom - at.top - block) / 2;
    at.bottom = at.top + outcome;
    const RECT below = PlacedRect(Panel17);
    SetWindowPos(Panel17, nullptr, below.left, at.bottom + gap, below.right - below.left, reason,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetWindowPos(Panel13, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(Panel17, reasoned ? SW_SHOWNA : SW_HIDE);
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

// --- buttons

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
    FileJobResult refused{Outcome::CannotWrite};
    refused.cause = output.error;
    ShowResult(OutcomeText(refused, kind), StatusReason(refused));
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
  const FileJobResult& result = job.result;
  std::wstring line = L"outcome=" + WideFromUtf8(std::string(OutcomeName(result.outcome)));
  if (result.kept != KeptReason::None) line += L" kept";
  if (const FileError& cause = result.cause; !cause.ok()) {
    const wchar_t* domain = cause.domain == ErrorDomain::Win32   ? L"win32"
                            : cause.domain == ErrorDomain::Posix ? L"posix"
                                                                 : L"ferrune";
    const std::wstring code =
        cause.domain == ErrorDomain::Win32 ? std::to_wstring(std::uint32_t(cause.code)) : std::to_wstring(cause.code);
    line += L" cause=" + WideFromUtf8(std::string(FileOpName(cause.op))) + L" " + domain + L":" + code;
  }
  Trace(line);
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
  if (!closing_) ShowResult(OutcomeText(job.result, JobKind::Encrypt), StatusReason(job.result));
}

void TMainForm::DecryptDone(TThread* sender) {
  const FileJob& job = static_cast<TDecryptThread*>(sender)->Job();
  WorkerEnded(job);
  if (closing_) return;
  FileJobResult result = job.result;
  if (DecryptSucceeded) result.outcome = Outcome::Success;
  const wchar_t* standardBytesText = job.standardBytes ? StandardBytesOutcomeText(result.outcome) : nullptr;
  ShowResult(standardBytesText ? standardBytesText : OutcomeText(result, JobKind::Decrypt), StatusReason(result));
}

// --- shell integration

void TMainForm::RegisterShellIntegration() { ferrune::RegisterShellIntegration(ShellRegistry(), ProgramPath()); }

void TMainForm::RemoveShellIntegration() {
  ferrune::RemoveShellIntegration(ShellRegistry());
  AskBox(texts::kRemoved, MB_OK);
}

}  // namespace ferrune
