// The two reply shapes: every accepted and refused form, as one table over IsHlReply/IsHtReply.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "reply_shape.h"

namespace {

const std::string kHl = std::string("\x05HL\r\nCD") + "000021000000000000001234" + "\r\n";  // 33 bytes
const std::string kHt = std::string("\x05HT\x17\r\n") + "012345678901234567890" + "\r\n";    // 29 bytes

std::string With(std::string str, size_t nPos, const char* pszBytes)
{
    return str.replace(nPos, std::strlen(pszBytes), pszBytes);
}

enum EShape { NONE, HL, HT };

TEST(ReplyShape, AcceptedAndRefusedShapes)
{
    const struct {
        const char* pszName;
        std::string strBlock;
        EShape eShape;
    } aRows[] = {
        {"HL of 33 bytes", kHl, HL},
        {"HL from another address", With(kHl, 0, "c"), HL},
        {"HL with 7 further bytes (40)", kHl + "xxxxxxx", HL},
        {"HL with any payload", With(With(kHl, 7, "\xFF"), 30, "\r"), HL},
        {"HL of 32 bytes", kHl.substr(0, 32), NONE},
        {"HL with CE for CD", With(kHl, 6, "E"), NONE},
        {"HL with lower-case hl", With(kHl, 1, "hl"), NONE},
        {"HL with LF CR at 3, 4", With(kHl, 3, "\n\r"), NONE},
        {"HL without CR at 31", With(kHl, 31, " "), NONE},
        {"HL without LF at 32", With(kHl, 32, " "), NONE},
        {"HL behind a stray byte", std::string(1, '\0') + kHl, NONE},
        {"HT of 29 bytes", kHt, HT},
        {"HT with record 0x0A", With(kHt, 3, "\n"), HT},
        {"HT with record 0x0D", With(kHt, 3, "\r"), HT},
        {"HT from another address", With(With(kHt, 0, "*"), 3, "c"), HT},
        {"HT with further bytes", kHt + std::string(35, '9'), HT},
        {"HT of 28 bytes", kHt.substr(0, 28), NONE},
        {"HT with a blank at 15", With(kHt, 15, " "), NONE},
        {"HT with a letter at 6", With(kHt, 6, "A"), NONE},
        {"HT with a colon at 26", With(kHt, 26, ":"), NONE},
        {"HT with a slash at 26", With(kHt, 26, "/"), NONE},
        {"HT with HD for HT", With(kHt, 2, "D"), NONE},
        {"HT without CR at 4", With(kHt, 4, " "), NONE},
        {"HT without LF at 5", With(kHt, 5, " "), NONE},
        {"HT without CR at 27", With(kHt, 27, "0"), NONE},
        {"HT without LF at 28", With(kHt, 28, "0"), NONE},
        {"empty block", "", NONE},
        {"one byte", "\x05", NONE},
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(row.pszName);
        const int nLen = static_cast<int>(row.strBlock.size());
        // The recogniser must not look beyond the block: hand it a buffer of exactly nLen bytes.
        std::unique_ptr<uint8_t[]> pExact(new uint8_t[nLen > 0 ? nLen : 1]);
        std::memcpy(pExact.get(), row.strBlock.data(), row.strBlock.size());
        EXPECT_EQ(IsHlReply(pExact.get(), nLen), row.eShape == HL);
        EXPECT_EQ(IsHtReply(pExact.get(), nLen), row.eShape == HT);
        EXPECT_EQ(IsReplyShape(pExact.get(), nLen), row.eShape != NONE);
    }
    // The count handed in decides, not the bytes behind it.
    EXPECT_FALSE(IsReplyShape(reinterpret_cast<const uint8_t*>(kHl.data()), 32));
    EXPECT_FALSE(IsReplyShape(reinterpret_cast<const uint8_t*>(kHl.data()), -1));
    EXPECT_FALSE(IsReplyShape(nullptr, 40));
}

}  // namespace
