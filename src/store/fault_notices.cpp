// CFaultNotices: the operator's texts of failures to keep records, shown once per indicator and kind; the event log of standard error and tk-dedi.log.
#include "fault_notices.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "file_access.h"
#include "local_clock.h"

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
    case FAULT_NO_DATA_FILE: return "файл данных %s не открыт";
    case FAULT_LINE_DEAD: return "нет связи: порт %s пропал";
    case FAULT_PORT_OPEN: return "не могу открыть порт %s";
    case FAULT_PORT_BUSY: return "порт %s занят другой программой";
    case FAULT_FLUSH_SLOW: return "запись в файл данных %s не завершается больше секунды, отвесы ждут в памяти";
    case FAULT_FLUSH_RESUMED: return "запись в файл данных %s снова идёт";
    case FAULT_QUEUE_FULL: return "слишком много отвесов ждут записи, отвес не сохранён в файл данных %s";
    case FAULT_RECORD_TORN: return "запись в файл данных %s оборвана, следующие отвесы ждут в памяти до «Поиск»";
    case FAULT_DATA_REPLACED: return "файл данных %s заменён или удалён другой программой, отвесы пишутся в файл с этим именем";
    case FAULT_DATA_CLOSE: return "ошибка при закрытии файла данных %s";
    case FAULT_TORN_MOVED: return "оборванная последняя строка файла данных %s перенесена в %s.torn";
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
    // The torn-line notice names the data file twice: as itself and as the stem of its side file.
    const char* pszName = pszSubject != nullptr ? pszSubject : "";
    std::snprintf(szWhat, sizeof szWhat, WhatFailed(eKind), pszName, pszName);
#pragma GCC diagnostic pop
    char szWho[32] = "";
    if (nAddress >= 0)
        std::snprintf(szWho, sizeof szWho, "Индикатор %d: ", nAddress);
    const bool bSystem = pszSystemText != nullptr && pszSystemText[0] != '\0';
    if (eKind == FAULT_TORN_MOVED) {
        std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s%s (байт: %s)", szWho, szWhat, bSystem ? pszSystemText : "?");
        return;
    }
    if (eKind == FAULT_NO_DATA_FILE) {
        std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s%s%s%s; запись отвеса осталась только в памяти", szWho,
                      szWhat, bSystem ? ": " : "", bSystem ? pszSystemText : "");
        return;
    }
    // The line's notice tells the operator how it comes back.
    std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s%s%s%s%s%s", szWho, szWhat, bSystem ? " (" : "",
                  bSystem ? pszSystemText : "", bSystem ? ")" : "",
                  eKind != FAULT_LINE_DEAD ? ""
                  : bPolling               ? ". Подключите линию, нажмите «Стоп», затем «Поиск»"
                                           : ". Подключите линию и нажмите «Поиск»");
}

void CFaultNotices::FormatGivenUp(EStoreFault eCause, const char* pszSystemText, char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    const char* pszWhy = "";
    switch (eCause) {
    case FAULT_DATA_OPEN: pszWhy = "ошибка открытия"; break;
    case FAULT_TUNE_READ: pszWhy = "не читается файл настройки"; break;
    case FAULT_TUNE_WRITE: pszWhy = "не удалось записать новый файл настройки"; break;
    case FAULT_MOVE_ASIDE: pszWhy = "не удалось отложить старый файл данных"; break;
    case FAULT_DATA_READ: pszWhy = "ошибка чтения"; break;
    case FAULT_TORN_TAIL: pszWhy = "не удалось отложить оборванную строку"; break;
    default: break;
    }
    const bool bSystem = pszWhy[0] != '\0' && pszSystemText != nullptr && pszSystemText[0] != '\0';
    std::snprintf(pszBuf, static_cast<size_t>(nSize), "%s%s%s%s", pszWhy, bSystem ? " (" : "",
                  bSystem ? pszSystemText : "", bSystem ? ")" : "");
}

void CFaultNotices::Report(EStoreFault eKind, int nAddress, const char* pszSubject, const char* pszSystemText)
{
    if (eKind < 0 || eKind >= FAULT_KINDS)
        return;
    char szText[kTextBytes];
    FormatText(eKind, nAddress, pszSubject, pszSystemText, szText, sizeof szText, m_bPolling);
    CEventLog::Program().Write(szText);
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

CEventLog& CEventLog::Program()
{
    static CEventLog s_log("tk-dedi.log");
    return s_log;
}

void CEventLog::Write(const char* pszText)
{
    std::tm tmNow{};
    int nOffset = 0;
    OsLocalTimeNowWithOffset(&tmNow, &nOffset);
    const int nAbs = nOffset < 0 ? -nOffset : nOffset;
    char szLine[kTextBytes + 64];
    int nLen = std::snprintf(szLine, sizeof szLine, "%04d-%02d-%02d %02d:%02d:%02d %c%02d%02d tk-dedi: %s\n",
                             tmNow.tm_year + 1900, tmNow.tm_mon + 1, tmNow.tm_mday, tmNow.tm_hour, tmNow.tm_min,
                             tmNow.tm_sec, nOffset < 0 ? '-' : '+', nAbs / 60 % 100, nAbs % 60, pszText);
    if (nLen <= 0)
        return;
    if (nLen >= static_cast<int>(sizeof szLine)) {  // a cut line still ends the line
        nLen = static_cast<int>(sizeof szLine) - 1;
        szLine[nLen - 1] = '\n';
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::fputs(szLine, stderr);
    std::fflush(stderr);
    if (!WriteFile(szLine, nLen) && !m_bFailureTold) {
        m_bFailureTold = true;
        const std::string strWhy = std::generic_category().message(errno);
        std::fprintf(stderr, "%.25s tk-dedi: не могу записать журнал %s (%s)\n", szLine,
                     m_strPath.c_str(), strWhy.c_str());
        std::fflush(stderr);
    }
}

bool CEventLog::WriteFile(const char* pszLine, int nLen)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(m_strPath, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) {
        errno = EINVAL;  // a FIFO would block the open, a directory cannot take lines
        return false;
    }
    const std::uintmax_t nSize = fs::is_regular_file(st) ? fs::file_size(m_strPath, ec) : 0;
    if (!ec && static_cast<int64_t>(nSize) + nLen > m_nLimitBytes) {
        // Windows renames onto no existing name: the older generation goes first.
        fs::remove(m_strPath + ".1", ec);
        fs::rename(m_strPath, m_strPath + ".1", ec);
    }
    errno = 0;
    std::FILE* pFile = std::fopen(m_strPath.c_str(), "ab");
    if (pFile == nullptr)
        return false;
    bool bOk = std::fwrite(pszLine, 1, static_cast<size_t>(nLen), pFile) == static_cast<size_t>(nLen);
    bOk = std::fflush(pFile) == 0 && bOk;
    return std::fclose(pFile) == 0 && bOk;
}
