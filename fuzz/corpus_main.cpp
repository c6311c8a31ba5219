// Runs a fuzz target once over every file in the folders given, without libFuzzer: so the
// kept corpus is a test in every build, the sanitized one included.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    int inputs = 0;
    for (int k = 1; k < argc; ++k) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[k])) {
            std::ostringstream bytes;
            bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.str().data()), bytes.str().size());
            ++inputs;
        }
    }
    std::printf("%d inputs pass\n", inputs);
    return inputs > 0 ? 0 : 1;
}
