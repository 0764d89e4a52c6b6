#include "app/status_reason.h"

#include <windows.h>

#include <string_view>

#include "platform/win32/win32_error_text.h"

namespace ferrune {
namespace {

// Our pieces start in lower case and end without a period, as the tool's
// line needs them; the system's end as the system ends them.
std::wstring Sentence(std::wstring text) {
  if (text.empty()) return text;
  CharUpperBuffW(text.data(), 1);
  if (std::wstring_view(L".!?\u3002\uFF01\uFF1F").find(text.back()) == std::wstring_view::npos) text += L'.';
  return text;
}

}  // namespace

std::wstring StatusReason(const FileJobResult& result) {
  const std::wstring cause = Sentence(CauseText(result, SystemErrorText));
  const bool causeFirst = CauseComesFirst(result);
  std::wstring reason;
  const auto add = [&reason](const std::wstring& sentence) {
    if (!sentence.empty()) reason += (reason.empty() ? L"" : L" ") + sentence;
  };
  if (causeFirst) add(cause);
  add(Sentence(KeptReasonText(result.kept)));
  add(Sentence(DisplacedText(result.displaced)));
  if (!causeFirst) add(cause);
  return reason;
}

}  // namespace ferrune
