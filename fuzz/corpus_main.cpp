// Runs a fuzz target once over every file in the folders given, so that the kept corpus is a test of every build.
#include "tests/files.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    int inputs = 0;
    for (int k = 1; k < argc; ++k) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[k])) {
            const std::string bytes = read_bytes(entry.path().string());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++inputs;
        }
    }
    std::printf("%d inputs pass\n", inputs);
    return inputs > 0 ? 0 : 1;
}
