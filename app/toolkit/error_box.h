// The standard error box: an error that escaped a handler, with a stop icon,
// modal to the whole program like its other boxes.
#pragma once

#include <exception>
#include <string>

namespace ferrune {

void ShowErrorBox(const std::wstring& message);
// Shows the message of the exception in flight; call from a catch block.
void ShowCurrentErrorBox();

}  // namespace ferrune
