// The two encodings a settings file comes in (UTF-8, and code page 1251 of the original's own files), made UTF-8.
#pragma once

// True when the first nLen bytes of p are well-formed UTF-8 (no overlong forms, no surrogates, nothing
// beyond U+10FFFF). ASCII is UTF-8.
bool IsUtf8(const char* p, int nLen);

// Makes the terminated text in pszText (a buffer of nSize bytes) UTF-8 in place: a text that is UTF-8
// already stays as it is; any other is read as code page 1251, never as the PC's own code page, which
// differs from PC to PC. A result that does not fit is cut at a character boundary.
void TextToUtf8(char* pszText, int nSize);
