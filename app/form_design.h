// The main window's design as data: its frame, and one row per control.
#pragma once

#include <span>

#include "app/toolkit/design.h"

namespace ferrune {

class TMainForm;

const FormFrame& MainFormFrame();
// Rows in creation order: every parent comes before its children.
std::span<const ControlSpec<TMainForm>> MainFormDesign();

}  // namespace ferrune
