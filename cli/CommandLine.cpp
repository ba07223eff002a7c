#include "CommandLine.h"

#include "CheckCommand.h"
#include "Console.h"
#include "InputFile.h"
#include "ListCommand.h"
#include "MemoryProfileStore.h"
#include "UpdateCommand.h"
#include "UpdateWorker.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#ifndef ORVEX_VERSION
#define ORVEX_VERSION "0"
#endif

namespace {

const char kDescription[] =
    "orvex: updates the firmware of IP phones over the LAN and finds the phones on it,\n"
    "from a terminal or a script, for one phone or a hundred at once.";

constexpr DWORD kMaxTimeoutMs = 3600000;

void AddUpdateOptions(CLI::App* pCommand, CUpdateOptions* pOptions, const char* pszFileName,
                      const char* pszFileHelp) {
    pCommand->add_option(pszFileName, pOptions->file, pszFileHelp)->required();
    pCommand
        ->add_option("--phone", pOptions->phones,
                     "Phone to update (IPv4 address); repeat for more phones.")
        ->type_name("ADDR")
        ->allow_extra_args(false);
    auto* pPhonesFrom = pCommand->add_option(
        "--phones-from", pOptions->phonesFrom,
        "Phones from FILE ('-' standard input): one address a line, or the JSON "
        "that 'orvex list --json' prints, or a report of --report.");
    pPhonesFrom->type_name("FILE");
    pCommand
        ->add_flag("--only-failed", pOptions->bOnlyFailed,
                   "--phones-from FILE is a report that --report wrote: update only the "
                   "phones whose \"ok\" is false.")
        ->needs(pPhonesFrom);
    pCommand
        ->add_option("--report", pOptions->report,
                     "At the end (also after Ctrl-C) write one row per phone to FILE: address, "
                     "outcome, ok, text, bytes, seconds, attempts, versionBefore, versionAfter. "
                     "CSV when FILE ends in .csv, else a JSON array that --phones-from reads.")
        ->type_name("FILE");
    pCommand
        ->add_option("-j,--jobs", pOptions->nJobs,
                     "How many phones are updated at once (1 to 64). Default: all of them, "
                     "up to 64.")
        ->type_name("N")
        ->check(CLI::Range(1, kMaxJobs));
    pCommand
        ->add_option("--connect-timeout", pOptions->dwConnectTimeout,
                     "Wait for the phone's connection, in ms.")
        ->capture_default_str()
        ->type_name("MS")
        ->check(CLI::Range(DWORD(1), kMaxTimeoutMs));
    pCommand
        ->add_option("--ack-timeout", pOptions->dwAckTimeout,
                     "Wait for each block's acknowledgement, in ms.")
        ->capture_default_str()
        ->type_name("MS")
        ->check(CLI::Range(DWORD(1), kMaxTimeoutMs));
    pCommand
        ->add_option("--check-timeout", pOptions->dwCheckTimeout,
                     "Post-update check: a phone that takes no connection within this "
                     "many ms has begun its update.")
        ->capture_default_str()
        ->type_name("MS")
        ->check(CLI::Range(DWORD(1), kMaxTimeoutMs));
    pCommand
        ->add_option("--retries", pOptions->nRetries,
                     "Run a failed phone again from the start, up to N more times.")
        ->capture_default_str()
        ->type_name("N")
        ->check(CLI::Range(0, 100));
    pCommand
        ->add_option("--canary", pOptions->nCanary,
                     "Update the first N phones alone; the others start only if all N "
                     "succeed, else they are reported skipped.")
        ->type_name("N")
        ->check(CLI::Range(1, 65536));
    pCommand
        ->add_option("--max-failures", pOptions->nMaxFailures,
                     "Start no new phone once K phones have failed; those not started are "
                     "reported skipped.")
        ->type_name("K")
        ->check(CLI::Range(1, 65536));
    auto* pConfirm = pCommand->add_flag(
        "--confirm", pOptions->bConfirm,
        "Watch each phone that began its update until discovery hears it again (outcome "
        "confirmed), else not-back; exit status 1 unless every phone is confirmed.");
    pCommand
        ->add_option("--confirm-timeout", pOptions->dConfirmTimeout,
                     "How long a phone may take to come back, in seconds.")
        ->capture_default_str()
        ->type_name("SECONDS")
        ->check(CLI::Range(0.1, 86400.0))
        ->needs(pConfirm);
    pCommand
        ->add_option("--expect-version", pOptions->expectVersion,
                     "A phone must come back with a type-and-version text that matches the "
                     "shell pattern GLOB, else outcome wrong-version.")
        ->type_name("GLOB")
        ->needs(pConfirm);
    auto* pSkipBusy = pCommand->add_flag(
        "--skip-busy", pOptions->bSkipBusy,
        "Probe each phone before its update; one that answers Busy \"Yes\" (a call in "
        "progress) waits and is asked again, up to --busy-timeout, then is reported "
        "skipped-busy. A phone that does not answer is updated.");
    pCommand
        ->add_option("--busy-timeout", pOptions->dBusyTimeout,
                     "How long a busy phone may keep its call before it is skipped, in seconds.")
        ->capture_default_str()
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 86400.0))
        ->needs(pSkipBusy);
    pCommand
        ->add_option("--probe-interval", pOptions->dProbeInterval,
                     "Seconds between the probes of --confirm and --skip-busy.")
        ->capture_default_str()
        ->type_name("SECONDS")
        ->check(CLI::Range(0.1, 3600.0));
    pCommand->add_flag("--dry-run", pOptions->bDryRun,
                       "Check the file and the phones as the update would and print what would be "
                       "sent to whom, with the options in force (with --confirm or --skip-busy, "
                       "which phones answer a probe, and their state); connect to no phone. "
                       "Status 0 when the update could start.");
    pCommand->add_flag("--json", pOptions->bJson,
                       "JSON lines on standard output: start, progress, retry, done, summary.");
}

