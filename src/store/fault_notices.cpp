// CFaultNotices: the operator's texts of failures to keep records, shown once per indicator and kind, and their lines on standard error.
#include "fault_notices.h"

#include <cstdio>
#include <ctime>

#include "store_file.h"

namespace {

constexpr int kTextBytes = 1024;

// What failed; %s is the file or the port.
const char* WhatFailed(EStoreFault eKind)
{
    switch (eKind) {
    case FAULT_DATA_OPEN: return "не могу открыть файл данных %s";
    case FAULT_TUNE_READ: return "не могу прочитать файл настройки %s";
    case FAULT_TUNE_WRITE: return "не могу записать файл настройки %s";
    case FAULT_MOVE_ASIDE: return "не могу отложить старый файл данных %s";
    case FAULT_DATA_READ: return "ошибка чтения файла данных %s";
    case FAULT_TORN_TAIL: return "не могу отложить оборванную строку в %s";
    case FAULT_RECORD_WRITE: return "запись отвеса не сохранена в файл данных %s";
    case FAULT_NO_DATA_FILE: return "нет файла данных %s, запись отвеса осталась только в памяти";
    case FAULT_LINE_DEAD: return "нет связи: порт %s пропал";
    case FAULT_PORT_OPEN: return "не могу открыть порт %s";
    case FAULT_PORT_BUSY: return "порт %s занят другой программой";
    case FAULT_FLUSH_SLOW: return "запись в файл данных %s не завершается больше секунды, отвесы ждут в памяти";
    case FAULT_FLUSH_RESUMED: return "запись в файл данных %s снова идёт";
    case FAULT_QUEUE_FULL: return "слишком много отвесов ждут записи, отвес не сохранён в файл данных %s";
    case FAULT_RECORD_TORN: return "запись в файл данных %s оборвана, следующие отвесы ждут в памяти до «Поиск»";
    default: return "ошибка: %s";
    }
}

}  // namespace

void CFaultNotices::FormatText(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText,
                               char* pszBuf, int nSize, bool bPolling)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    char szWhat[512];
    // The formats are the fixed texts above, each with one %s.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(szWhat, sizeof szWhat, WhatFailed(eKind), pszSubject != nullptr ? pszSubject : "");
#pragma GCC diagnostic pop
    char szWho[32] = "";
    if (nAddress >= 0)
        std::snprintf(szWho, sizeof szWho, "Индикатор %d: ", nAddress);
    const bool bSystem = pszSystemText != nullptr && pszSystemText[0] != '\0';
    // The line's notice tells the operator how it comes back.
    std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s%s%s%s%s%s", szWho, szWhat, bSystem ? " (" : "",
                  bSystem ? pszSystemText : "", bSystem ? ")" : "",
                  eKind != FAULT_LINE_DEAD ? ""
                  : bPolling               ? ". Подключите линию, нажмите «Стоп», затем «Поиск»"
                                           : ". Подключите линию и нажмите «Поиск»");
}

void CFaultNotices::Report(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText)
{
    if (eKind < 0 || eKind >= FAULT_KINDS)
        return;
    char szText[kTextBytes];
    FormatText(eKind, nAddress, pszSubject, pszSystemText, szText, sizeof szText, m_bPolling);
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
