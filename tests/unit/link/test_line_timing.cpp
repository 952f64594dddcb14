// The line's times per rate: unchanged at 9600 baud and above, stretched to the character time below.
#include <gtest/gtest.h>

#include <string>

#include "com_port.h"
#include "port_params.h"

namespace {

TEST(LineTiming, SlowRatesStretchTheReadToTheCharacterTime)
{
    // 8 data bits, no parity, one stop bit: 10 bits a character. The read bound is 64 x per byte + 10.
    const struct { int32_t nBaud; uint8_t byBits; int nGap; int nPerByte; int nDrain; } aRows[] = {
        {921600, 8, 40, 1, 11}, {9600, 8, 40, 1, 11},    // the product's figures
        {4800, 8, 40, 3, 11},                              // c = 2.08 ms
        {2400, 8, 40, 5, 11},                              // c = 4.17 ms
        {1200, 8, 40, 9, 17},                              // a 33-byte reply takes 275 ms; the bound is 586
        {300, 8, 134, 34, 67},
        {110, 8, 364, 91, 182},
        {110, 5, 255, 64, 128},                            // 7 bits a character
        {0, 8, 40, 1, 11},                                 // no rate: the port stays closed anyway
    };
    for (const auto& row : aRows) {
        SCOPED_TRACE(std::to_string(row.nBaud) + " baud, " + std::to_string(row.byBits) + " bits");
        CPortParams params = tkdtest::SimPortParams(250);
        params.m_nBaud = row.nBaud;
        params.m_byDataBits = row.byBits;
        CComPort port;
        port.Open(params);  // no such port here: only the parameters are kept
        const CLineTiming timing = port.LineTiming();
        EXPECT_EQ(timing.nReadGapMs, row.nGap);
        EXPECT_EQ(timing.nReadPerByteMs, row.nPerByte);
        EXPECT_EQ(timing.nDrainReadMs, row.nDrain);
        EXPECT_EQ(timing.nReadConstMs, 10);
        EXPECT_EQ(timing.nReplyPauseMs, 120);
        // Whatever the rate, a 33-byte reply fits in the read bound.
        EXPECT_GE(CComPort::kMaxBlock * timing.nReadPerByteMs + timing.nReadConstMs,
                  row.nBaud > 0 ? 33 * (2 + row.byBits) * 1000 / row.nBaud : 0);
    }
}

}  // namespace
