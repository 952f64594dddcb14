// Text helpers of the record lines and replies: field reading, two-digit padding, the tuning row.
#pragma once

#include <cstdint>

#include "decimal_text.h"  // ReadDecimal, FormatDecimal: the record lines' numbers

// The longest field of a value list that is read as a number. Weights are five characters; a longer
// field is not something an indicator sent, and it reads as 0 (it still counts as a field, so the
// fields after it keep their places).
inline constexpr int kMaxFieldChars = 7;

// Exactly two characters of a number text: "7" gives "07", "12" and "123" give "12", "" gives "00".
// pszOut holds 3 bytes and is terminated.
void PadTwoDigits(const char* pszNumber, char* pszOut);
// Field nField (counted from 1) of a comma-separated list. True with the value when the field
// exists (an empty field between commas reads 0), false with 0 when the list is empty or has no such
// field. A list that ends with a comma has an empty field after it: every field number past its end
// then gives 0 and true. The list is read up to its terminator.
bool GetField(const char* pszList, int nField, int32_t* pnValue);
// The six tuning values of an HT reply from its 21 digits (reply positions 6 to 26), widths 5, 5, 4, 3, 2, 2.
void ParseTuneRow(const uint8_t* pDigits, int32_t anValues[6]);

// One record (a line of the record text or of a data file, without "|" or CR LF) read in a single
// pass, giving what SplitKeyValue(line, 128, ...) followed by GetField(value list, 1..10) gives:
// the header is the text before the first "="; the value list is the text after it with every later
// "=" dropped; a line that starts with ";", is longer than 128 characters or has no "=" has an empty
// header and no values. Records are scanned this way because a chart pass reads 11,388 of them.
struct CRecordFields {
    const char* pHeader = nullptr;  // into the line
    int nHeaderLen = 0;
    int nFields = 0;                // fields of the value list, counted up to 10; 0 for an empty list
    int32_t anValues[10] = {};      // field k + 1, 0 when missing, empty or longer than kMaxFieldChars
};
void SplitRecord(const char* pLine, int nLen, CRecordFields* pOut);
