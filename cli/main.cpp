#include "cli/cli.h"
#include "cli/interrupt.h"

int main(int argc, char** argv)
{
    const int status = run_cli(argc, argv);
    // Only now: everything the run opened is closed.
    interrupt::end_as_interrupted();
    return status;
}
