// A build without the test switches (a release): no job ever waits.
#include "core/job_pause.h"

namespace ferrune {

void PauseForTest(JobStep) {}

}  // namespace ferrune
