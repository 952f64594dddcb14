// The settings file's platform layer on Windows: CreateFileW for reading, ReadFile; the data directory's rules.
// Its POSIX twin is settings_file_posix.cpp.
#include "settings_file.h"

#include <windows.h>

SettingsFile SettingsFileOpen(const char* pszName)
{
    // Names are UTF-8, as every text of the core: the wide call, never the PC's ANSI code page.
    wchar_t szName[MAX_PATH];
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, pszName, -1, szName, MAX_PATH) <= 0)
        return kNoSettingsFile;
    // Shared for reading and writing: an editor holding the file open must not stop the program.
    const HANDLE h = ::CreateFileW(szName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return kNoSettingsFile;
    // Only a file on a disk: a device name such as COM1 or CON would wait for input or read as nothing.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        return kNoSettingsFile;
    }
    return reinterpret_cast<SettingsFile>(h);
}

bool SettingsFileSize(SettingsFile hFile, int64_t* pnSize)
{
    LARGE_INTEGER size{};
    if (hFile == kNoSettingsFile || !::GetFileSizeEx(reinterpret_cast<HANDLE>(hFile), &size))
        return false;
    *pnSize = size.QuadPart;
    return true;
}

int SettingsFileRead(SettingsFile hFile, void* pBuf, int nCount)
{
    DWORD dwGot = 0;
    if (hFile == kNoSettingsFile || nCount < 0 ||
        !::ReadFile(reinterpret_cast<HANDLE>(hFile), pBuf, static_cast<DWORD>(nCount), &dwGot, nullptr))
        return -1;
    return static_cast<int>(dwGot);
}

void SettingsFileClose(SettingsFile hFile)
{
    if (hFile != kNoSettingsFile)
        ::CloseHandle(reinterpret_cast<HANDLE>(hFile));
}

// Windows paths ignore case: the product's own rule, the value upper-cased and a backslash appended.
bool SettingsUpperCaseDataDir() { return true; }

char SettingsPathSeparator() { return '\\'; }

bool SettingsDecodeDataDir() { return true; }
