// The two reply shapes: every accepted and refused form, as one table over IsHlReply/IsHtReply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reply_shape.h"

namespace {

using CBytes = std::vector<uint8_t>;

// A well-formed HL reply of 33 bytes: address, "HL" CR LF "CD", 24 payload bytes, CR LF.
CBytes HlReply(uint8_t byAddress = 5)
{
    const std::string strPayload = "000021000000000000001234";
    std::string str = std::string(1, static_cast<char>(byAddress)) + "HL\r\nCD" + strPayload + "\r\n";
    return CBytes(str.begin(), str.end());
}

// A well-formed HT reply of 29 bytes: address, "HT", record number, CR LF, 21 digits, CR LF.
CBytes HtReply(uint8_t byAddress = 5, uint8_t byParam = 23)
{
    std::string str = std::string(1, static_cast<char>(byAddress)) + "HT" + std::string(1, static_cast<char>(byParam)) +
                      "\r\n" + "012345678901234567890" + "\r\n";
    return CBytes(str.begin(), str.end());
}

CBytes With(CBytes by, size_t nPos, uint8_t byValue)
{
    by.at(nPos) = byValue;
    return by;
}

CBytes Cut(CBytes by, size_t nLen)
{
    by.resize(nLen);
    return by;
}

CBytes Plus(CBytes by, size_t nExtra, uint8_t byFill)
{
    by.insert(by.end(), nExtra, byFill);
    return by;
}

enum EShape { NONE, HL, HT };

struct CShapeRow {
    const char* pszName;
    CBytes abyBlock;
    EShape eShape;
};

std::vector<CShapeRow> ShapeTable()
{
    std::vector<CShapeRow> aRows = {
        {"HL of 33 bytes", HlReply(), HL},
        {"HL from another address", HlReply(99), HL},
        {"HL with address 0x0D", HlReply(0x0D), HL},
        {"HL with 7 further bytes (40)", Plus(HlReply(), 7, 'x'), HL},
        {"HL of 64 bytes", Plus(HlReply(), 31, 0), HL},
        {"HL with any payload", With(With(HlReply(), 7, 0xFF), 30, '\r'), HL},
        {"HL of 32 bytes", Cut(HlReply(), 32), NONE},
        {"HL with CE for CD", With(HlReply(), 6, 'E'), NONE},
        {"HL with lower-case hl", With(With(HlReply(), 1, 'h'), 2, 'l'), NONE},
        {"HL with LF CR at 3, 4", With(With(HlReply(), 3, '\n'), 4, '\r'), NONE},
        {"HL without CR at 31", With(HlReply(), 31, ' '), NONE},
        {"HL without LF at 32", With(HlReply(), 32, ' '), NONE},
        {"HT of 29 bytes", HtReply(), HT},
        {"HT with record 0x0A", HtReply(5, 0x0A), HT},
        {"HT with record 0x0D", HtReply(5, 0x0D), HT},
        {"HT from another address", HtReply(42, 99), HT},
        {"HT with further bytes", Plus(HtReply(), 35, '9'), HT},
        {"HT of 28 bytes", Cut(HtReply(), 28), NONE},
        {"HT with a blank at 15", With(HtReply(), 15, ' '), NONE},
        {"HT with a letter at 6", With(HtReply(), 6, 'A'), NONE},
        {"HT with a colon at 26", With(HtReply(), 26, ':'), NONE},
        {"HT with a slash at 26", With(HtReply(), 26, '/'), NONE},
        {"HT with HD for HT", With(HtReply(), 2, 'D'), NONE},
        {"HT without CR at 4", With(HtReply(), 4, ' '), NONE},
        {"HT without LF at 5", With(HtReply(), 5, ' '), NONE},
        {"HT without CR at 27", With(HtReply(), 27, '0'), NONE},
        {"HT without LF at 28", With(HtReply(), 28, '0'), NONE},
        {"empty block", CBytes{}, NONE},
        {"one byte", CBytes{5}, NONE},
        {"the HL request echoed", CBytes{5, 'H', 'L', '\r', '\n'}, NONE},
    };
    // An HL reply moved one byte to the right (a stray byte ahead of it) is no reply.
    CBytes abyShifted = HlReply();
    abyShifted.insert(abyShifted.begin(), 0x00);
    aRows.push_back({"HL behind a stray byte", abyShifted, NONE});
    return aRows;
}

TEST(ReplyShape, AcceptedAndRefusedShapes)
{
    for (const CShapeRow& row : ShapeTable()) {
        SCOPED_TRACE(row.pszName);
        const int nLen = static_cast<int>(row.abyBlock.size());
        // The recogniser must not look beyond the block: hand it a buffer of exactly nLen bytes.
        std::unique_ptr<uint8_t[]> pExact(new uint8_t[nLen > 0 ? nLen : 1]);
        std::copy(row.abyBlock.begin(), row.abyBlock.end(), pExact.get());
        EXPECT_EQ(IsHlReply(pExact.get(), nLen), row.eShape == HL);
        EXPECT_EQ(IsHtReply(pExact.get(), nLen), row.eShape == HT);
        EXPECT_EQ(IsReplyShape(pExact.get(), nLen), row.eShape != NONE);
    }
}

// A block that holds a valid reply but is said to be shorter is refused: the count decides, not the bytes.
TEST(ReplyShape, LengthIsTheCountHandedIn)
{
    const CBytes abyHl = HlReply();
    const CBytes abyHt = HtReply();
    EXPECT_FALSE(IsReplyShape(abyHl.data(), 32));
    EXPECT_FALSE(IsReplyShape(abyHt.data(), 28));
    EXPECT_FALSE(IsReplyShape(abyHl.data(), -1));
    EXPECT_FALSE(IsReplyShape(nullptr, 40));
}

}  // namespace
