// IBatchView: what the main dialog's logic needs of its window, and the control ids of dialog template 102.
#pragma once

class IDrawSurface;
class IErrorReporter;
class IProgressBar;

// Control ids of dialog template 102, in tab order.
enum : int {
    IDC_GROUP_SELECTION = 1000,  // "Текущий индикатор"
    IDC_LABEL_INDICATOR = 1001,
    IDC_COMBO_INDICATOR = 1002,
    IDC_LABEL_RECIPE = 1003,
    IDC_COMBO_RECIPE = 1004,
    IDC_LABEL_DOSE = 1005,
    IDC_COMBO_DOSE = 1006,
    IDC_PROGRESS_SCAN = 1007,      // address scan of a search
    IDC_PROGRESS_DOWNLOAD = 1008,  // tuning download of a search
    IDC_CHECK_DATETIME = 1009,     // 1009..1015: created hidden, never read
    IDC_LABEL_BEGIN = 1010,
    IDC_DATE_BEGIN = 1011,
    IDC_TIME_BEGIN = 1012,
    IDC_LABEL_END = 1013,
    IDC_DATE_END = 1014,
    IDC_TIME_END = 1015,
    IDC_GROUP_CURRENT = 1016,  // "Текущие отвесы"
    IDC_GROUP_ALL = 1017,      // "Все отвесы"
    IDC_GROUP_BUTTONS = 1023,
    IDC_SEARCH = 1018,
    IDC_START = 1019,
    IDC_STOP = 1020,
    IDC_GROUP_TOTALS = 1021,  // "Итоги по рецептам/дозам"
    IDC_LIST_TOTALS = 1022,
    IDC_EXIT = 2,  // the Cancel command
};

// The system-menu command of the About box (the low four bits of a system command are the system's).
inline constexpr int g_nIdmAbout = 16;

// Implemented by the Qt window (ui/qt/batch_window.*); a native Windows dialog (ui/win32/, its twin)
// implements the same. Controls are addressed by their template ids. Nothing here notifies the logic: programmatic
// selection and filling never count as a user's selection change (as CB_SETCURSEL does not on Windows).
class IBatchView {
public:
    virtual ~IBatchView() = default;

    virtual void EnableControl(int nId, bool bEnable) = 0;

    // Drop-down lists keep their items in insertion order, unsorted.
    virtual void ComboAdd(int nId, const char* pszText) = 0;  // UTF-8
    // Deletes the last item; false when the list was already empty.
    virtual bool ComboDeleteLast(int nId) = 0;
    virtual void ComboSelect(int nId, int nIndex) = 0;
    virtual int ComboCount(int nId) const = 0;
    // Position of the selected item, -1 when none is selected.
    virtual int ComboCurSel(int nId) const = 0;
    // The item's text into pszBuffer (nSize bytes, terminated); an empty text when there is no such item.
    virtual void ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const = 0;

    // The totals list (1022). A column is inserted right-aligned, nWidth pixels wide, at position nCol.
    virtual void ListInsertColumn(int nCol, const char* pszHeading, int nWidth) = 0;
    // Appends a row labelled pszLabel in column 0; returns its index.
    virtual int ListInsertRow(const char* pszLabel) = 0;
    // Writing to a row or column that does not exist has no effect.
    virtual void ListSetCell(int nRow, int nCol, const char* pszText) = 0;
    virtual void ListSetFullRowSelect() = 0;

    // Progress bars 1007 and 1008. Setting a range keeps the position within it (at 0 for a new bar).
    virtual void ProgressSetRange(int nId, int nMin, int nMax) = 0;
    virtual IProgressBar& Progress(int nId) = 0;

    // Called from any thread: the dialog's OnLineEvents is to run on the window's thread soon. Only
    // wakes that thread (a queued call on Qt, PostMessage on Win32); never calls the dialog directly.
    virtual void PostWake() = 0;

    // The client-area drawing surface; Repaint shows what was drawn on it.
    virtual IDrawSurface& Surface() = 0;
    virtual void Repaint() = 0;
    virtual bool IsMinimized() const = 0;

    // The settings loader's message goes through this.
    virtual IErrorReporter& ErrorReporter() = 0;
    // A warning that a record could not be kept or the line is gone (UTF-8): non-modal, with the error
    // icon and an empty title like the settings message, and returns at once so polling goes on.
    // Which failures are shown, and when, is decided by the core (CFaultNotices), not by the window.
    virtual void ShowWarning(const char* pszText) = 0;
    // Runs the About box modally.
    virtual void ShowAbout() = 0;
    // A modal question (UTF-8) with "Да" and "Нет", "Нет" the default; true for "Да".
    virtual bool AskYesNo(const char* pszText) = 0;
    // Ends the dialog as the close box would; used once a search or polling that a close
    // interrupted has stopped.
    virtual void CloseWindow() = 0;
};
