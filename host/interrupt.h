// Stopping a run from outside: Ctrl+C (under Wine, SIGINT), Ctrl+Break, or
// the console window being closed. The console's handler only records the
// stop; the host's own thread then ends the build at its next step, and no
// file is committed once a stop was recorded, so an interrupted run leaves
// nothing behind and earlier files as they were.
#pragma once

#include <functional>

// Installs the console handler. Returns false when the console refuses it.
bool InstallInterruptHandler();

// The signal number of the recorded stop, as a POSIX shell counts it
// (2 for Ctrl+C), or 0 while none was recorded.
int InterruptSignal();

// Runs commit unless a stop was recorded; a stop cannot be recorded while it
// runs. Returns false, without running it, after a stop.
bool CommitUnlessInterrupted(const std::function<bool()>& commit);

// Records a stop as the console handler does (a stop lasts for the run).
void RecordInterrupt(int signalNumber);

// Tells a handler that waits for the host (a closing console gives it a few
// seconds) that the host is done with its files.
void InterruptibleWorkDone();
