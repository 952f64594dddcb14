// Fuzz target: TK4700_TUNE.INI from arbitrary bytes through CTuneSettings::Load, and every line of it
// through SplitKeyValue at the settings' and the store's line limits.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "temp_dir.h"
#include "tune_settings.h"

namespace {

// SplitKeyValue against its rule, with key and value buffers of exactly maxLen + 1 bytes on the heap, so
// that one byte too many is an AddressSanitizer report.
void CheckSplit(const std::string& strLine, int maxLen)
{
    std::vector<char> key(static_cast<size_t>(maxLen) + 1, '#'), value(static_cast<size_t>(maxLen) + 1, '#');
    const bool bOk = SplitKeyValue(strLine.c_str(), maxLen, key.data(), value.data());
    const std::string strText = strLine.c_str();  // the splitter sees the text up to its terminator
    const size_t nEq = strText.find('=');
    if ((!strText.empty() && strText[0] == ';') || strText.size() > static_cast<size_t>(maxLen)) {
        FUZZ_CHECK(!bOk && key[0] == '#' && value[0] == '#');
    } else if (nEq == std::string::npos) {
        FUZZ_CHECK(!bOk && key[0] == '\0' && value[0] == '\0');
    } else {
        std::string strValue = strText.substr(nEq + 1);
        strValue.erase(std::remove(strValue.begin(), strValue.end(), '='), strValue.end());
        FUZZ_CHECK(bOk && key.data() == strText.substr(0, nEq) && value.data() == strValue);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // The file is read from the current directory, entered per input so that libFuzzer's own relative
    // paths keep working.
    static tkdtest::CTempDir s_dir;
    tkdtest::CScopedChdir chdir(s_dir.Path());
    const std::string strFile(reinterpret_cast<const char*>(pData), nSize);
    FUZZ_CHECK(tkdtest::WriteBytes(CTuneSettings::kFileName, strFile));

    CTuneSettings s;
    FUZZ_CHECK(s.Load(nullptr));
    FUZZ_CHECK(std::memchr(s.m_szDataDir, '\0', sizeof s.m_szDataDir) && std::memchr(s.m_szPortName, '\0', sizeof s.m_szPortName));
    FUZZ_CHECK(s.m_nComNumber >= 0 && s.m_nComNumber <= 16);
    FUZZ_CHECK(s.m_szPortName == (s.m_nComNumber > 0 ? "COM" + std::to_string(s.m_nComNumber) : ""));
    static constexpr int32_t anRates[] = {0, 110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200,
                                          230400, 460800, 921600};
    FUZZ_CHECK(std::find(std::begin(anRates), std::end(anRates), s.m_nBaud) != std::end(anRates));
    FUZZ_CHECK(s.m_byDataBits == 0 || (s.m_byDataBits >= 5 && s.m_byDataBits <= 8));
    FUZZ_CHECK(s.m_byParity == 0 && s.m_byStopBits == 0);
    const std::string strDirBefore = s.m_szDataDir;
    const std::string strDir = s.GetDataDir();
    FUZZ_CHECK(strDir.size() < sizeof s.m_szDataDir && strDir.compare(0, strDirBefore.size(), strDirBefore) == 0);
    FUZZ_CHECK(strDir.size() <= strDirBefore.size() + 1);
    FUZZ_CHECK(s.GetDataDir() == strDir);  // the separator is appended once

    size_t nStart = 0;
    for (size_t nEnd; (nEnd = strFile.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2) {
        CheckSplit(strFile.substr(nStart, nEnd - nStart), 64);
        CheckSplit(strFile.substr(nStart, nEnd - nStart), 128);
    }
    CheckSplit(strFile.substr(nStart), 64);
    return 0;
}
