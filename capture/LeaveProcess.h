// Ending a process that has used the sound input.  Qt 6.4's PulseAudio
// layer can crash while it is torn down at exit: its event thread still
// answers the server (an abort or a segfault in libpulse, 2 of 60 runs of
// parlune-measure on a loaded machine).  Once everything is written and
// every input closed, the process leaves without that teardown.
#pragma once

// Flushes the C streams, runs the leak check of a sanitizer build, and ends
// the process with this status without running destructors.
[[noreturn]] void LeaveProcess(int status);
