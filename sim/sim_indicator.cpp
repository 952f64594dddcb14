// One simulated indicator: tuning table, reply bytes, manual/script/AUTO states, batch record, faults.
#include "sim_indicator_impl.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMaxWeight = 99999;
constexpr int kMinWeight = -9999;  // "-9999" still fits the five characters

int Clamp(int n, int nLo, int nHi) { return std::min(std::max(n, nLo), nHi); }

int MaxOfWidth(int nWidth)
{
    int n = 1;
    for (int i = 0; i < nWidth; ++i)
        n *= 10;
    return n - 1;
}

char Digit(int n) { return static_cast<char>('0' + Clamp(n, 0, 9)); }

// atoi of the five weight characters, as the product reads them.
int WeightValue(const std::string& strWeight)
{
    char sz[8] = {};
    for (size_t i = 0; i < strWeight.size() && i < 5; ++i)
        sz[i] = strWeight[i];
    return static_cast<int>(std::strtol(sz, nullptr, 10));
}

}  // namespace

std::string CSimBatch::ValuesText() const
{
    std::string str;
    for (size_t i = 0; i < anValues.size(); ++i) {
        if (i)
            str += ',';
        str += std::to_string(anValues[i]);
    }
    return str;
}

CSimIndicator::CSimIndicator(int nAddress, std::mutex* pMutex)
    : m_nAddress(nAddress), m_pMutex(pMutex), m_pImpl(std::make_unique<CImpl>())
{
}

CSimIndicator::~CSimIndicator() = default;

// ---- tuning ----

void CSimIndicator::SetTune(int nEntry, int nValue, int nNumber)
{
    if (nEntry < 0 || nEntry >= kEntries || nValue < 0 || nValue >= kValues)
        return;
    std::lock_guard lock(*m_pMutex);
    m_pImpl->aTune[nEntry][nValue] = Clamp(nNumber, 0, MaxOfWidth(kWidths[nValue]));
}

int CSimIndicator::Tune(int nEntry, int nValue) const
{
    if (nEntry < 0 || nEntry >= kEntries || nValue < 0 || nValue >= kValues)
        return 0;
    std::lock_guard lock(*m_pMutex);
    return m_pImpl->aTune[nEntry][nValue];
}

void CSimIndicator::ClearTuning()
{
    std::lock_guard lock(*m_pMutex);
    for (auto& row : m_pImpl->aTune)
        row.fill(0);
}

void CSimIndicator::ConfigureDoses(int nRecipe, int nFirstDose, const std::vector<int>& anFinals)
{
    if (nRecipe < 0 || nRecipe > 9)
        return;
    std::lock_guard lock(*m_pMutex);
    for (size_t i = 0; i < anFinals.size(); ++i) {
        const int nDose = nFirstDose + static_cast<int>(i);
        if (nDose < 0 || nDose > 9)
            continue;
        auto& row = m_pImpl->aTune[nRecipe * 10 + nDose];
        const int nFinal = Clamp(anFinals[i], 0, MaxOfWidth(kWidths[0]));
        if (nFinal == 0) {
            row.fill(0);
            continue;
        }
        // Values 1..5 mean nothing to the product; these read like a coarse-feed cut-off, a tolerance,
        // a settling time, a free-fall correction and a feeder number.
        row[0] = nFinal;
        row[1] = nFinal - nFinal / 10;
        row[2] = std::min(nFinal / 50 + 1, MaxOfWidth(kWidths[2]));
        row[3] = 150;
        row[4] = std::min(nFinal / 1000 + 5, MaxOfWidth(kWidths[4]));
        row[5] = nDose + 1;
    }
}

void CSimIndicator::ApplyDemoTuning()
{
    ConfigureDoses(1, 1, {500, 1200, 300});
    ConfigureDoses(2, 0, {800, 250, 1500, 400, 90});
    ConfigureDoses(3, 1, {2000, 350, 0, 0, 60});
}

std::string CSimIndicator::TuneDigits(int nEntry) const
{
    std::lock_guard lock(*m_pMutex);
    return m_pImpl->TuneDigits(nEntry);
}

std::string CSimIndicator::CImpl::TuneDigits(int nEntry) const
{
    std::string str;
    for (int k = 0; k < kValues; ++k) {
        const int nWidth = kWidths[k];
        const int nValue = (nEntry >= 0 && nEntry < kEntries) ? aTune[nEntry][k] : 0;
        char sz[8] = {};
        std::snprintf(sz, sizeof sz, "%0*d", nWidth, Clamp(nValue, 0, MaxOfWidth(nWidth)));
        str.append(sz, static_cast<size_t>(nWidth));
    }
    return str;  // 5 + 5 + 4 + 3 + 2 + 2 = 21 digits
}

