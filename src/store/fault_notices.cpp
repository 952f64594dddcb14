// CFaultNotices: the operator's texts of failures to keep records, shown once per indicator and kind, and their lines on standard error.
#include "fault_notices.h"

#include <cstdio>
#include <ctime>

#include "store_file.h"

namespace {

constexpr int kTextBytes = 1024;

// What failed, before the file or the port is named.
const char* WhatFailed(EStoreFault eKind)
{
    switch (eKind) {
    case FAULT_DATA_OPEN: return "не могу открыть файл данных";
    case FAULT_TUNE_READ: return "не могу прочитать файл настройки";
    case FAULT_TUNE_WRITE: return "не могу записать файл настройки";
    case FAULT_MOVE_ASIDE: return "не могу отложить старый файл данных";
    case FAULT_DATA_READ: return "ошибка чтения файла данных";
    case FAULT_TORN_TAIL: return "не могу отложить оборванную строку файла данных";
    case FAULT_RECORD_WRITE: return "запись отвеса не сохранена в файл данных";
    case FAULT_NO_DATA_FILE: return "нет файла данных, запись отвеса осталась только в памяти:";
    case FAULT_LINE_DEAD: return "нет связи: порт пропал";
    case FAULT_PORT_OPEN: return "не могу открыть порт";
    case FAULT_PORT_BUSY: return "порт занят другой программой:";
    default: return "ошибка";
    }
}

}  // namespace

void CFaultNotices::FormatText(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText,
                               char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    char szWho[32] = "";
    if (nAddress >= 0)
        std::snprintf(szWho, sizeof szWho, "Индикатор %d: ", nAddress);
    const bool bSystem = pszSystemText != nullptr && pszSystemText[0] != '\0';
    // The line's notice tells the operator how it comes back.
    const char* pszHint = eKind == FAULT_LINE_DEAD ? ". Подключите линию и нажмите «Поиск»" : "";
    std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s%s %s%s%s%s", szWho, WhatFailed(eKind),
                  pszSubject != nullptr ? pszSubject : "", bSystem ? " (" : "", bSystem ? pszSystemText : "",
                  bSystem ? ")" : "");
    if (pszHint[0] != '\0') {
        int nLen = 0;
        while (nLen < nSize - 1 && pszBuf[nLen] != '\0')
            ++nLen;
        std::snprintf(pszBuf + nLen, static_cast<size_t>(nSize - nLen), "%s", pszHint);
    }
}

void CFaultNotices::Report(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText)
{
    if (eKind < 0 || eKind >= FAULT_KINDS)
        return;
    char szText[kTextBytes];
    FormatText(eKind, nAddress, pszSubject, pszSystemText, szText, sizeof szText);
    std::tm tmNow{};
    StoreLocalTimeNow(&tmNow);
    std::fprintf(stderr, "%04d-%02d-%02d %02d:%02d:%02d tk-dedi: %s\n", tmNow.tm_year + 1900, tmNow.tm_mon + 1,
                 tmNow.tm_mday, tmNow.tm_hour, tmNow.tm_min, tmNow.tm_sec, szText);
    const int nPlace = nAddress >= 0 && nAddress < kAddresses - 1 ? nAddress : kAddresses - 1;
    if (m_abShown[nPlace][eKind])
        return;
    m_abShown[nPlace][eKind] = true;
    if (m_fnShow)
        m_fnShow(szText);
}

void CFaultNotices::Cleared(EStoreFault eKind, int nAddress)
{
    if (eKind < 0 || eKind >= FAULT_KINDS)
        return;
    const int nPlace = nAddress >= 0 && nAddress < kAddresses - 1 ? nAddress : kAddresses - 1;
    m_abShown[nPlace][eKind] = false;
}

void CFaultNotices::ClearIndicators()
{
    for (int a = 0; a < kAddresses - 1; ++a)
        for (bool& bShown : m_abShown[a])
            bShown = false;
}
