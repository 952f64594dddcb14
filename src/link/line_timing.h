// The fixed times of a conversation with the indicators, in one place.
#pragma once

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
