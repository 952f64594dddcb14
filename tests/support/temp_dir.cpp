// Temporary directories, working-directory switches and whole-file helpers for tests.
#include "temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace tkdtest {

CTempDir::CTempDir()
{
    // As mkdtemp does, portably: create_directory fails on a name that exists, so the directory is ours.
    std::mt19937_64 rand(std::random_device{}());
    for (int nTry = 0; nTry < 100 && m_strPath.empty(); ++nTry) {
        const auto path = std::filesystem::temp_directory_path() / ("tkd-test-" + std::to_string(rand()));
        std::error_code ec;
        if (std::filesystem::create_directory(path, ec))
            m_strPath = path.generic_string();
    }
    if (m_strPath.empty())
        throw std::runtime_error("no temporary directory");
}

CTempDir::~CTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}

std::string CTempDir::File(const std::string& name) const
{
    return m_strPath + "/" + name;
}

CScopedChdir::CScopedChdir(const std::string& dir)
{
    m_strPrevious = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
}

CScopedChdir::~CScopedChdir()
{
    std::error_code ec;
    std::filesystem::current_path(m_strPrevious, ec);
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadBytes(const std::string& path, bool* pbFound)
{
    std::ifstream in(path, std::ios::binary);
    if (pbFound != nullptr)
        *pbFound = static_cast<bool>(in);
    if (!in)
        return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace tkdtest
