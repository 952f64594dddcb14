// The system's own text for one of its error codes, as UTF-8: shown to the operator in notices and the log.
#pragma once

// The text of nCode (an errno value on POSIX, a GetLastError code on Windows; the caller keeps the
// code it was given), without a trailing line end, terminated and cut to nSize bytes at a character
// boundary; empty for 0. POSIX: strerror_r. Windows: FormatMessageW in the user's language, made UTF-8
// ("error N" when the system has no text for it).
void OsErrorText(unsigned long nCode, char* pszBuf, int nSize);

// Copies the first nLen bytes of the UTF-8 text pszText into pszBuf, cut to nSize - 1 bytes without
// leaving half of a multi-byte character, and terminates it. Nothing for a null or empty buffer.
void OsCopyTextCut(const char* pszText, int nLen, char* pszBuf, int nSize);
