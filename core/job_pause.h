// A wait for the tests. A test must hold a real process (zrv, the window) at
// a known step of a job, to kill or interrupt it there or to start another
// job on its files, and nothing outside the process can stop it at such a
// step. FERRUNE_TEST_PAUSE names a file; FERRUNE_TEST_PAUSE_AT names the step
// ("open" when unset: "open", "middle", "written", "commit", "replacing",
// "delete", "removing"), or several separated by commas. At each the job
// creates the file and waits until it is removed (two minutes at most,
// cancel or not). Each step once per process; nothing happens without the
// variable. Only the test trees build it (FERRUNE_TEST_SWITCHES); a release
// has job_pause_none.cpp, which reads nothing.
#pragma once

namespace ferrune {

enum class JobStep {
  Open,       // the input is taken, and so is an output it may replace
  Middle,     // part of the input has been worked through
  Written,    // all of it is written; the proof may still run
  Commit,     // proven and flushed, right before the rename
  Replacing,  // the file under the output name set aside, before it is looked at
  Delete,     // the output in place and the input checked, right before it goes
  Removing,   // the input set aside on its way out, before it is looked at
};

void PauseForTest(JobStep step);

}  // namespace ferrune
