// Pausing the calling thread for a number of milliseconds.
#pragma once

// Returns at once for 0 or less; a signal on POSIX does not cut the pause short.
void OsSleepMs(int nMs);
