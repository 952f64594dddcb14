// OsErrorText on POSIX: strerror_r of the errno value.
#include "system_error.h"

#include <cstring>

namespace {

// The GNU strerror_r returns its text, the XSI one fills the buffer: both are taken.
[[maybe_unused]] const char* ErrorText(const char* pszReturned, const char*) { return pszReturned; }
[[maybe_unused]] const char* ErrorText(int, const char* pszFilled) { return pszFilled; }

}  // namespace

void OsErrorText(unsigned long nCode, char* pszBuf, int nSize)
{
    if (pszBuf == nullptr || nSize <= 0)
        return;
    pszBuf[0] = '\0';
    if (nCode == 0)
        return;
    char szText[256] = "";
    const char* pszText = ErrorText(::strerror_r(static_cast<int>(nCode), szText, sizeof szText), szText);
    OsCopyTextCut(pszText, static_cast<int>(std::strlen(pszText)), pszBuf, nSize);
}
