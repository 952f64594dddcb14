// Temporary directories, working-directory switches and whole-file helpers for tests.
#pragma once

#include <string>

namespace tkdtest {

// A fresh directory in the system's temporary directory, removed with everything in it when the object goes.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_strPath; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const;

private:
    std::string m_strPath;
};

// Makes a directory the process's current directory until the object goes.
class CScopedChdir {
public:
    explicit CScopedChdir(const std::string& dir);
    ~CScopedChdir();
    CScopedChdir(const CScopedChdir&) = delete;
    CScopedChdir& operator=(const CScopedChdir&) = delete;

private:
    std::string m_strPrevious;
};

// Writes the bytes exactly as given (no line-end translation). Returns false on any failure.
bool WriteBytes(const std::string& path, const std::string& bytes);
// Reads the whole file; an absent file gives an empty text and false in *pbFound.
std::string ReadBytes(const std::string& path, bool* pbFound = nullptr);
bool FileExists(const std::string& path);

}  // namespace tkdtest
