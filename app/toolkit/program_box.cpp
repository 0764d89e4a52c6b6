#include "app/toolkit/program_box.h"

#include "app/toolkit/application.h"

namespace ferrune {

int ShowProgramBox(const std::wstring& text, UINT flags) {
  TApplication& app = TApplication::Instance();
  HWND form = app.MainForm();
  HWND owner = form && IsWindow(form) && IsWindowVisible(form) ? form : nullptr;
  // Without an owner, a task-modal box disables every window of this thread.
  if (!owner) flags |= MB_TASKMODAL | MB_TOPMOST;
  HWND appWindow = app.Handle();
  // EnableWindow answers whether the window was disabled already: a box
  // shown from within a box leaves the enabling to the outer one.
  const bool disabledHere = owner && appWindow && !EnableWindow(appWindow, FALSE);
  const int answer = MessageBoxW(owner, text.c_str(), app.Title().c_str(), flags);
  // The box enabled the form again before it went, so the activation went
  // back to the form; the application's window follows it.
  if (disabledHere) EnableWindow(appWindow, TRUE);
  return answer;
}

}  // namespace ferrune
