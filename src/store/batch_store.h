// CBatchStore: the indicators found, their tuning, records, pending batches, totals and the selection.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>

#include "com_port.h"
#include "fault_notices.h"
#include "file_access.h"
#include "store_seams.h"

struct CSlotImage;

// Where a completed batch goes instead of the data file (the disk writer, through the line thread):
// the slot, its pending record text (trailing comma included), the recipe and the weights of its doses.
using BatchSinkFn = std::function<void(int nSlot, const char* pszPending, int nRecipe, const int32_t* anDoseWeight)>;

// Owned by one thread at a time: the window's model by the window's thread, the line's store by the
// line thread (see line_thread.h). Only RequestStop may be called from another thread.
class CBatchStore {
public:
    static constexpr int kMaxSlots = 3;
    static constexpr int kEntries = 100;        // recipe x 10 + dose
    static constexpr int kTuneValues = 6;       // per entry; the final value first
    static constexpr int kDoses = 10;
    static constexpr int kRecipes = kEntries / kDoses;
    static constexpr int kRecordTextBytes = 1457664;  // 11,388 x 128, terminator included
    static constexpr int kPendingBytes = 256;
    // A record, with its trailing comma, that still fits the 128-byte working buffer of AppendRecord
    // once the comma became "|": the pending record never grows beyond this (see AppendPending).
    static constexpr int kMaxPendingChars = 127;
    static constexpr int kWorkBytes = 128;      // one record with its "|" and terminator
    static constexpr int kMaxLineChars = 1023;  // one line of a tuning or data file, CR LF included
    static constexpr int kDirBytes = 260;       // data directory text, terminator included
    static constexpr int kHeaderChars = 23;     // "dd.mm.yyyy,hh:mm:ss,RD="

    // Allocates the three record texts and the three pending records; nothing else is touched.
    CBatchStore();
    // Releases whatever buffers are still present and closes any open data file.
    ~CBatchStore();
    CBatchStore(const CBatchStore&) = delete;
    CBatchStore& operator=(const CBatchStore&) = delete;

    // ---- The whole store ------------------------------------------------------------------------
    // Resets the store to empty under a new data directory (its text carries its own trailing "/"):
    // a search always starts from an empty model. A data file that reports an error as it is closed
    // is reported (FAULT_DATA_CLOSE) and the store is reset all the same. False, without any change,
    // only when the directory text does not fit its 259 characters.
    bool Open(const char* pszDataDir);
    // Forgets the indicators, closes the data files (failures ignored) and empties the texts; the
    // counters, totals, dose weights and selection stay.
    void Close();
    // Frees the six buffers once; a freed buffer is marked absent. Called by the window's destroy
    // handler; the destructor calls it again for what is still present.
    void Release();
    bool HasBuffers() const;

    // ---- Per slot ---------------------------------------------------------------------------------
    void ResetPending(int nSlot);
    void ClearRunCount(int nSlot) { m_anRunCount[nSlot] = 0; }
    // The model's side of a batch the line completed: its record into the record text, its non-zero
    // dose weights into the totals, one more weighing in the current run. Returns the recipe (the
    // totals row to show) when a dose weight was added, otherwise -1.
    int ApplyBatch(int nSlot, const char* pszPending, int nRecipe, const int32_t* anDoseWeight);
    // What the search left in a slot (address, tuning, record text, totals), and the model's taking
    // it over into the next free slot after Open.
    void ExportSlot(int nSlot, CSlotImage* pImage) const;
    void ImportSlot(const CSlotImage& image);
    int GetIndicatorAddress(int nSlot) const;  // -1 for an empty slot or one outside 0..2
    int IndexOfAddress(int nAddress) const;    // first slot holding the address; 3 when none does
    int GetIndicatorCount() const { return m_nIndicators; }
    // Registers an indicator in the next free slot, as the search does once its tuning is in that
    // slot. Returns the slot, or -1 when all three are taken.
    int RegisterIndicator(int nAddress);

    // ---- Tuning -------------------------------------------------------------------------------------
    void SetTuneValue(int nSlot, int nEntry, int k, int32_t nValue) { m_aTune[nSlot][nEntry][k] = nValue; }
    int32_t GetTuneValueAt(int nSlot, int nEntry, int k) const { return m_aTune[nSlot][nEntry][k]; }
    int32_t GetTuneValue(int nSlot, int nRecipe, int nDose) const { return m_aTune[nSlot][nRecipe * 10 + nDose][0]; }
    bool HasRecipe(int nSlot, int nRecipe) const;
    bool HasDose(int nSlot, int nRecipe, int nDose) const;

