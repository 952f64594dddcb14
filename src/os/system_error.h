// The system's own text for one of its error codes, as UTF-8: shown to the operator in notices and the log.
#pragma once

// The text of nCode (an errno value on POSIX, a GetLastError code on Windows; the caller keeps the
// code it was given), without a trailing line end, terminated and cut to nSize bytes at a character
// boundary; empty for 0. POSIX: strerror_r. Windows: FormatMessageW in the user's language, made UTF-8
// ("error N" when the system has no text for it).
void OsErrorText(unsigned long nCode, char* pszBuf, int nSize);

// For OsErrorText, in each platform file: writes the system's text of nCode (not 0) into pszOut,
// which holds nOut bytes, and returns its length in bytes (no terminator needed, at most nOut).
int OsSystemErrorText(unsigned long nCode, char* pszOut, int nOut);
