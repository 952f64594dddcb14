// Fuzz target: the recognition of the indicators' replies (the shape test ReadReply applies to one read),
// against the shapes written out here position by position.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "reply_shape.h"

namespace {

bool At(const uint8_t* p, int nLen, int nPos, char c) { return nPos < nLen && p[nPos] == static_cast<uint8_t>(c); }

bool ExpectHl(const uint8_t* p, int nLen)
{
    return nLen >= 33 && At(p, nLen, 1, 'H') && At(p, nLen, 2, 'L') && At(p, nLen, 3, '\r') && At(p, nLen, 4, '\n') &&
           At(p, nLen, 5, 'C') && At(p, nLen, 6, 'D') && At(p, nLen, 31, '\r') && At(p, nLen, 32, '\n');
}

bool ExpectHt(const uint8_t* p, int nLen)
{
    if (nLen < 29 || !At(p, nLen, 1, 'H') || !At(p, nLen, 2, 'T') || !At(p, nLen, 4, '\r') || !At(p, nLen, 5, '\n') ||
        !At(p, nLen, 27, '\r') || !At(p, nLen, 28, '\n'))
        return false;
    for (int i = 6; i <= 26; ++i)
        if (p[i] < '0' || p[i] > '9')
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // One read delivers at most 64 bytes; a copy of exactly that size lets ASan see any read past it.
    const int nLen = nSize > 64 ? 64 : static_cast<int>(nSize);
    std::vector<uint8_t> block(pData, pData + nLen);
    const uint8_t* p = block.empty() ? nullptr : block.data();
    const bool bHl = IsHlReply(p, nLen);
    const bool bHt = IsHtReply(p, nLen);
    FUZZ_CHECK(bHl == ExpectHl(p, nLen));
    FUZZ_CHECK(bHt == ExpectHt(p, nLen));
    FUZZ_CHECK(!(bHl && bHt));
    FUZZ_CHECK(IsReplyShape(p, nLen) == (bHl || bHt));
    return 0;
}
