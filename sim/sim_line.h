// The TK4700 indicator simulator: indicators answering HL and HT requests on one pseudo-terminal.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// One line of the frame log. Times are milliseconds since CSimLine::Start on CLOCK_MONOTONIC, with
// sub-millisecond precision: an "in" entry is stamped when the frame's last byte was read, an "out"
// entry right after the write returned.
struct CSimLogEntry {
    enum EDir { kIn, kOut, kEvent };
    double dMs = 0;
    EDir eDir = kIn;
    std::string strBytes;  // raw bytes as read or written (empty for an event)
    std::string strNote;   // "HL 05", "HT 05 23", "reply HL 05 state 21 weight '01234'", "reply HT 05 23",
                           // "no answer 05 (fault)", "no answer 07: no indicator", "garbage 3", "stream on"
    int nAddress = -1;     // address of the frame or reply; -1 for garbage and line events
    char cKind = 0;        // 'L' (HL), 'T' (HT) or 0
};

// Faults an indicator shows on demand instead of its normal reply.
enum class ESimFault {
    kNone,
    kNoAnswer,   // silent, as if nobody had that address
    kGarbage,    // 24 bytes that form no frame and no reply, instead of the reply
    kTruncated,  // only the first 20 bytes of the reply
    kCorrupted,  // the whole reply with one byte wrong: HL "CE" instead of "CD", HT a blank at position 15
    kLate,       // the correct reply, written after the indicator's late delay (SetLateMs)
};

// One step of a scripted batch: the state an HL reply shows, for nHold consecutive replies.
struct CSimStep {
    CSimStep() = default;
    CSimStep(int nRecipe_, int nDose_, int nWeight_, int nHold_ = 1, std::string strRawWeight_ = {})
        : nRecipe(nRecipe_), nDose(nDose_), nWeight(nWeight_), nHold(nHold_), strRawWeight(std::move(strRawWeight_))
    {
    }
    int nRecipe = 0;     // recipe digit at position 8 (0..9)
    int nDose = 0;       // dose digit at position 9 (0..9)
    int nWeight = 0;     // weight at 22..26, -9999..99999
    int nHold = 1;       // number of HL replies that show this step
    std::string strRawWeight;  // when exactly 5 bytes, sent at 22..26 as they are instead of nWeight
};

// How AUTO batches run.
struct CSimAutoPlan {
    std::vector<int> anRecipes{1};  // recipes to run, one batch each, cycled; each needs a configured dose
    int nDosePolls = 3;    // HL replies that each dose is shown for (when nDoseMs is 0)
    int nDoseMs = 0;       // > 0: each dose is shown for at least this long instead (changes happen only at replies)
    int nIdlePolls = 2;    // replies at dose 0 that begin a batch (or nDoseMs when that is set), after the
                           // one reply at dose 0 that ends the batch before
    double dScatterPct = 2.0;  // standard deviation of a captured weight, in percent of the dose's final value
    uint32_t nSeed = 1;
};

// A batch completed by the HL replies an indicator sent (in any mode), as the product should record it
// when it reads every one of those replies: the weight captured on leaving dose P is the weight of the
// first reply that shows the next state. A change of the recipe digit drops what was gathered, and the
// batch then has no header (bHeader false), as in the product. Recipes without a configured dose are
// not followed.
struct CSimBatch {
    int nRecipe = 0;
    bool bHeader = true;                  // the record starts with a header of state code nRecipe, nFirstDose
    int nFirstDose = 0;                   // dose digit of the first state of the batch
    std::array<int, 10> anDoseWeights{};  // weight captured on leaving dose d; 0 for doses not visited
    std::vector<int> anValues;            // the record's values: one per dose left from nFirstDose on, and a 0
                                          // for each dose skipped (11 -> 14 gives W, 0, 0)
    std::string strStates;                // state codes shown, e.g. "10,11,12,13,10"
    std::string ValuesText() const;       // anValues joined with "," (as in a data-file line after "=")
};

class CSimLine;

// One simulated indicator. Every method is thread-safe (it takes the line's lock), so a test may
// reconfigure an indicator while the line is answering.
class CSimIndicator {
public:
    static constexpr int kEntries = 100;
    static constexpr int kValues = 6;
    static constexpr int kWidths[kValues] = {5, 5, 4, 3, 2, 2};  // digits of each tuning value in an HT reply

    int Address() const { return m_nAddress; }

    // Tuning. Values are clamped to their digit widths (0..99999, 0..99999, 0..9999, 0..999, 0..99, 0..99).
    void SetTune(int nEntry, int nValue, int nNumber);
    int Tune(int nEntry, int nValue) const;
    void ClearTuning();
    // Configures doses nFirstDose, nFirstDose+1, ... of a recipe with these final values (0 leaves a dose
    // unconfigured) and plausible values 1..5.
    void ConfigureDoses(int nRecipe, int nFirstDose, const std::vector<int>& anFinals);
    // The demo presets: recipe 1 doses 1..3, recipe 2 doses 0..4, recipe 3 doses 1, 2 and 5.
    void ApplyDemoTuning();
    // The 21 digits of an HT reply for entry nEntry.
    std::string TuneDigits(int nEntry) const;

    // A fixed state for every HL reply (manual mode; stops a script or AUTO run).
    void SetState(int nRecipe, int nDose, int nWeight);
    // Pads the five-character weight with '0' (default) or ' ' on the left.
    void SetWeightPad(char cPad);

