// A stand-in for the terminal program that used the port before: leaves XON/XOFF and its friends on COMn, then exits.
//
//   tkd_win32_leave_xonxoff N     exit status 0 once COMN holds that line, 1 otherwise
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int nCom = argc > 1 ? std::atoi(argv[1]) : 0;
    char szPath[24];
    if (nCom < 1 || nCom > 255 || std::snprintf(szPath, sizeof szPath, "\\\\.\\COM%d", nCom) >= static_cast<int>(sizeof szPath))
        return 1;
    const HANDLE h = ::CreateFileA(szPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool bOk = ::GetCommState(h, &dcb) != 0;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.fNull = TRUE;
    dcb.fAbortOnError = TRUE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    bOk = bOk && ::SetCommState(h, &dcb);
    // What the driver kept: the test is only worth something when XON/XOFF really stays on the line.
    DCB kept{};
    kept.DCBlength = sizeof kept;
    bOk = bOk && ::GetCommState(h, &kept) && kept.fOutX && kept.fInX;
    ::CloseHandle(h);
    return bOk ? 0 : 1;
}