    // ---- Record text, pending record, counts --------------------------------------------------------
    // Stores one record (its one trailing comma dropped) followed by "|". False, storing and counting
    // nothing, when the record does not fit the 128-byte working buffer or the record text is full
    // (from the first record that does not fit, until the text is emptied).
    bool AppendRecord(int nSlot, const char* pszText);
    // Appends a piece to the pending record. The pending record never exceeds kMaxPendingChars: a
    // piece that would carry it further is dropped, and so is every later piece of the same record,
    // so that the values kept stay in dose order. False when the piece was dropped.
    bool AppendPending(int nSlot, const char* pszText);
    const char* GetRecordText(int nSlot) const { return m_apszRecords[nSlot] ? m_apszRecords[nSlot] : ""; }
    int GetRecordTextLength(int nSlot) const { return m_anRecordLength[nSlot]; }
    const char* GetPending(int nSlot) const { return m_apszPending[nSlot] ? m_apszPending[nSlot] : ""; }
    const char* GetLastState(int nSlot) const { return m_aszLastState[nSlot]; }
    int32_t GetDoseWeight(int nSlot, int nDose) const { return m_aDoseWeight[nSlot][nDose]; }
    int GetRecordCount(int nSlot) const { return m_anRecordCount[nSlot]; }
    int GetRunCount(int nSlot) const { return m_anRunCount[nSlot]; }
    int GetRunStart(int nSlot) const { return m_anRunStart[nSlot]; }
    // Reads the record at *pnPos of the slot's record text: its recipe digit and its first ten values
    // (0 for missing ones), and moves *pnPos to the next record. False at the end, for an empty text,
    // and for a text whose first byte is 0x80 or above.
    bool NextRecord(int nSlot, int* pnPos, int* pnRecipe, int32_t anValues[10]) const;

    // ---- Totals ---------------------------------------------------------------------------------------
    // Totals saturate at the int32 limits instead of overflowing.
    void AddTotal(int nSlot, int nEntry, int32_t nValue);
    int32_t GetTotal(int nSlot, int nEntry) const { return m_aTotals[nSlot][nEntry]; }
    void ClearTotals();

    // ---- Selection (not checked) ---------------------------------------------------------------------
    void SetCurrentIndicator(int nSlot) { m_nCurIndicator = nSlot; }
    int GetCurrentIndicator() const { return m_nCurIndicator; }
    void SetCurrentRecipe(int nRecipe) { m_nCurRecipe = nRecipe; }
    int GetCurrentRecipe() const { return m_nCurRecipe; }
    void SetCurrentDose(int nDose) { m_nCurDose = nDose; }
    int GetCurrentDose() const { return m_nCurDose; }

    // ---- Data files -------------------------------------------------------------------------------------
    // "RecipesTune_iNN" / "Data_iNN" joined directly to the directory text. False when it does not fit nBytes.
    bool MakeTunePath(int nAddress, char* pszPath, int nBytes) const;
    bool MakeDataPath(int nAddress, char* pszPath, int nBytes) const;
    // Opens the tuning and data files of the indicator at the address (already registered, tuning
    // stored): keeps and reloads the data file when the tuning file holds exactly the ten lines of
    // this tuning; otherwise moves a non-empty old data file aside (Data_iNN.YYYYMMDD-HHMMSS by the
    // store's clock, "-2", "-3"... added when that name exists), replaces the tuning file whole and
    // starts an empty data file. Only "no such file" creates a file; a tuning file that cannot be
    // read, a data file that cannot be opened, moved or read leaves the files as they are, the slot
    // without a data file, and is reported. A torn last line of the data file is moved to
    // Data_iNN.torn first (the operator is told). Lines ending in LF alone are lines like those ending
    // in CR LF; only bytes after the last LF are a torn tail. True when the slot's data file is open
    // at the end; otherwise why it was given up is kept for the slot's FAULT_NO_DATA_FILE notices.
    bool OpenIndicatorFiles(int nAddress);
    // Takes one data-file line (without its CR LF) into the slot's totals and record text. Only
    // entries 0..99 receive values; a line too long to be held as a record is neither held nor added
    // to the totals.
    void LoadRecordLine(int nSlot, const char* pszLine);
    // Appends a pending record (its last character, the trailing comma, dropped) plus CR LF at the
    // end of the file, in one write. True when every byte was written.
    static bool WriteRecordLine(OsFile hFile, const char* pszPending);
    // Appends a completed record (a pending text) to the slot's data file and flushes it to the disk.
    // A record written only in part is cut off again so that it cannot corrupt the next. False, and
    // reported, when there is no data file or the record could not be written and flushed whole.
    bool AppendDataLine(int nSlot, const char* pszPending);
    // Writes the 23 header characters "dd.mm.yyyy,hh:mm:ss,RD=" from the clock and the two-character
    // state code; the buffer (at least 24 bytes) is not terminated. Returns 23.
    int FormatRecordHeader(const char* pszState, char* pBuf) const;
    OsFile GetDataFile(int nSlot) const { return m_ahDataFile[nSlot]; }
    // Hands the slot's open data file to its new owner (the disk writer); the slot keeps none.
    // *pbNeedLineEnd: the file ends inside a line, so the next record must start with CR LF.
    OsFile TakeDataFile(int nSlot, bool* pbNeedLineEnd);
    // Why the slot's data file was given up at the last search; "" when it is open.
    const char* GetGivenUp(int nSlot) const { return m_aszGivenUp[nSlot]; }
    // The data file could only not be opened (held by another program for a moment, say): a later
    // open may work, where a file given up for a read error or a changed tuning must stay untouched.
    bool MayOpenLater(int nSlot) const { return m_aeGivenUp[nSlot] == FAULT_DATA_OPEN; }

