// The messages the line thread and the disk writer send to the window's thread, and the queue that carries them.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "fault_notices.h"

// The search's two bars: the address scan and the tuning download (range 0..99 each).
enum ESearchBar { BAR_SCAN = 0, BAR_DOWNLOAD = 1 };

struct CProgressEvent {
    ESearchBar eBar;
    int nPos;
};

// A failure to keep records or a dead line (or its end, bCleared), as IStoreFaults reports it.
struct CFaultEvent {
    bool bCleared = false;
    EStoreFault eKind = FAULT_KINDS;
    int nAddress = -1;
    std::string strSubject;
    std::string strSystemText;
};

// One indicator as the search left it: address, tuning and what its data file held.
struct CSlotImage {
    int nAddress = -1;
    std::vector<int32_t> anTune;  // entries x values, in the store's order
    std::string strRecords;       // the record text, "|" after each record
    int nRecordCount = 0;
    bool bRecordsFull = false;
    std::vector<int32_t> anTotals;  // one per entry
};

// The search has returned. bFound: at least one indicator was registered (slots holds them in slot order).
struct CSearchDoneEvent {
    bool bFound = false;
    std::vector<CSlotImage> aSlots;
};

// A batch an indicator completed: its record text (the pending record, trailing comma included) and
// the weights of its doses, which the totals take.
struct CBatch {
    int nSlot = 0;
    int nRecipe = 0;
    std::string strPending;
    int32_t anDoseWeight[10] = {};
};

// One polling pass that completed at least one batch, in the order the indicators were asked.
struct CPassEvent {
    std::vector<CBatch> aBatches;
};

// The line thread has stopped for a close: its last event.
struct CLineEndedEvent {};

using CLineEvent = std::variant<CProgressEvent, CFaultEvent, CSearchDoneEvent, CPassEvent, CLineEndedEvent>;

// Carries events from the line thread and the disk writer to the window's thread. Push may be called
// from any thread; it calls the wake function (which only asks the toolkit to run the window's side
// soon: a queued call on Qt, PostMessage on Win32) when the queue was empty, so that a burst of
// events costs one wake. TakeAll is called on the window's thread.
class CEventQueue {
public:
    using WakeFn = std::function<void()>;
    explicit CEventQueue(WakeFn fnWake = {}) : m_fnWake(std::move(fnWake)) {}

    void Push(CLineEvent event)
    {
        bool bWake = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            bWake = m_events.empty();
            m_events.push_back(std::move(event));
        }
        if (bWake && m_fnWake)
            m_fnWake();
    }
    std::deque<CLineEvent> TakeAll()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::deque<CLineEvent> events;
        events.swap(m_events);
        return events;
    }

private:
    std::mutex m_mutex;
    std::deque<CLineEvent> m_events;
    const WakeFn m_fnWake;
};

// Reports faults as events: what the line thread's store and the disk writer hand to the window.
class CQueuedFaults : public IStoreFaults {
public:
    explicit CQueuedFaults(CEventQueue& queue) : m_queue(queue) {}
    void Report(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText) override
    {
        m_queue.Push(CFaultEvent{false, eKind, nAddress, pszSubject != nullptr ? pszSubject : "",
                                 pszSystemText != nullptr ? pszSystemText : ""});
    }
    void Cleared(EStoreFault eKind, int nAddress) override { m_queue.Push(CFaultEvent{true, eKind, nAddress, {}, {}}); }

private:
    CEventQueue& m_queue;
};
