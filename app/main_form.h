// The one window of the program: four pages, their buttons and messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "app/toolkit/form.h"
#include "core/outcome.h"
#include "core/output_names.h"
#include "core/secret_bytes.h"
#include "platform/win32/crypt_context.h"
#include "platform/win32/file_crypt.h"
#include "platform/win32/win_handles.h"

namespace ferrune {

class TThread;
struct FileJob;
struct SecretWideText;

class TMainForm : public TForm<TMainForm> {
 public:
  TMainForm();

  // Window operations.
  void ShowPage(int index);
  void ShowProgress(const std::wstring& message);
  // The outcome, and below it why, when there is something to tell.
  void ShowResult(const std::wstring& message, const std::wstring& reason = {});
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

  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  // Controls, in their declared order.
  HWND Notebook1{}, GroupBox1{}, Password{}, Panel1{}, SpeedButton1{}, SpeedButton2{}, GroupBox3{}, Password1{},
      GroupBox4{}, Password2{}, Panel2{}, SpeedButton3{}, SpeedButton4{}, Panel3{}, Panel4{}, Panel5{}, SpeedButton5{},
      SpeedButton6{}, Panel7{}, Panel9{}, Panel11{}, Image3{}, Panel12{}, SpeedButton9{}, SpeedButton10{}, Panel13{},
      Panel8{}, Panel14{}, Panel15{}, Panel16{}, Panel17{};
  // The pages of Notebook1 (Main, Encrypt, Decrypt, Error) and the progress bar.
  HWND MainPage{}, EncryptPage{}, DecryptPage{}, ErrorPage{}, ProgressBar1{};

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

 private:
  void FormCreate() override;
  void FormShow() override;
  void FormClose() override;
  void EnterPressed() override;
  HWND FirstFocus() const override { return FirstFocusOf(page_); }
  // One job per window.
  bool Busy() const override { return workerRunning_; }
  void RegisterShellIntegration();
  void RemoveShellIntegration();

  bool ProviderAvailable() const;
  // False when the job may not start: the user did not agree to replace
  // the file under the output name, or it cannot be looked at (said so).
  bool MayWriteOutput(JobKind kind, FileJob& job);
  void StartWorker(JobKind kind, FileJob job);
  void WorkerEnded(const FileJob& job);
  std::optional<SecretBytes> UsablePassword(const SecretWideText& text) const;
  void Progress(unsigned permille);
  HWND FirstFocusOf(int page) const;
  void LayOutStatus();
  void StopWorkerToClose();

  int page_ = 0;
  bool workerRunning_ = false;
  bool closing_ = false;
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
