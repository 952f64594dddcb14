// Keeping the PC awake while the indicators are polled: a PC asleep mid-production loses every batch it sleeps through.
#pragma once

// bOn: from now on the system must not fall asleep by itself (its idle timer); false lets it again.
// Calls in a row with the same value change nothing. The display may still switch off.
//
// Windows (keep_awake_win32.cpp): SetThreadExecutionState, whose request belongs to the calling
// thread and ends with it. Call both KeepSystemAwake(true) and KeepSystemAwake(false) on the same
// thread, one that lives as long as the polling does (the line thread).
// POSIX (keep_awake_posix.cpp): a logind "sleep" inhibitor over the D-Bus system bus, held until
// released; where there is no system bus or no logind, nothing happens and nothing is reported.
void KeepSystemAwake(bool bOn);
