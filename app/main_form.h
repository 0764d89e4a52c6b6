// The one window of the program: four pages, their buttons and messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/base_window.h"
#include "app/logo_image.h"
#include "core/outcome.h"
#include "core/output_names.h"
#include "core/secret_bytes.h"
#include "platform/win32/crypt_context.h"
#include "platform/win32/file_crypt.h"
#include "platform/win32/win_handles.h"

namespace ferrune {

class TControl;
class TThread;
struct ControlSpec;
struct FileJob;
struct SecretWideText;

class TMainForm : public BaseWindow<TMainForm> {
 public:
  TMainForm();
  ~TMainForm();

  // Creates the window (hidden) and runs FormCreate inside.
  void Create();
  // Runs FormShow, then shows the window.
  void Show();

  // Window operations.
  void ShowPage(int index);
  void ShowProgress(const std::wstring& message);
  void ShowResult(const std::wstring& message);
  void OpenUrl(const std::wstring& address);
  void Repaint();

  // File operations the workers call; both leave `outcome` set.
  bool EncryptFile(const std::wstring& path, StreamFiles& files, const SecretBytes& password, const JobControl& control,
                   Outcome& outcome);
  bool DecryptFile(const std::wstring& path, StreamFiles& files, const SecretBytes& password, const JobControl& control,
                   Outcome& outcome);
  static std::wstring DecryptedFileName(const std::wstring& path);

  // Completion handlers, run on the user-interface thread.
  void EncryptDone(TThread* sender);
  void DecryptDone(TThread* sender);

  // Before the process ends: stops a worker still running and waits for its
  // end, at most `milliseconds`; true when no worker runs any more.
  bool OutwaitWorker(DWORD milliseconds);

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

  // Controls, in their declared order.
  HWND Notebook1{}, GroupBox1{}, Password{}, Panel1{}, SpeedButton1{}, SpeedButton2{}, GroupBox3{}, Password1{},
      GroupBox4{}, Password2{}, Panel2{}, SpeedButton3{}, SpeedButton4{}, Panel3{}, Panel4{}, Panel5{}, SpeedButton5{},
      SpeedButton6{}, Panel7{}, Panel9{}, Panel11{}, Image3{}, Panel12{}, SpeedButton9{}, SpeedButton10{}, Panel13{},
      Panel8{}, Panel14{}, Panel15{}, Panel16{};
  // The pages of Notebook1 (Main, Encrypt, Decrypt, Error) and the progress bar.
  HWND MainPage{}, EncryptPage{}, DecryptPage{}, ErrorPage{}, ProgressBar1{};

  // Runs a control's click handler, or Enter's. One job per window: a
  // control of a hidden page, a click while a box of the program shows (its
  // loop dispatches what was queued before it) or while a job runs does
  // nothing.
  void Click(HWND control, void (TMainForm::*handler)());

  // Click handlers.
  void SpeedButton5Click();
  void SpeedButton10Click();
  void SpeedButton9Click();
  void SpeedButton6Click();
  void Panel9Click();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void SpeedButton1Click();
  void SpeedButton2Click();

  // Look shared by the controls.
  bool Themed() const { return themed_; }
  HFONT Font(bool underline) const { return underline ? underlineFont_.get() : font_.get(); }
  int Scale(int designPixels) const { return MulDiv(designPixels, dpi_, 96); }
  const LogoImage& Logo() const { return logo_; }
  COLORREF BackgroundOf(HWND control) const;

 private:
  void FormCreate();
  void FormShow();
  void FormClose();
  void RegisterShellIntegration();
  void RemoveShellIntegration();

  void BuildControls();
  void LayOut();
  void MakeFonts();
  const ControlSpec* SpecOf(HWND control) const;
  int AskBox(const std::wstring& text, UINT buttons) const;
  bool ProviderAvailable() const;
  // False when the job may not start: the user did not agree to replace
  // the file under the output name, or it cannot be looked at (said so).
  bool MayWriteOutput(JobKind kind, FileJob& job);
  void StartWorker(JobKind kind, FileJob job);
  void WorkerEnded(const FileJob& job);
  std::optional<SecretBytes> UsablePassword(const SecretWideText& text) const;
  void Progress(unsigned permille);
  HWND FirstFocusOf(int page) const;
  void SaveFocus() const;
  void RestoreFocus();
  void ReactivateAfterBox();
  void StopWorkerToClose();

  std::vector<std::unique_ptr<TControl>> controls_;
  std::vector<HWND> hwnds_;  // parallel to the design rows
  GdiObject<HFONT> font_, underlineFont_;
  LogoImage logo_;
  int dpi_ = 96;
  int page_ = 0;
  bool themed_ = false;
  bool workerRunning_ = false;
  bool inClick_ = false;  // a handler runs, and perhaps waits for an answer
  bool closing_ = false;
  bool activated_ = false;             // once, before the first activation's focus
  mutable HWND savedFocus_ = nullptr;  // kept by the boxes of const handlers too
  std::atomic<bool> cancel_{false};
  UniqueHandle workerThread_;
};

// Process-wide values.
extern TMainForm* MainForm;
extern std::wstring TargetFile;
// The design's record of a decryption: DecryptFile sets it only once the
// plain file is in place, and DecryptDone tells a success by it. The job's
// outcome beside it says what went wrong otherwise, which a flag cannot.
extern bool DecryptSucceeded;
extern CryptContext CryptProvider;
// Releases the context once (the key store is written then).
void ReleaseCryptProvider();

}  // namespace ferrune
