// CBatchWindow: the main window (template 102) in Qt, implementing IBatchView and forwarding its events to CBatchDlg.
#pragma once

#include <QDialog>

#include <memory>

#include "batch_dlg.h"
#include "batch_view.h"
#include "canvas_surface.h"
#include "qt_adapters.h"

class QComboBox;
class QPainter;
class QProgressBar;
class QTreeWidget;

class CBatchWindow : public QDialog, public IBatchView {
    Q_OBJECT
public:
    // pReporter replaces the message box (tests); null shows the real one.
    explicit CBatchWindow(const CBatchContext& context, IErrorReporter* pReporter = nullptr,
                          QWidget* pParent = nullptr);
    ~CBatchWindow() override;

    CBatchDlg& Dlg() { return m_dlg; }
    // The control with that template id, or null.
    QWidget* Control(int nId) const;
    QTreeWidget* TotalsList() const { return m_pList; }
    QProgressBar* ProgressBar(int nId) const;
    QImage& Canvas() { return m_canvas.Image(); }
    // Runs the destroy handler once (also done by the destructor).
    void Destroy();

    // The client size: 524 x 345 dialog units.
    static QSize ClientSize();

    // IBatchView
    void EnableControl(int nId, bool bEnable) override;
    void ComboAdd(int nId, const char* pszText) override;
    bool ComboDeleteLast(int nId) override;
    void ComboSelect(int nId, int nIndex) override;
    int ComboCount(int nId) const override;
    int ComboCurSel(int nId) const override;
    void ComboText(int nId, int nIndex, char* pszBuffer, int nSize) const override;
    void ListInsertColumn(int nCol, const char* pszHeading, int nWidth) override;
    int ListInsertRow(const char* pszLabel) override;
    void ListSetCell(int nRow, int nCol, const char* pszText) override;
    void ListSetFullRowSelect() override;
    void ProgressSetRange(int nId, int nMin, int nMax) override;
    IProgressBar& Progress(int nId) override;
    void PostWake() override;
    IDrawSurface& Surface() override { return m_canvas; }
    void Repaint() override;
    bool IsMinimized() const override { return isMinimized(); }
    IErrorReporter& ErrorReporter() override { return *m_pReporter; }
    void ShowWarning(const char* pszText) override { ShowQtWarning(this, pszText); }
    void ShowAbout() override;
    bool AskYesNo(const char* pszText) override;
    void CloseWindow() override;

public Q_SLOTS:
    // Every way of ending the dialog (Выход, Esc, Enter, close box) comes through here.
    void done(int nResult) override;
    // What PostWake queues: the line's events applied on the window's thread.
    void ApplyLineEvents();

protected:
    void showEvent(QShowEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;

private:
    void CreateControls();
    // The canvas layer's paint: the status box and both panels from their models, then shown.
    void PaintCanvas(QPainter& painter, const QRegion& region);
    QComboBox* Combo(int nId) const;

    CCanvasSurface m_canvas;
    CQtErrorReporter m_reporter;
    IErrorReporter* m_pReporter;

    struct CControl {
        int m_nId;
        QWidget* m_pWidget;
    };
    CControl m_aControls[32] = {};  // the 25 controls of the template
    int m_nControls = 0;
    QWidget* m_pCanvasLayer = nullptr;  // above every control, showing the canvas
    QTreeWidget* m_pList = nullptr;
    QProgressBar* m_pScanBar = nullptr;
    QProgressBar* m_pDownloadBar = nullptr;
    std::unique_ptr<CQtProgressBar> m_pScanAdapter;
    std::unique_ptr<CQtProgressBar> m_pDownloadAdapter;
    bool m_bFullRowSelect = false;
    bool m_bDestroyed = false;

    CBatchDlg m_dlg;  // last: its handlers may run while the members above exist
};
