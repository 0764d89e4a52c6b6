#include "app/error_box.h"

#include <windows.h>

#include <stdexcept>

#include "app/application.h"
#include "app/logic/error_text.h"
#include "core/texts.h"
#include "core/utf.h"

namespace ferrune {

void ShowErrorBox(const std::wstring& message) {
  const TApplication& app = TApplication::Instance();
  MessageBoxW(nullptr, WithFullStop(message).c_str(), app.Title().c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void ShowCurrentErrorBox() {
  try {
    throw;
  } catch (const std::exception& e) {
    ShowErrorBox(WideFromUtf8(e.what()));
  } catch (...) {
    ShowErrorBox(texts::kUnknownError);
  }
}

}  // namespace ferrune
