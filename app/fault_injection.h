// Faults the end-to-end tests can ask for through FERRUNE_FAULT, for paths a
// healthy machine never takes (a thread that cannot be created, no provider).
#pragma once

namespace ferrune {

void ApplyFaultInjection();
bool FaultRequested(const wchar_t* name);

}  // namespace ferrune
