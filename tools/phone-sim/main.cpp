// phone-sim: a simulated IP phone for end-to-end tests and demos.
// All I/O runs in one poll() loop; see --help for the behaviour.
#include "DiscoveryResponder.h"
#include "Options.h"
#include "Output.h"
#include "PollLoop.h"
#include "SaveFile.h"
#include "SignalPipe.h"
#include "UpdateServer.h"

#include <csignal>
#include <memory>
#include <optional>

using namespace phonesim;

int main(int argc, char** argv)
{
    Options options;
    if (const auto exitCode = parseOptions(argc, argv, options))
        return *exitCode;
    out::setVerbose(options.verbose);

    PollLoop loop;
    std::string error;
    SignalPipe signals;
    if (!signals.install(error)) {
        out::warn("error: " + error);
        return 1;
    }
    loop.watch(signals.readFd(), POLLIN, [&](short) {
        const int number = signals.drain();
        out::debug("stopping on signal " + std::to_string(number));
        loop.stop();
    });

    std::optional<SaveFile> save;
    std::unique_ptr<UpdateServer> update;
    if (options.tcp) {
        if (!options.saveFile.empty()) {
            save.emplace(options.saveFile);
            if (!save->open(error)) {
                out::warn("error: " + error);
                return 1;
            }
        }
        update = std::make_unique<UpdateServer>(loop, options.update, save ? &*save : nullptr);
        if (!update->start(error)) {
            out::warn("error: " + error);
            return 1;
        }
    }
    std::unique_ptr<DiscoveryResponder> discovery;
    if (options.discovery) {
        discovery = std::make_unique<DiscoveryResponder>(loop, options.discoveryConfig);
        if (!discovery->start(error)) {
            out::warn("error: " + error);
            return 1;
        }
    }

    if (update && discovery) {
        const std::uint32_t address = options.update.address;
        update->onUpdating([&discovery, &options, address](bool updating) {
            if (updating)
                discovery->silence(address);
            else
                discovery->comeBack(address, options.versionAfter);
        });
    }

    // Only now, with every socket open, announce readiness.
    if (update)
        out::status(update->readyText());
    if (discovery)
        out::status(discovery->readyText());

    if (!loop.run()) {
        out::warn("error: poll failed");
        return 1;
    }
    return 0;
}