    // SCRIPT mode: each HL reply takes the next step; when the queue runs out the last state repeats.
    void SetScript(const std::vector<CSimStep>& aSteps);
    void AppendScript(const std::vector<CSimStep>& aSteps);
    int ScriptStepsLeft() const;

    // AUTO mode: batches walking through the configured doses of the plan's recipes: dose 0, then each
    // configured dose above 0 in order, then back to dose 0. The first reply that shows a new state carries
    // the final weighing of the state before it (what the product captures); later replies in a state show
    // a weight rising towards that state's own final weighing. The return to dose 0 is shown for one
    // reply, which ends the batch; the next batch (of the next recipe in the plan) starts with the reply
    // after it, so that the product gives every record a header, even when the recipe changes.
    // False (and nothing changes) when no recipe of the plan has a configured dose above 0.
    bool StartAuto(const CSimAutoPlan& plan);
    // Batches completed so far by the replies sent, in any mode, oldest first (the last 100000).
    std::vector<CSimBatch> Batches() const;
    void ClearBatches();

    // Faults. nCount < 0: until cleared; otherwise for the next nCount requests to this indicator.
    // cKind 'L' or 'T' limits the fault to that request kind; 0 applies it to both.
    void SetFault(ESimFault eFault, int nCount = -1, char cKind = 0);
    void ClearFault() { SetFault(ESimFault::kNone); }
    void SetLateMs(int nMs);  // delay of a kLate reply (default 300 ms)

    // The exact reply bytes for the current state, without advancing it: the manual state, the script's
    // current step, or in AUTO the state shown last.
    std::string PeekHlReply() const;
    // The HT reply for a parameter byte 0..255. Parameters 100..255 name no entry and get 21 zeros.
    std::string HtReply(int nParam) const;

    ~CSimIndicator();
    CSimIndicator(const CSimIndicator&) = delete;
    CSimIndicator& operator=(const CSimIndicator&) = delete;

private:
    friend class CSimLine;
    struct CImpl;  // tuning, modes, faults (sim_indicator_impl.h); guarded by the line's lock
    CSimIndicator(int nAddress, std::mutex* pMutex);

    const int m_nAddress;
    std::mutex* m_pMutex;  // the line's lock
    std::unique_ptr<CImpl> m_pImpl;
};

// The line: a pseudo-terminal whose far end (the slave) is the product's serial port, and one
// service thread that reads the requests at the master and answers for the addressed indicator.
class CSimLine {
public:
    CSimLine();
    ~CSimLine();  // Stop()
    CSimLine(const CSimLine&) = delete;
    CSimLine& operator=(const CSimLine&) = delete;

    // Creates the pseudo-terminal (raw, no flow control, so 0x11 and 0x13 are ordinary address bytes)
    // and starts the service thread. The line keeps its own descriptor of the slave open so that the
    // master never sees a hang-up while no program holds the port. False when the pty cannot be made.
    bool Start();
    // Stops the thread, closes the pty and removes the link made by LinkAs (if it still points here).
    void Stop();
    bool IsRunning() const;
    std::string SlavePath() const;  // e.g. /dev/pts/7; empty before Start
    // Makes dir/COMn a symbolic link to the slave, replacing an existing link or file of that name.
    bool LinkAs(const std::string& strDir, int nComNumber);
    std::string LinkPath() const;

    // Adds an indicator (or returns the one with that address), before or after Start.
    CSimIndicator& AddIndicator(int nAddress);
    CSimIndicator* Find(int nAddress);

    // Line-wide behaviour.
    void SetReplyDelayMs(int nMs);   // every reply written this long after the request (default 0: at once)
    // The line streams garbage bytes (0x80..0xFF) until switched off. nBytesPerSecond 0: the reader
    // always finds about 1 kB waiting, however fast it reads; > 0: paced at that rate, written every
    // millisecond (so a drain that counts bytes and one that counts time can both be reached).
    void SetStreaming(bool bOn, int nBytesPerSecond = 0);
    // Closes the master and the line's own slave: the line is gone (the product's reads fail, the
    // slave path disappears). The indicators stay; Stop() and Start() then give a new pty, and
    // LinkAs the same COMn again replaces the dead link.
    void HangUp();

    // Frame log (the most recent 200000 entries) and counters of recognised requests.
    std::vector<CSimLogEntry> Log() const;
    void ClearLog();                 // also resets the request counters
    // Requests recognised since Start or ClearLog (Start also empties the log); nAddress -1 = any, cKind 'L', 'T' or 0 = any.
    int CountRequests(int nAddress = -1, char cKind = 0) const;
    // Waits until CountRequests(nAddress, cKind) >= nCount; false on time-out.
    bool WaitForRequests(int nCount, int nTimeoutMs, int nAddress = -1, char cKind = 0) const;
    // Called on the service thread for every new log entry, outside the line's lock (the program's log
    // file). The sink must not call Stop or HangUp, which wait for that thread.
    void SetLogSink(std::function<void(const CSimLogEntry&)> sink);
    // "      12.345 in  HL 05     (padded)     | 05 48 4C 0D 0A": one log line as the program writes it.
    static std::string FormatLogEntry(const CSimLogEntry& entry);

private:
    struct CImpl;  // pty, service thread, parser, log (sim_line.cpp)
    std::unique_ptr<CImpl> m_pImpl;
};