    // The clock of record headers and moved-aside names; an empty function restores the PC's clock.
    void SetClock(LocalClockFn fnClock);
    const LocalClockFn& Clock() const { return m_fnClock; }
    // Where failures to keep records and a dead line are reported; null: nowhere.
    void SetFaults(IStoreFaults* pFaults) { m_pFaults = pFaults; }

    // ---- Search and polling ---------------------------------------------------------------------------
    // Scans addresses 0..99 for up to three indicators, downloads their tuning and opens their files.
    // The port is a copy sharing its owner's handle. pScanBar and pDownloadBar may be null.
    // True when at least one indicator was registered.
    bool Search(CComPort port, IProgressBar* pScanBar, IProgressBar* pDownloadBar);
    // Asks a running or coming Search, and Poll, to end at the next safe point: before the next
    // address, or after the entry being downloaded once that indicator has been sent its state code
    // back (an indicator left unfinished is not registered); in Poll, after the conversation under
    // way. The only call that may come from another thread. It holds for good: a stop is a close.
    void RequestStop() { m_bStopRequested = true; }
    // Asks each registered indicator for its state once and follows its batch; on a dead port it asks
    // nothing and reports the line once. *pnRow = -1, or the recipe of the last batch that ended in
    // this pass with a non-zero dose weight; *pbCompleted is set true when a batch ended and otherwise
    // left as the caller set it. fnBreak (may be empty) is asked after each conversation: true ends
    // the pass there.
    void Poll(CComPort port, int* pnRow, bool* pbCompleted, const std::function<bool()>& fnBreak = {});
    // Completed batches go to fnSink instead of the data file; an empty function restores the file.
    void SetBatchSink(BatchSinkFn fnSink) { m_fnBatchSink = std::move(fnSink); }

private:
    void ReleaseBuffers();
    bool AppendRecordRaw(int nSlot, const char* pszText, int nLen);
    bool LoadDataFile(int nSlot, OsFile hData);
    bool TuneFileMatches(int nSlot, OsFile hTune, bool* pbReadOk) const;
    bool MoveTornTailAside(int nSlot, OsFile hData, int64_t nWhole, int64_t nSize);
    bool MoveDataFileAside(int nAddress, const char* pszDataPath);
    bool FindMovedAsideName(int nAddress, OsFile hData, char* pszName, int nBytes) const;
    // Reports a failure of the slot's indicator with the file layer's error text; returns false.
    bool Fault(EStoreFault eKind, int nAddress, const char* pszPath);
    bool CloseSlotDataFile(int nSlot);
    void PollSlot(CComPort& port, int nSlot, int* pnRow, bool* pbCompleted);
    void LocalTime(std::tm* ptm) const;

    int m_nIndicators = 0;
    int m_anAddress[kMaxSlots] = {-1, -1, -1};
    int32_t m_aTune[kMaxSlots][kEntries][kTuneValues] = {};
    char m_szDirectory[kDirBytes] = {};
    OsFile m_ahDataFile[kMaxSlots] = {kInvalidFile, kInvalidFile, kInvalidFile};
    char* m_apszRecords[kMaxSlots] = {};
    int m_anRecordCount[kMaxSlots] = {};
    int m_anRunCount[kMaxSlots] = {};
    int m_anRunStart[kMaxSlots] = {};
    char m_aszLastState[kMaxSlots][3] = {};
    int32_t m_aDoseWeight[kMaxSlots][kDoses] = {};
    char* m_apszPending[kMaxSlots] = {};
    int m_nCurIndicator = 0;
    int m_nCurRecipe = 0;
    int m_nCurDose = 0;
    int32_t m_aTotals[kMaxSlots][kEntries] = {};

    // Kept beside the texts so that appends and scans need no strlen over 1.4 MB.
    int m_anRecordLength[kMaxSlots] = {};
    int m_anPendingLength[kMaxSlots] = {};
    // A record did not fit the record text: it holds no further records until it is emptied, so that
    // what it holds is always the oldest records without gaps.
    bool m_abRecordsFull[kMaxSlots] = {};
    // A piece of the pending record was dropped for want of room: later pieces are dropped too.
    bool m_abPendingFull[kMaxSlots] = {};
    // The data file ends inside a line (a write that failed and could not be undone): the next append
    // starts with CR LF so that its record stands on its own line.
    bool m_abNeedLineEnd[kMaxSlots] = {};
    // Why the slot's data file was given up at the last search (CFaultNotices::FormatGivenUp), "" when it is open.
    char m_aszGivenUp[kMaxSlots][320] = {};
    EStoreFault m_aeGivenUp[kMaxSlots] = {FAULT_KINDS, FAULT_KINDS, FAULT_KINDS};  // and the failure, FAULT_KINDS for none
    LocalClockFn m_fnClock;
    std::atomic<bool> m_bStopRequested{false};
    BatchSinkFn m_fnBatchSink;
    IStoreFaults* m_pFaults = nullptr;
    bool m_bLineDeadReported = false;
};
