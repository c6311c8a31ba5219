#include "cli/cli.h"
#include "cli/interrupt.h"

#ifdef _WIN32
#include "engine/base/text_encoding.h"

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
#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
#ifdef __GLIBC__
    // Each compressed copy's deflate state (a quarter of a megabyte) is made and freed in
    // turn; without some room kept at the top of the heap, glibc gives it back to the system
    // and asks for it again every time, which cost an extended repair a tenth more time.
    mallopt(M_TOP_PAD, 4 << 20);
#endif
    const int status = run_cli(argc, argv);
    // Only now: everything the run opened is closed.
    interrupt::end_as_interrupted();
    return status;
}
#endif
