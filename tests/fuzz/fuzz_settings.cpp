// Fuzz target: TK4700_TUNE.INI from arbitrary bytes through CTuneSettings::Load, and every line of it
// through SplitKeyValue at the settings' and the store's line limits.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "temp_dir.h"
#include "tune_settings.h"

namespace {

bool IsAcceptedBaud(int32_t n)
{
    static constexpr int32_t anRates[] = {0, 110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200,
                                          230400, 460800, 921600};
    for (int32_t nRate : anRates)
        if (nRate == n)
            return true;
    return false;
}

// SplitKeyValue against the rule its header gives, with key and value buffers of exactly maxLen + 1
// bytes on the heap, so that one byte too many is an AddressSanitizer report.
void CheckSplit(const std::string& strLine, int maxLen)
{
    std::vector<char> key(static_cast<size_t>(maxLen) + 1, '#');
    std::vector<char> value(static_cast<size_t>(maxLen) + 1, '#');
    const bool bOk = SplitKeyValue(strLine.c_str(), maxLen, key.data(), value.data());
    const size_t nLen = std::strlen(strLine.c_str());  // the splitter sees the text up to its terminator
    const std::string strText = strLine.substr(0, nLen);
    if (strText.empty() ? false : strText[0] == ';') {
        FUZZ_CHECK(!bOk && key[0] == '#' && value[0] == '#');
        return;
    }
    if (nLen > static_cast<size_t>(maxLen)) {
        FUZZ_CHECK(!bOk && key[0] == '#' && value[0] == '#');
        return;
    }
    const size_t nEq = strText.find('=');
    if (nEq == std::string::npos) {
        FUZZ_CHECK(!bOk && key[0] == '\0' && value[0] == '\0');
        return;
    }
    std::string strValue;
    for (char c : strText.substr(nEq + 1))
        if (c != '=')
            strValue += c;
    FUZZ_CHECK(bOk);
    FUZZ_CHECK(std::string(key.data()) == strText.substr(0, nEq));
    FUZZ_CHECK(std::string(value.data()) == strValue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // The file is read from the current directory: one directory per process, entered per input so
    // that libFuzzer's own relative paths keep working.
    static tkdtest::CTempDir s_dir;
    tkdtest::CScopedChdir chdir(s_dir.Path());
    const std::string strFile(reinterpret_cast<const char*>(pData), nSize);
    FUZZ_CHECK(tkdtest::WriteBytes(CTuneSettings::kFileName, strFile));

    CTuneSettings settings;
    FUZZ_CHECK(settings.Load(nullptr));
    FUZZ_CHECK(std::memchr(settings.m_szDataDir, '\0', sizeof settings.m_szDataDir) != nullptr);
    FUZZ_CHECK(std::memchr(settings.m_szPortName, '\0', sizeof settings.m_szPortName) != nullptr);
    FUZZ_CHECK(settings.m_nComNumber >= 0 && settings.m_nComNumber <= 16);
    if (settings.m_nComNumber > 0)
        FUZZ_CHECK(std::string(settings.m_szPortName) == "COM" + std::to_string(settings.m_nComNumber));
    else
        FUZZ_CHECK(settings.m_szPortName[0] == '\0');
    FUZZ_CHECK(IsAcceptedBaud(settings.m_nBaud));
    FUZZ_CHECK(settings.m_byDataBits == 0 || (settings.m_byDataBits >= 5 && settings.m_byDataBits <= 8));
    FUZZ_CHECK(settings.m_byParity == 0 && settings.m_byStopBits == 0);
    const std::string strDirBefore = settings.m_szDataDir;
    const std::string strDir = settings.GetDataDir();
    FUZZ_CHECK(strDir.size() < sizeof settings.m_szDataDir);
    FUZZ_CHECK(strDir.compare(0, strDirBefore.size(), strDirBefore) == 0);
    FUZZ_CHECK(strDir.size() <= strDirBefore.size() + 1);
    FUZZ_CHECK(std::string(settings.GetDataDir()) == strDir);  // the separator is appended once

    // Every CR LF line, at the limits of both of the splitter's callers.
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strFile.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2) {
        const std::string strLine = strFile.substr(nStart, nEnd - nStart);
        CheckSplit(strLine, 64);
        CheckSplit(strLine, 128);
    }
    CheckSplit(strFile.substr(nStart), 64);
    return 0;
}
