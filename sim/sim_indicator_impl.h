// Inside of CSimIndicator, shared by the indicator and the line's service thread (not installed).
#pragma once

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "sim_line.h"

// Every member is guarded by the line's lock; the methods expect it held.
struct CSimIndicator::CImpl {
    enum EMode { kManual, kScript, kAuto };
    struct CShown {
        int nRecipe = 0;
        int nDose = 0;
        std::string strWeight = "00000";  // exactly the five characters at 22..26
    };
    static constexpr size_t kMaxBatches = 100000;  // a soak run keeps the most recent ones

    std::string TuneDigits(int nEntry) const;
    bool RecipeConfigured(int nRecipe) const;
    std::string FormatWeight(int nWeight) const;
    std::string BuildHl(int nAddress, const CShown& shown) const;
    std::string BuildHt(int nAddress, int nParam) const;
    CShown FromStep(const CSimStep& step) const;
    CShown Current() const;
    CShown NextHl(double dNowMs);  // the state of the next HL reply; advances script or AUTO
    void Track(const CShown& shown);
    ESimFault TakeFault(char cKind);  // the fault for one request of this kind, counted down

    uint32_t Rand();
    double Gauss();
    void AutoBeginBatch(int nRecipe, double dNowMs);
    bool AutoStateDone(double dNowMs) const;
    CShown AutoNext(double dNowMs);

    std::array<std::array<int, kValues>, kEntries> aTune{};
    char cPad = '0';
    EMode eMode = kManual;
    CSimStep manual{};

    std::deque<CSimStep> script;
    int nScriptUsed = 0;  // replies the front step has shown already
    CSimStep lastStep{};
    bool bHaveLastStep = false;

    CSimAutoPlan plan;
    uint64_t nRand = 0;
    size_t nPlanIndex = 0;
    int nAutoRecipe = 0;
    std::vector<int> anAutoDoses{0};  // states of the batch in order: 0, then each configured dose above 0
    size_t nAutoPos = 0;              // index into anAutoDoses of the state shown
    int nAutoShown = 0;               // replies shown in this state so far
    double dAutoSinceMs = 0;          // when this state's first reply went out
    std::array<int, 10> anCaptured{}; // each dose's final weighing in this batch
    int nAutoPrevCaptured = 0;        // shown by the first reply of a state
    bool bAutoEnding = false;         // the last reply returned to dose 0 and the next batch changes recipe
    CShown autoShown;

    // What the product's polling would be following now.
    bool bFollowing = false;
    int nLastRecipe = 0;
    int nLastDose = 0;
    CSimBatch following;
    std::vector<CSimBatch> aBatches;

    ESimFault eFault = ESimFault::kNone;
    int nFaultCount = -1;
    char cFaultKind = 0;
    int nLateMs = 300;
};
