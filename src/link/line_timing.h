// The fixed times of a conversation with the indicators, in one place.
#pragma once

#include <algorithm>
#include <cstdint>

// The program always runs with the product's values (CLineTiming{}); tests may hand a shorter
// profile to the objects they build, so that a suite over a pseudo-terminal runs in seconds.
struct CLineTiming {
    int nReplyPauseMs = 120;   // pause between the end of a request and the read of its reply
    int nReadGapMs = 40;       // after the first byte, this much silence ends a read
    int nReadPerByteMs = 1;    // a read of n bytes lasts at most n * nReadPerByteMs + nReadConstMs
    int nReadConstMs = 10;
    int nDrainReadMs = 11;     // a one-byte read while draining: the line counts as quiet after this
    int nDrainLimitMs = 1000;  // a line that never falls quiet is drained for at most this long...
    int nDrainLimitBytes = 4096;  // ...or this many bytes, then purged
    int nSilenceWaitMs = 1000; // wait after a failed download request (search) or a silent poll
    int nPollPeriodMs = 300;   // a polling pass starts this long after the previous one started

    // The times for a line at nBaud with nBitsPerChar bits per character (start, data, parity, stop).
    // At 9600 baud and above every figure stays as it is: they were made for those rates. Below, a
    // character outlasts them (at 1200 baud a 33-byte reply takes 275 ms, the read bound is 74 ms), so
    // with the character time c = nBitsPerChar x 1000 / nBaud ms, rounded up to whole milliseconds:
    //   read gap      max(nReadGapMs, 4 c)       a pause of four characters ends a reply, never the
    //                                            spacing of its own bytes
    //   per byte      max(nReadPerByteMs, c)     a read of 64 bytes may take 64 characters' time
    //                                            + nReadConstMs, so a whole reply fits in it
    //   drain read    max(nDrainReadMs, 2 c)     quiet means two characters' time without a byte
    // The reply pause, the waits and the drain's limits keep their values.
    CLineTiming ForRate(int32_t nBaud, int nBitsPerChar) const
    {
        CLineTiming t = *this;
        if (nBaud <= 0 || nBaud >= kFixedFromBaud || nBitsPerChar <= 0)
            return t;
        // ceil(k * c) in whole milliseconds; 64-bit so that no rate or bit count can overflow.
        const auto Chars = [&](int nChars) {
            const int64_t nMicroBits = int64_t{nChars} * nBitsPerChar * 1000;
            return static_cast<int>((nMicroBits + nBaud - 1) / nBaud);
        };
        t.nReadGapMs = std::max(nReadGapMs, Chars(4));
        t.nReadPerByteMs = std::max(nReadPerByteMs, Chars(1));
        t.nDrainReadMs = std::max(nDrainReadMs, Chars(2));
        return t;
    }
    static constexpr int32_t kFixedFromBaud = 9600;

    // A profile about six times faster, for tests. Keeps the proportions that matter: the reply
    // pause exceeds the simulator's answer time, and the read gap is shorter than the pause.
    static CLineTiming Short()
    {
        CLineTiming t;
        t.nReplyPauseMs = 20;
        t.nReadGapMs = 8;
        t.nReadPerByteMs = 1;  // a read can still last up to 74 ms when bytes keep coming
        t.nReadConstMs = 10;
        t.nDrainReadMs = 5;
        t.nDrainLimitMs = 300;
        t.nSilenceWaitMs = 50;
        t.nPollPeriodMs = 30;
        return t;
    }
};
