// Recognition of the indicators' two reply shapes, kept pure so that tests and fuzzers can call it.
#pragma once

#include <cstdint>

// The HL reply: at least 33 bytes; "HL" CR LF "CD" at positions 1..6 and CR LF at 31, 32.
// Byte 0 (the address) and the 24 payload bytes at 7..30 are not examined.
bool IsHlReply(const uint8_t* pBlock, int nLen);
// The HT reply: at least 29 bytes; "HT" at 1, 2, CR LF at 4, 5 and at 27, 28, decimal digits at 6..26.
// Byte 0 (the address) and byte 3 (the record number) are not examined.
bool IsHtReply(const uint8_t* pBlock, int nLen);
// Either shape. The shape alone decides, not the request that was sent.
bool IsReplyShape(const uint8_t* pBlock, int nLen);
