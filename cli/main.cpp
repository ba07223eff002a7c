// orvex, the command-line program beside the windowed tool.
#include "CommandLine.h"

int main(int argc, char** argv) {
    return RunOrvex(argc, argv);
}
