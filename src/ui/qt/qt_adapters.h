// Qt stand-ins for the core's small interfaces: a progress bar and the error message box.
#pragma once

#include "store_seams.h"
#include "tune_settings.h"

class QProgressBar;
class QWidget;

// Drives a QProgressBar, clamping positions to its range as a progress control does.
class CQtProgressBar : public IProgressBar {
public:
    explicit CQtProgressBar(QProgressBar* pBar) : m_pBar(pBar) {}
    void SetPos(int nPos) override;

private:
    QProgressBar* m_pBar;
};

// The settings loader's message: a critical message box with an empty title.
class CQtErrorReporter : public IErrorReporter {
public:
    explicit CQtErrorReporter(QWidget* pParent) : m_pParent(pParent) {}
    void ShowError(const char* pszText) override;

private:
    QWidget* m_pParent;
};

// A warning that a record could not be kept or the line is gone: a non-modal critical message box
// with an empty title, deleted when closed; returns at once.
void ShowQtWarning(QWidget* pParent, const char* pszText);
