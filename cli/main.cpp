#include "cli/cli.h"
#include "cli/interrupt.h"

#ifdef _WIN32
#include "engine/text_encoding.h"

#include <string>
#include <vector>

// The C library would hand the arguments over in the ANSI code page, which turns a letter
// outside it into a look-alike or '?': a file named so could not be reached. The wide
// arguments keep every name whole, as UTF-8 like every name inside the program.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int k = 0; k < argc; ++k) {
        args.push_back(to_utf8(argv[k]));
    }
    std::vector<char*> texts;
    for (std::string& arg : args) {
        texts.push_back(arg.data());
    }
    return run_cli(argc, texts.data());
}
#else
int main(int argc, char** argv)
{
    const int status = run_cli(argc, argv);
    // Only now: everything the run opened is closed.
    interrupt::end_as_interrupted();
    return status;
}
#endif
