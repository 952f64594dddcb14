// UTF-8 recognition and the code page 1251 to UTF-8 conversion of settings texts.
#include "text_decode.h"

#include <cstring>
#include <string>

namespace {

// Code page 1251 from 0x80 to 0xBF; 0xC0..0xFF are U+0410..U+044F in order, below 0x80 it is ASCII.
// 0x98 is unassigned: it keeps its own value, as Windows' table does.
constexpr char16_t g_awCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

char32_t Cp1251(unsigned char by)
{
    if (by < 0x80)
        return by;
    if (by >= 0xC0)
        return 0x0410 + (by - 0xC0);
    return g_awCp1251High[by - 0x80];
}

// Every code point of code page 1251 lies below U+10000: one to three bytes.
void AppendUtf8(char32_t c, std::string& str)
{
    if (c < 0x80) {
        str += static_cast<char>(c);
    } else if (c < 0x800) {
        str += static_cast<char>(0xC0 | (c >> 6));
        str += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        str += static_cast<char>(0xE0 | (c >> 12));
        str += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        str += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

bool IsUtf8(const char* p, int nLen)
{
    const auto* pby = reinterpret_cast<const unsigned char*>(p);
    for (int i = 0; i < nLen;) {
        const unsigned char by = pby[i];
        int nMore = 0;
        char32_t c = 0;
        char32_t cMin = 0;
        if (by < 0x80) {
            ++i;
            continue;
        } else if ((by & 0xE0) == 0xC0) {
            nMore = 1, c = by & 0x1F, cMin = 0x80;
        } else if ((by & 0xF0) == 0xE0) {
            nMore = 2, c = by & 0x0F, cMin = 0x800;
        } else if ((by & 0xF8) == 0xF0) {
            nMore = 3, c = by & 0x07, cMin = 0x10000;
        } else {
            return false;
        }
        if (nLen - i <= nMore)
            return false;
        for (int k = 1; k <= nMore; ++k) {
            if ((pby[i + k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (pby[i + k] & 0x3F);
        }
        if (c < cMin || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += nMore + 1;
    }
    return true;
}

void TextToUtf8(char* pszText, int nSize)
{
    if (pszText == nullptr || nSize <= 0)
        return;
    pszText[nSize - 1] = '\0';
    const int nLen = static_cast<int>(std::strlen(pszText));
    if (IsUtf8(pszText, nLen))
        return;
    std::string str;
    for (int i = 0; i < nLen; ++i)
        AppendUtf8(Cp1251(static_cast<unsigned char>(pszText[i])), str);
    int nKeep = static_cast<int>(str.size());
    if (nKeep > nSize - 1) {
        nKeep = nSize - 1;
        while (nKeep > 0 && (static_cast<unsigned char>(str[static_cast<size_t>(nKeep)]) & 0xC0) == 0x80)
            --nKeep;  // never half a character
    }
    std::memcpy(pszText, str.data(), static_cast<size_t>(nKeep));
    pszText[nKeep] = '\0';
}
