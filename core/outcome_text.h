// The status page's text for the outcome of a file operation.
#pragma once

#include <string>

#include "outcome.h"

namespace ferrune {

// `inputKept`: the operation succeeded but its input could not be deleted.
std::wstring OutcomeText(Outcome outcome, bool encrypting, bool inputKept);

}  // namespace ferrune
