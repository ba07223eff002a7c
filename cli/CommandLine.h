// orvex's command line: list, update-program, update-pflash, check, and the
// hidden worker that runs one phone's update.
#pragma once

// The process's exit status: 2 for a usage error.
int RunOrvex(int argc, char** argv);
