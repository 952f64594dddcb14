// The indicators' reply shapes: recognition of the HL and HT replies and of whose reply it is.
#include "reply_shape.h"

namespace {

constexpr int kHlReplyMin = 33;
constexpr int kHtReplyMin = 29;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;

}  // namespace

bool IsHlReply(const uint8_t* pBlock, int nLen)
{
    if (pBlock == nullptr || nLen < kHlReplyMin)
        return false;
    return pBlock[1] == 'H' && pBlock[2] == 'L' && pBlock[3] == kCr && pBlock[4] == kLf &&
           pBlock[5] == 'C' && pBlock[6] == 'D' && pBlock[31] == kCr && pBlock[32] == kLf;
}

bool IsHtReply(const uint8_t* pBlock, int nLen)
{
    if (pBlock == nullptr || nLen < kHtReplyMin)
        return false;
    if (pBlock[1] != 'H' || pBlock[2] != 'T' || pBlock[4] != kCr || pBlock[5] != kLf ||
        pBlock[27] != kCr || pBlock[28] != kLf)
        return false;
    for (int i = 6; i <= 26; ++i)
        if (pBlock[i] < '0' || pBlock[i] > '9')
            return false;
    return true;
}

bool IsReplyShape(const uint8_t* pBlock, int nLen)
{
    // HL first; the two cannot both match, position 2 differs.
    return IsHlReply(pBlock, nLen) || IsHtReply(pBlock, nLen);
}

bool IsReplyFrom(const uint8_t* pReply, int nLen, bool bTune, int nAddress, int nEntry)
{
    if (pReply == nullptr || nLen < 4)
        return false;
    return pReply[0] == static_cast<uint8_t>(nAddress) && pReply[2] == (bTune ? 'T' : 'L') &&
           (!bTune || pReply[3] == static_cast<uint8_t>(nEntry));
}
