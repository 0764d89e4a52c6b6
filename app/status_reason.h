// The text below the outcome on the status page: why.
#pragma once

#include <string>

#include "core/file_job.h"

namespace ferrune {

// Why the input stayed, where a file set aside went and what the system
// said, each a sentence of its own, in the tool's order, joined by a space
// into one paragraph that wraps; empty when there is nothing to tell.
std::wstring StatusReason(const FileJobResult& result);

}  // namespace ferrune
