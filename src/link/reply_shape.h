// The indicators' two reply shapes and their layout: recognition and the fields' positions, kept pure so that tests and fuzzers can call them.
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

// Positions in an HL reply: the state code (recipe digit, dose digit) and the weight's five characters.
inline constexpr int kReplyPosRecipe = 8;
inline constexpr int kReplyPosDose = 9;
inline constexpr int kReplyPosWeight = 22;
inline constexpr int kReplyWeightChars = 5;
// Position of the 21 tuning digits in an HT reply (widths 5, 5, 4, 3, 2, 2).
inline constexpr int kReplyPosTuneDigits = 6;

// A reply of the right shape may still be another's: on a shared line a late reply of another
// indicator, or the reply to an earlier entry, has the same shape. The indicators echo the address
// at position 0, the request's letter at 2 and, in a tuning reply, the entry at 3. True when a
// recognised reply (of at least nLen >= 4 bytes) carries the asked ones.
bool IsReplyFrom(const uint8_t* pReply, int nLen, bool bTune, int nAddress, int nEntry);
