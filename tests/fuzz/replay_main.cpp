// Replays a fuzz target's committed seeds without libFuzzer, so that every build's ctest checks the
// target's rules on them: each file of the folders named on the command line is one input.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize);

int main(int argc, char** argv)
{
    int nInputs = 0;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string strInput((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(strInput.data()), strInput.size());
            ++nInputs;
        }
    std::printf("%d inputs replayed\n", nInputs);
    return nInputs > 0 ? 0 : 1;  // an empty corpus would check nothing
}
