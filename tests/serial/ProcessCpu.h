// CPU time of the test process, for tests that check a wait does not spin.
#pragma once

namespace serial::testing_support {

// User and system CPU of this process so far, in seconds.
double ProcessCpuSeconds();

}  // namespace serial::testing_support