int RunCommand(int argc, char** argv);

} // namespace

int RunOrvex(int argc, char** argv) {
    // Whatever runs here keeps its settings in memory: the windowed tool's
    // profile is never read or written.
    CMemoryProfileStore profile;
    SetProfileStore(&profile);
    PrepareStandardStreams();
    const int nStatus = RunCommand(argc, argv);
    SetProfileStore(nullptr);
    return nStatus;
}

namespace {

int RunCommand(int argc, char** argv) {
    CLI::App app(kDescription, "orvex");
    app.set_version_flag("--version", "orvex " ORVEX_VERSION);
    app.require_subcommand(1);
    app.footer("Run 'orvex COMMAND --help' for a command's options.\n"
               "Exit status: 0 success, 1 a phone failed (or none answered), 2 usage error,\n"
               "130 interrupted.");

    CListOptions list;
    auto* pList = app.add_subcommand("list", "Probe the local network and list the phones that "
                                             "answer (as List Phones does).");
    pList
        ->add_option("--probes", list.nProbes,
                     "Probes to send, one second apart; the answers to all of them are merged, "
                     "so a reply lost on a busy network costs nothing.")
        ->capture_default_str()
        ->type_name("N")
        ->check(CLI::Range(1, 100));
    pList->add_option("--wait", list.dSeconds, "Seconds to listen after the last probe.")
        ->capture_default_str()
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 3600.0));
    pList
        ->add_option("--local-address", list.localAddress,
                     "Local IPv4 address to probe from. Default: the host's own address.")
        ->type_name("ADDR");
    pList
        ->add_option("--where", list.where,
                     "List only the phones whose FIELD matches the shell pattern GLOB "
                     "(FIELD=GLOB), or does not (FIELD!=GLOB); repeat it and all must hold. "
                     "FIELD: address, mac, type-version, ip-type, number, logged-on, busy.")
        ->type_name("FIELD=GLOB")
        ->allow_extra_args(false);
    auto* pListJson =
        pList->add_flag("--json", list.bJson, "One JSON array of objects instead of the table.");
    pList->add_flag("--csv", list.bCsv, "CSV with the table's headings instead of the table.")
        ->excludes(pListJson);

    CUpdateOptions program;
    auto* pProgram = app.add_subcommand(
        "update-program", "Send a program image to phones and check that each began its update.");
    AddUpdateOptions(pProgram, &program, "IMAGE", "The program image, sent byte for byte.");

    CUpdateOptions pflash;
    pflash.bFlashPage = true;
    auto* pPflash =
        app.add_subcommand("update-pflash", "Write flash page 0 of phones from an Intel HEX file.");
    AddUpdateOptions(pPflash, &pflash, "HEXFILE", "The flash page as an Intel HEX file.");
    pPflash->add_flag("-y,--yes", pflash.bYes,
                      "Answer Yes to \"Are you sure about flash page?\" (asked when the file "
                      "name does not contain page0.hex).");

    std::string checkPath;
    std::string checkAs;
    auto* pCheck = app.add_subcommand(
        "check", "Read an image or a HEX file as the update would, without a network.");
    pCheck->add_option("FILE", checkPath, "A program image, or an Intel HEX file (*.hex).")
        ->required();
    pCheck
        ->add_option("--as", checkAs,
                     "Read FILE as update-program or update-pflash would (program or pflash). "
                     "Default: pflash for a name ending in .hex, else program.")
        ->type_name("COMMAND")
        ->check(CLI::IsMember({"program", "pflash"}));

    CWorkerOptions worker;
    std::string procedure;
    auto* pWorker = app.add_subcommand("worker", "");
    pWorker->group(""); // one phone's update, started by orvex itself
    pWorker->add_option("PROCEDURE", procedure)
        ->required()
        ->check(CLI::IsMember({"program", "pflash"}));
    // Values of options, so that nothing a user typed is read as an option.
    // The image comes open: a descriptor on Linux, a handle on Windows.
    pWorker->add_option("--image-fd", worker.fdImage)->required();
    pWorker->add_option("--phone", worker.phone)->required();
    pWorker->add_option("--connect-timeout", worker.timeouts.dwConnect);
    pWorker->add_option("--ack-timeout", worker.timeouts.dwAck);
    pWorker->add_option("--check-timeout", worker.timeouts.dwCheck);
    pWorker->add_flag("--yes", worker.bYes);
    pWorker->add_option("--stop-event", worker.nStopEvent);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line, whatever CLI11 would add.
        fprintf(stderr, "orvex: %s\n", e.what());
        return 2;
    }

    if (pList->parsed())
        return RunListCommand(list);
    if (pProgram->parsed())
        return CUpdateCommand(program).Run();
    if (pPflash->parsed())
        return CUpdateCommand(pflash).Run();
    if (pCheck->parsed())
        return RunCheckCommand(checkPath,
                               checkAs.empty() ? IsHexFileName(checkPath) : checkAs == "pflash");
    worker.bFlashPage = procedure == "pflash";
    return RunUpdateWorker(worker);
}

} // namespace
