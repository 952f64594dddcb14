// Appending record lines to a data file: one write and one flush, a part-written write cut off again.
#pragma once

#include <string>

#include "file_access.h"

// How an append of record lines ended.
enum EAppendResult {
    APPEND_OK = 0,           // every byte written and flushed to the disk
    APPEND_NOT_WRITTEN = 1,  // nothing of it is in the file (refused, or a part cut off again)
    APPEND_NOT_FLUSHED = 2,  // written whole, but the flush failed: the lines are in the file and may
                             // still reach the disk, so they are not written again
    APPEND_TORN = 3,         // a part is in the file and could not be cut off: the file now ends
                             // inside a line
};

// Adds the data-file line of a pending record to strLines: the record without its last character
// (the trailing comma), then CR LF. False, adding nothing, for a text longer than any pending record.
bool AddRecordLine(std::string& strLines, const char* pszPending);

// True unless hFile is known to be no longer the file named pszPath: its last name was removed, or
// the name now leads to another file (an editor that saves by rename, sed -i, log rotation). A name
// that cannot be looked at (no permission) counts as the file's own.
bool IsStillNamed(OsFile hFile, const char* pszPath);

// Appends whole lines (pData, nCount bytes) at the end of the file in one write and flushes it.
// *pbNeedLineEnd: the file ends inside a line, so CR LF goes first; cleared once that is written.
// A record is kept only once it is on the disk, not merely in the system's cache.
EAppendResult AppendRecordLines(OsFile hFile, const char* pData, int nCount, bool* pbNeedLineEnd);
