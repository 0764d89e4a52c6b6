// Program entry: the application title, the one window, the message loop.
#include <windows.h>

#include <commctrl.h>

#include "app/fault_injection.h"
#include "app/main_form.h"
#include "app/toolkit/application.h"
#include "app/toolkit/error_box.h"
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
    // Every way out releases the context, but only once no operation uses
    // it. A worker that will not end goes with the process, and the context
    // with it: ended here, since a return would run the static destructors,
    // which release the context and the worker's call queue under it.
    if (!form.OutwaitWorker(30000)) TerminateProcess(GetCurrentProcess(), 0);
    ReleaseCryptProvider();
  } catch (...) {
    ShowCurrentErrorBox();
    return 1;
  }
  return 0;
}
