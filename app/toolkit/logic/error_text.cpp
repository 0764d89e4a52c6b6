#include "app/toolkit/logic/error_text.h"

namespace ferrune {

std::wstring WithFullStop(std::wstring message) {
  if (!message.empty() && message.back() > L'.') message += L'.';
  return message;
}

}  // namespace ferrune
