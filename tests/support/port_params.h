// The serial parameters with which tests and benchmarks open a simulated port: COMn, 9600 baud, 8 data bits.
#pragma once

#include <cstdio>

#include "tune_settings.h"

namespace tkdtest {

inline CPortParams SimPortParams(int nCom = 1)
{
    CPortParams params;
    params.m_nComNumber = nCom;
    std::snprintf(params.m_szPortName, sizeof(params.m_szPortName), "COM%d", nCom);
    params.m_nBaud = 9600;
    params.m_byDataBits = 8;
    return params;
}

}  // namespace tkdtest
