// Program entry: the application title, the one window, the message loop.
#include <windows.h>

#include <commctrl.h>

#include "app/application.h"
#include "app/error_box.h"
#include "app/fault_injection.h"
#include "app/main_form.h"
#include "core/texts.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace ferrune;
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);

  TApplication& app = TApplication::Instance();
  app.Initialize(instance);
  app.SetTitle(texts::kApplicationTitle);
  ApplyFaultInjection();
  try {
    TMainForm form;
    MainForm = &form;
    form.Create();
    app.SetMainForm(form.Handle());
    app.ShowOwner();
    form.Show();
    app.Run();
    // Every way out releases the context (the key store is written then).
    CryptProvider.Release();
    if (HANDLE worker = form.WorkerThread()) WaitForSingleObject(worker, 30000);
  } catch (...) {
    ShowCurrentErrorBox();
    return 1;
  }
  return 0;
}
