// A wait that only tests switch on, so that another process can act at a
// known moment of a job. FERRUNE_TEST_PAUSE names a file; FERRUNE_TEST_PAUSE_AT
// names the step ("open" when unset: "open", "middle", "written", "commit",
// "delete").
// At that step the job creates the file and waits until it is removed (two
// minutes at most). Once per process; nothing happens without the variable.
#pragma once

namespace ferrune {

enum class JobStep {
  Open,     // the input is taken, and so is an output it may replace
  Middle,   // part of the input has been worked through
  Written,  // all of it is written; the proof may still run
  Commit,   // proven and flushed, right before the rename
  Delete,   // the output in place and the input checked, right before it goes
};

void PauseForTest(JobStep step);

}  // namespace ferrune
