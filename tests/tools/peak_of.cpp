// Runs a program and writes its own peak resident memory (KiB) to descriptor 3: the process
// between of tests/tools/ChildProcess.h, for the command-line tests.
#include "ChildProcess.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 127;
    tavorin::child::RunAndWritePeak(argv + 1);
}
