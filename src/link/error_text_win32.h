// The system's own text for a Windows error code, as UTF-8: used by the Windows platform files.
#pragma once

// FormatMessage of dwError (the user's language), without the trailing line end, terminated and cut
// to nSize bytes at a character boundary; empty for 0.
void Win32ErrorText(unsigned long dwError, char* pszBuf, int nSize);