bool CSimIndicator::CImpl::RecipeConfigured(int nRecipe) const
{
    if (nRecipe < 0 || nRecipe > 9)
        return false;
    for (int d = 0; d < 10; ++d)
        if (aTune[nRecipe * 10 + d][0] != 0)
            return true;
    return false;
}

// ---- reply bytes ----

std::string CSimIndicator::CImpl::FormatWeight(int nWeight) const
{
    nWeight = Clamp(nWeight, kMinWeight, kMaxWeight);
    char sz[16] = {};
    if (cPad == ' ')
        std::snprintf(sz, sizeof sz, "%5d", nWeight);
    else if (nWeight < 0)
        std::snprintf(sz, sizeof sz, "-%04d", -nWeight);
    else
        std::snprintf(sz, sizeof sz, "%05d", nWeight);
    return std::string(sz, 5);
}

std::string CSimIndicator::CImpl::BuildHl(int nAddress, const CShown& shown) const
{
    std::string str;
    str += static_cast<char>(nAddress & 0xFF);
    str += "HL\r\nCD";
    // Payload, positions 7..30. The product reads 8, 9 and 22..26; the rest is what a panel would show:
    // a status digit, the final value of the current entry, a batch counter and a spare field.
    str += '0';                                  // 7
    str += Digit(shown.nRecipe);                 // 8
    str += Digit(shown.nDose);                   // 9
    str += ' ';                                  // 10
    const int nEntry = Clamp(shown.nRecipe, 0, 9) * 10 + Clamp(shown.nDose, 0, 9);
    char sz[16] = {};
    std::snprintf(sz, sizeof sz, "%05d", Clamp(aTune[nEntry][0], 0, kMaxWeight));
    str.append(sz, 5);                           // 11..15
    str += ' ';                                  // 16
    std::snprintf(sz, sizeof sz, "%04d", static_cast<int>(aBatches.size() % 10000));
    str.append(sz, 4);                           // 17..20
    str += ' ';                                  // 21
    std::string strWeight = shown.strWeight;
    strWeight.resize(5, ' ');
    str += strWeight;                            // 22..26
    str += " 00 ";                               // 27..30
    str += "\r\n";                               // 31, 32
    return str;                                  // 33 bytes
}

std::string CSimIndicator::CImpl::BuildHt(int nAddress, int nParam) const
{
    std::string str;
    str += static_cast<char>(nAddress & 0xFF);
    str += "HT";
    str += static_cast<char>(nParam & 0xFF);
    str += "\r\n";
    str += TuneDigits((nParam >= 0 && nParam < kEntries) ? nParam : -1);
    str += "\r\n";
    return str;  // 29 bytes
}

std::string CSimIndicator::PeekHlReply() const
{
    std::lock_guard lock(*m_pMutex);
    return m_pImpl->BuildHl(m_nAddress, m_pImpl->Current());
}

std::string CSimIndicator::HtReply(int nParam) const
{
    std::lock_guard lock(*m_pMutex);
    return m_pImpl->BuildHt(m_nAddress, nParam);
}

// ---- states ----

CSimIndicator::CImpl::CShown CSimIndicator::CImpl::FromStep(const CSimStep& step) const
{
    CShown shown{Clamp(step.nRecipe, 0, 9), Clamp(step.nDose, 0, 9), FormatWeight(step.nWeight)};
    if (step.strRawWeight.size() == 5)
        shown.strWeight = step.strRawWeight;
    return shown;
}

CSimIndicator::CImpl::CShown CSimIndicator::CImpl::Current() const
{
    switch (eMode) {
    case kScript:
        if (!script.empty())
            return FromStep(script.front());
        return bHaveLastStep ? FromStep(lastStep) : FromStep(manual);
    case kAuto:
        return autoShown;
    case kManual:
        break;
    }
    return FromStep(manual);
}

void CSimIndicator::SetState(int nRecipe, int nDose, int nWeight)
{
    std::lock_guard lock(*m_pMutex);
    m_pImpl->eMode = CImpl::kManual;
    m_pImpl->manual = CSimStep{nRecipe, nDose, nWeight, 1, {}};
}

void CSimIndicator::SetWeightPad(char cPad)
{
    std::lock_guard lock(*m_pMutex);
    m_pImpl->cPad = (cPad == ' ') ? ' ' : '0';
}

void CSimIndicator::SetScript(const std::vector<CSimStep>& aSteps)
{
    std::lock_guard lock(*m_pMutex);
    m_pImpl->eMode = CImpl::kScript;
    m_pImpl->script.assign(aSteps.begin(), aSteps.end());
    m_pImpl->nScriptUsed = 0;
}

