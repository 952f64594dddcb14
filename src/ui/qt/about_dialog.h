// CAboutDlg: the About box (template 100): icon, name and version, one line about the program, OK.
#pragma once

#include <QDialog>

#include "tkd_version.h"

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

    // The texts it shows, for the window tests.
    static constexpr const char* kVersionText = "TK-Dedi, Version " TKD_VERSION;
    static constexpr const char* kSecondLine = "Сбор отвесов с TK4700";
};
