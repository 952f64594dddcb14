// Decimal numbers as text: the one saturating reader of the settings and the store, and the writer.
#pragma once

#include <climits>
#include <cstdint>

// Reads the leading decimal integer of the first nLen characters of p the way atoi does (leading
// blanks of the "C" locale, an optional sign, digits up to the first non-digit; 0 when none) without
// atoi's overflow: the value saturates at the int32 limits, as the Windows C library's atoi does (a
// settings value may hold sixty digits). Stops early at a terminator.
int32_t ReadDecimal(const char* p, int nLen);
// The same for a terminated text of any length.
inline int32_t ReadDecimal(const char* psz) { return ReadDecimal(psz, INT_MAX); }
// Writes n in decimal (a "-" for negatives, no leading zeros) and terminates it. pszOut holds at
// least 12 bytes. Returns the number of characters written.
int FormatDecimal(int32_t n, char* pszOut);