void CSimIndicator::AppendScript(const std::vector<CSimStep>& aSteps)
{
    std::lock_guard lock(*m_pMutex);
    if (m_pImpl->eMode != CImpl::kScript) {
        m_pImpl->eMode = CImpl::kScript;
        m_pImpl->script.clear();
        m_pImpl->nScriptUsed = 0;
    }
    m_pImpl->script.insert(m_pImpl->script.end(), aSteps.begin(), aSteps.end());
}

int CSimIndicator::ScriptStepsLeft() const
{
    std::lock_guard lock(*m_pMutex);
    return static_cast<int>(m_pImpl->script.size());
}

bool CSimIndicator::StartAuto(const CSimAutoPlan& plan)
{
    std::lock_guard lock(*m_pMutex);
    CImpl& m = *m_pImpl;
    CSimAutoPlan checked = plan;
    checked.anRecipes.clear();
    for (int nRecipe : plan.anRecipes) {
        if (nRecipe < 0 || nRecipe > 9)
            continue;
        for (int d = 1; d < 10; ++d) {
            if (m.aTune[nRecipe * 10 + d][0] != 0) {
                checked.anRecipes.push_back(nRecipe);
                break;
            }
        }
    }
    if (checked.anRecipes.empty())
        return false;
    checked.nDosePolls = std::max(1, checked.nDosePolls);
    checked.nIdlePolls = std::max(1, checked.nIdlePolls);
    checked.nDoseMs = std::max(0, checked.nDoseMs);
    checked.dScatterPct = std::clamp(checked.dScatterPct, 0.0, 50.0);
    m.plan = checked;
    m.nRand = 0x9E3779B97F4A7C15ull ^ plan.nSeed;
    m.nPlanIndex = 0;
    m.eMode = CImpl::kAuto;
    m.AutoBeginBatch(m.plan.anRecipes[0], 0.0);
    m.nAutoPrevCaptured = 0;
    m.bAutoEnding = false;
    m.autoShown = CImpl::CShown{m.nAutoRecipe, 0, m.FormatWeight(0)};
    return true;
}

