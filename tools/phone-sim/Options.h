#pragma once

#include "DiscoveryResponder.h"
#include "UpdateServer.h"

#include <optional>
#include <string>

namespace phonesim {

struct Options {
    bool tcp = true;
    UpdateConfig update;
    std::optional<std::string> versionAfter; // the updated phone's type text once back
    std::string saveFile;
    bool discovery = false;
    DiscoveryConfig discoveryConfig; // phones already built from the options
    bool verbose = false;
};

// Parses the command line (CLI11). Returns an exit code when the program
// should end now (--help, or an error already reported on stderr), nullopt
// when it should run.
std::optional<int> parseOptions(int argc, char** argv, Options& options);

} // namespace phonesim
