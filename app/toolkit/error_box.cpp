#include "app/toolkit/error_box.h"

#include <windows.h>

#include <stdexcept>

#include "app/toolkit/logic/error_text.h"
#include "app/toolkit/program_box.h"
#include "core/texts.h"
#include "core/utf.h"

namespace ferrune {

void ShowErrorBox(const std::wstring& message) { ShowProgramBox(WithFullStop(message), MB_OK | MB_ICONSTOP); }

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