uint32_t CSimIndicator::CImpl::Rand()
{
    // splitmix64: the same sequence for a seed on every platform
    nRand += 0x9E3779B97F4A7C15ull;
    uint64_t z = nRand;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

double CSimIndicator::CImpl::Gauss()
{
    // Irwin-Hall: twelve uniforms minus six, mean 0 and deviation 1, bounded to +-6 (no wild outliers).
    double d = 0;
    for (int i = 0; i < 12; ++i)
        d += Rand() / 4294967296.0;
    return d - 6.0;
}

void CSimIndicator::CImpl::AutoBeginBatch(int nRecipe, double dNowMs)
{
    nAutoRecipe = nRecipe;
    anAutoDoses.assign(1, 0);
    anCaptured.fill(0);
    for (int d = 0; d < 10; ++d) {
        const int nFinal = aTune[nRecipe * 10 + d][0];
        if (nFinal == 0)
            continue;
        if (d > 0)
            anAutoDoses.push_back(d);
        const double dWeight = nFinal * (1.0 + plan.dScatterPct / 100.0 * Gauss());
        anCaptured[d] = Clamp(static_cast<int>(dWeight + 0.5), 1, kMaxWeight);
    }
    nAutoPos = 0;
    nAutoShown = 0;
    dAutoSinceMs = dNowMs;
}

bool CSimIndicator::CImpl::AutoStateDone(double dNowMs) const
{
    if (plan.nDoseMs > 0)
        return dNowMs - dAutoSinceMs >= plan.nDoseMs;
    return nAutoShown >= (nAutoPos == 0 ? plan.nIdlePolls : plan.nDosePolls);
}

CSimIndicator::CImpl::CShown CSimIndicator::CImpl::AutoNext(double dNowMs)
{
    if (bAutoEnding) {
        // The previous reply ended a batch; this one is dose 0 of the next, on an empty scale.
        bAutoEnding = false;
        AutoBeginBatch(plan.anRecipes[nPlanIndex], dNowMs);
        nAutoPrevCaptured = 0;
    } else if (nAutoShown > 0 && AutoStateDone(dNowMs)) {
        const int nLeaving = anAutoDoses[nAutoPos];
        nAutoPrevCaptured = anCaptured[nLeaving];
        if (nAutoPos + 1 < anAutoDoses.size()) {
            ++nAutoPos;
            nAutoShown = 0;
            dAutoSinceMs = dNowMs;
        } else {
            // Back to dose 0 for one reply that ends the batch; the next batch (same recipe or not)
            // begins with the reply after it, which the product makes the header of its record.
            nPlanIndex = (nPlanIndex + 1) % plan.anRecipes.size();
            bAutoEnding = true;
            autoShown = CShown{nAutoRecipe, 0, FormatWeight(nAutoPrevCaptured)};
            return autoShown;
        }
    }
    const int nDose = anAutoDoses[nAutoPos];
    int nWeight;
    if (nAutoShown == 0) {
        nWeight = nAutoPrevCaptured;
        dAutoSinceMs = dNowMs;  // a state lasts nDoseMs from its first reply
    } else {
        // Rising towards this dose's final weighing, which the first reply of the next state shows.
        double dFraction;
        if (plan.nDoseMs > 0)
            dFraction = std::clamp((dNowMs - dAutoSinceMs) / plan.nDoseMs, 0.0, 1.0);
        else
            dFraction = static_cast<double>(nAutoShown) / (nAutoPos == 0 ? plan.nIdlePolls : plan.nDosePolls);
        nWeight = static_cast<int>(anCaptured[nDose] * dFraction);
    }
    ++nAutoShown;
    autoShown = CShown{nAutoRecipe, nDose, FormatWeight(nWeight)};
    return autoShown;
}

CSimIndicator::CImpl::CShown CSimIndicator::CImpl::NextHl(double dNowMs)
{
    CShown shown;
    switch (eMode) {
    case kScript:
        if (script.empty()) {
            shown = Current();
        } else {
            const CSimStep& step = script.front();
            shown = FromStep(step);
            if (++nScriptUsed >= std::max(1, step.nHold)) {
                lastStep = step;
                bHaveLastStep = true;
                script.pop_front();
                nScriptUsed = 0;
            }
        }
        break;
    case kAuto:
        shown = AutoNext(dNowMs);
        break;
    case kManual:
        shown = FromStep(manual);
        break;
    }
    Track(shown);
    return shown;
}

// Follows the replies as the product's polling does, to know which batches it should record.
void CSimIndicator::CImpl::Track(const CShown& shown)
{
    if (!RecipeConfigured(shown.nRecipe))
        return;
    const int nWeight = WeightValue(shown.strWeight);
    const std::string strCode{Digit(shown.nRecipe), Digit(shown.nDose)};
    if (!bFollowing) {
        bFollowing = true;
        following = CSimBatch{};
        following.nRecipe = shown.nRecipe;
        following.nFirstDose = shown.nDose;
        following.strStates = strCode;
        nLastRecipe = shown.nRecipe;
        nLastDose = shown.nDose;
        return;
    }
    if (shown.nRecipe == nLastRecipe && shown.nDose == nLastDose)
        return;
    following.strStates += ',';
    following.strStates += strCode;
    if (shown.nRecipe != nLastRecipe) {
        following = CSimBatch{};
        following.nRecipe = shown.nRecipe;
        following.bHeader = false;
        following.nFirstDose = shown.nDose;
        following.strStates = strCode;
        nLastRecipe = shown.nRecipe;
        nLastDose = shown.nDose;
        return;
    }
    const int nPrev = nLastDose;
    following.anDoseWeights[static_cast<size_t>(nPrev)] = nWeight;
    following.anValues.push_back(nWeight);
    if (shown.nDose != 0)
        for (int d = nPrev + 1; d < shown.nDose; ++d)
            following.anValues.push_back(0);
    nLastDose = shown.nDose;
    if (shown.nDose == 0) {
        if (aBatches.size() >= kMaxBatches)
            aBatches.erase(aBatches.begin());
        aBatches.push_back(following);
        bFollowing = false;
    }
}

std::vector<CSimBatch> CSimIndicator::Batches() const
{
    std::lock_guard lock(*m_pMutex);
    return m_pImpl->aBatches;
}

void CSimIndicator::ClearBatches()
{
    std::lock_guard lock(*m_pMutex);
    m_pImpl->aBatches.clear();
}

// ---- faults ----

void CSimIndicator::SetFault(ESimFault eFault, int nCount, char cKind)
{
    std::lock_guard lock(*m_pMutex);
    m_pImpl->eFault = (nCount == 0) ? ESimFault::kNone : eFault;
    m_pImpl->nFaultCount = nCount;
    m_pImpl->cFaultKind = (cKind == 'L' || cKind == 'T') ? cKind : 0;
}

void CSimIndicator::SetLateMs(int nMs)
{
    std::lock_guard lock(*m_pMutex);
    m_pImpl->nLateMs = Clamp(nMs, 0, 600000);
}

ESimFault CSimIndicator::CImpl::TakeFault(char cKind)
{
    if (eFault == ESimFault::kNone || (cFaultKind != 0 && cFaultKind != cKind))
        return ESimFault::kNone;
    const ESimFault e = eFault;
    if (nFaultCount > 0 && --nFaultCount == 0)
        eFault = ESimFault::kNone;
    return e;
}
