// Resource ids of the Windows program, shared by the resource script and the window code (plain defines for windres).
#pragma once

#define IDD_ABOUTBOX 100       // the About box
#define IDS_ABOUTBOX 101       // "&About TK-Dedi...", the system-menu item
#define IDD_TKDEDI_DIALOG 102  // the main dialog; its control ids are in batch_view.h
#define IDD_WARNING 103        // the non-modal warning of a record not kept or a dead line
#define IDR_MAINFRAME 130      // the application icon

#define IDC_WARNING_ICON 1100
#define IDC_WARNING_TEXT 1101
