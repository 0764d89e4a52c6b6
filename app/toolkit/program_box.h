// The program's message boxes, modal to the whole program.
#pragma once

#include <windows.h>

#include <string>

namespace ferrune {

// A standard message box captioned with the application title; returns the
// answer. While the main window shows, the box is owned by it and so stands
// above it, always-on-top as it may be; before and after, it is topmost itself.
// The application's window, which carries the taskbar button, is disabled
// for as long as the box shows, so that nothing minimises, closes or
// activates the program past it.
int ShowProgramBox(const std::wstring& text, UINT flags);

}  // namespace ferrune
