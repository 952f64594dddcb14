// The system's error text on POSIX: strerror_r of the errno value.
#include "system_error.h"

#include <cstring>

namespace {

// The GNU strerror_r returns its text, the XSI one fills the buffer: both are taken.
[[maybe_unused]] const char* ErrorText(const char* pszReturned, const char*) { return pszReturned; }
[[maybe_unused]] const char* ErrorText(int, const char* pszFilled) { return pszFilled; }

}  // namespace

int OsSystemErrorText(unsigned long nCode, char* pszOut, int nOut)
{
    char szText[256] = "";
    const char* pszText = ErrorText(::strerror_r(static_cast<int>(nCode), szText, sizeof szText), szText);
    const size_t nLen = std::strlen(pszText);
    const size_t nCopy = nLen < static_cast<size_t>(nOut) ? nLen : static_cast<size_t>(nOut);
    std::memcpy(pszOut, pszText, nCopy);
    return static_cast<int>(nCopy);
}
