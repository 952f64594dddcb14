// Keeping the PC awake while the indicators are polled: a PC asleep mid-production loses every batch it sleeps through.
#pragma once

// bOn: from now on the system must not fall asleep by itself (its idle timer); false lets it again.
// Calls in a row with the same value change nothing. The display may still switch off.
//
// Windows (keep_awake_win32.cpp): SetThreadExecutionState, whose request belongs to the calling
// thread and ends with it. Call both OsKeepSystemAwake(true) and OsKeepSystemAwake(false) on the same
// thread, one that lives as long as the polling does (the line thread).
// POSIX (keep_awake_posix.cpp): a logind "sleep" inhibitor over the D-Bus system bus, held until
// released; where there is no system bus or no logind, nothing happens and nothing is reported.
void OsKeepSystemAwake(bool bOn);

// The time the system has spent asleep (suspended or hibernated) since it started, in ms; only its
// growth means anything. A port does not survive a sleep (a USB adapter is reset, the device behind
// it may be another): the line thread treats a growth of more than a second as a hung-up line.
// POSIX: CLOCK_BOOTTIME minus CLOCK_MONOTONIC. Windows: the tick count minus the unbiased interrupt time.
long long OsSystemSleepMs();
