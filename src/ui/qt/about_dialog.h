// CAboutDlg: the About box (template 100): icon, name and version, one line about the program, OK.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

    // The texts it shows, for the window tests.
    static constexpr const char* kVersionText = "TK-Dedi, Version 1.0";
    static constexpr const char* kSecondLine = "Сбор отвесов с TK4700";
};
