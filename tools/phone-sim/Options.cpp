#include "Options.h"

#include "Parse.h"
#include "Phones.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <limits>
#include <memory>
#include <sstream>

namespace phonesim {
namespace {

constexpr std::uint64_t kMaxMs = 24ull * 3600 * 1000;
constexpr std::uint64_t kMaxPhones = 1000000;

const char* const kDescription =
    "phone-sim: a simulated IP phone, the peer for Orvex Tool Kit's end-to-end tests and demos.\n"
    "It answers firmware update transfers over TCP and discovery probes over UDP, and can\n"
    "misbehave on demand (refuse, stall, answer wrongly, drop the connection).";

const char* const kFooter = R"(Examples:
  phone-sim                                   a well-behaved phone on 127.0.0.1:8739
  phone-sim --save got.bin --update-busy-ms 2000
                                              keep what the tool sent, reboot for 2 s
  phone-sim --stop-after 3                    stall after the third block
  phone-sim --no-tcp --discovery --phones 50  fifty phones answering discovery
  phone-sim --discovery --phone-ip 127.0.0.1 --version-after "IP Phone v2.2"
                                              reboot for 10 s, come back as v2.2

Update exchange:
  The tool sends 128-byte blocks and waits for the answer to each, then one finishing
  byte: 0x81 after a program image, 0x00 after a flash page. The phone answers every
  block and the finishing byte with the single byte 0xff. A lone pending byte followed
  by --finish-gap-ms of silence is the finishing byte. After answering 0x81 the phone
  "installs" and reboots: its port is closed for --update-busy-ms, so connects are
  refused, and the discovery phone whose address is --address answers no probe.
  Then both are back, discovery with the --version-after text if given; with
  --never-back neither comes back.
  "--stop-after K" and the close/reset faults count the blocks of each connection.
  --double-ack and --wrong-ack apply to every answer, the finishing byte's included.

Discovery:
  A probe is a UDP datagram of exactly the 13 bytes "Hello, world!" sent to port 1025,
  to the group 224.1.2.5 or to this host directly. Anything else is ignored (and
  reported). Each phone answers with one 63-byte record to the prober's address,
  port 1030: IPv4 address (4 bytes, first octet first), MAC (6), type-and-version
  text (30, zero-padded), phone number text (20, zero-padded), IP type (1:
  0 static, 1 dhcp, 2 pppoe, 3 modem), logged on (1), busy (1).

Phones file (--phones-file):
  One phone per line, seven fields separated by blanks:
    ip  mac  type  number  iptype  loggedon  busy
  for example
    192.168.1.20  02:00:00:00:00:20  "Desk Phone v2.1"  2001  1  1  0
  Put a field in double quotes to include spaces (write \" and \\ inside quotes).
  '#' starts a comment; blank lines are skipped. Type text is at most 29 bytes,
  number text at most 19. Byte fields take 0..255 or 0x00..0xff.

Output (stdout, one line each, flushed at once):
  phone-sim: listening on ADDR:PORT       ready (or "refusing on ADDR:PORT" with --refuse)
  phone-sim: discovery on ADDR:PORT, ...  ready, with --discovery
  phone-sim: received N bytes, finishing byte 0xNN   (N counts the finishing byte)
  phone-sim: update started, refusing connections for MS ms
  phone-sim: update started, refusing connections for good (--never-back)
  phone-sim: phone ADDR is updating, silent to discovery
  phone-sim: update done, listening again on ADDR:PORT
  phone-sim: phone ADDR is back, answering discovery as "TEXT"
  phone-sim: probe from ADDR:PORT, sent N replies
  phone-sim: ignored N-byte datagram from ADDR:PORT (M ignored so far)
  plus a line for each connection closed or reset by a fault option.
  Every socket is open before the first line appears, so that line means ready.
  Problems go to stderr. SIGTERM or SIGINT ends phone-sim with exit code 0.)";

constexpr std::size_t kNameColumn = 28;
constexpr std::size_t kHelpWidth = 80;

// CLI11's default help lists every needs/excludes relation inline and never
// wraps; this keeps each option to its value name and a wrapped description.
class HelpFormatter : public CLI::Formatter {
public:
    std::string make_option_opts(const CLI::Option* option) const override
    {
        return option->get_type_size() == 0 ? std::string() : " " + option->get_type_name();
    }

    std::string make_option_desc(const CLI::Option* option) const override
    {
        const std::size_t width = kHelpWidth - kNameColumn;
        std::string wrapped;
        std::size_t lineLength = 0;
        std::istringstream words(option->get_description());
        std::string word;
        while (words >> word) {
            if (lineLength > 0 && lineLength + 1 + word.size() > width) {
                wrapped += '\n';
                lineLength = 0;
            } else if (lineLength > 0) {
                wrapped += ' ';
                ++lineLength;
            }
            wrapped += word;
            lineLength += word.size();
        }
        return wrapped;
    }
};

template <typename T, typename Parser>
CLI::Option* addParsed(CLI::App& app, const std::string& name, T& target, Parser parse,
                       const std::string& expected, const std::string& description)
{
    auto callback = [&target, parse, name, expected](const std::string& text) {
        auto value = parse(text);
        if (!value)
            throw CLI::ValidationError(name, "\"" + text + "\" is not " + expected);
        target = static_cast<T>(*value);
    };
    return app.add_option_function<std::string>(name, callback, description);
}

auto unsignedUpTo(std::uint64_t max)
{
    return [max](const std::string& text) { return parseUnsigned(text, max); };
}

auto millisecondsUpTo(std::uint64_t max)
{
    return [max](const std::string& text) -> std::optional<std::chrono::milliseconds> {
        const auto value = parseUnsigned(text, max);
        if (!value)
            return std::nullopt;
        return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(*value));
    };
}

std::optional<std::vector<std::uint32_t>> parseAddressList(const std::string& text)
{
    std::vector<std::uint32_t> addresses;
    for (const auto& item : splitList(text, ',')) {
        const auto address = parseIPv4(item);
        if (!address)
            return std::nullopt;
        addresses.push_back(*address);
    }
    return addresses;
}

// The reboot options need a reboot, and --version-after a phone to report it.
void checkReboot(const Options& options)
{
    const auto& update = options.update;
    const bool versionGiven = options.versionAfter.has_value();
    if ((versionGiven || update.neverBack) && update.updateBusy.count() == 0)
        throw CLI::ValidationError(versionGiven ? "--version-after" : "--never-back",
                                   "needs a reboot: --update-busy-ms above 0");
    if (!versionGiven)
        return;
    if (!options.discovery)
        throw CLI::ValidationError("--version-after", "needs --discovery");
    Phone check;
    check.type = *options.versionAfter;
    if (auto error = checkPhone(check); !error.empty())
        throw CLI::ValidationError("--version-after", error);
    const auto& phones = options.discoveryConfig.phones;
    if (std::none_of(phones.begin(), phones.end(), [&](const Phone& phone) { return phone.ip == update.address; }))
        throw CLI::ValidationError("--version-after", "no simulated phone has the --address address "
                                       + formatIPv4(update.address) + " (give it with --phone-ip)");
}

} // namespace

std::optional<int> parseOptions(int argc, char** argv, Options& options)
{
    CLI::App app(kDescription, "phone-sim");
    app.footer(kFooter);
    auto formatter = std::make_shared<HelpFormatter>();
    formatter->column_width(kNameColumn);
    app.formatter(formatter);

    auto& update = options.update;
    auto& discovery = options.discoveryConfig;
    PhoneTemplate base;
    std::size_t phoneCount = 1;
    std::string phonesFile;
    std::string versionAfterText;
    const auto ipv4 = [](const std::string& text) { return parseIPv4(text); };
    const auto byte = [](const std::string& text) { return parseByte(text); };
    const auto count = unsignedUpTo(std::numeric_limits<unsigned>::max());
    const auto port = unsignedUpTo(65535);

    const std::string tcpGroup = "Update exchange (TCP)";
    const std::string faultGroup = "Update faults (each per connection; combine freely unless noted)";
    const std::string udpGroup = "Discovery (UDP)";
    const std::string phoneGroup = "Simulated phones (need --discovery)";

    // --- update exchange
    auto* noTcp = app.add_flag("--no-tcp", "Do not simulate the update side at all (needs --discovery; excludes "
                                   "all update options).");
    auto* address = addParsed(app, "--address", update.address, ipv4, "an IPv4 address",
                              "Local IPv4 address to listen on. Default: 127.0.0.1.");
    auto* portOption = addParsed(app, "--port", update.port, port, "a port (0..65535)",
                                 "TCP port to listen on; 0 picks a free one (the ready line tells "
                                 "which). Default: 8739.");
    auto* save = app.add_option("--save", options.saveFile,
                                "Append every byte received on update connections (blocks and "
                                "finishing byte, in order) to FILE, written through at once. The file "
                                "is truncated when a new connection sends its first byte; a connection "
                                "that sends nothing leaves it alone.");
    auto* busy = addParsed(app, "--update-busy-ms", update.updateBusy, millisecondsUpTo(kMaxMs),
                           "a number of milliseconds",
                           "After answering finishing byte 0x81, reboot for MS ms: refuse all "
                           "connections (the listening socket is closed) and leave discovery "
                           "probes unanswered for the phone with the --address address, then "
                           "listen and answer again. 0 keeps accepting (no reboot). Default: 10000.");
    auto* versionAfter = app.add_option("--version-after", versionAfterText,
                                        "Type-and-version text (at most 29 bytes) that the phone with the "
                                        "--address address answers discovery with after its reboot. "
                                        "Needs --discovery.");
    auto* neverBack = app.add_flag("--never-back", update.neverBack,
                                   "After answering finishing byte 0x81 the phone never comes back: "
                                   "connections stay refused and its discovery replies stay away.");
    auto* gap = addParsed(app, "--finish-gap-ms", update.finishGap, millisecondsUpTo(60000),
                          "a number of milliseconds",
                          "Silence after a lone pending byte that makes it the finishing byte. "
                          "Default: 20.");
    for (auto* option : {address, portOption, save, busy, gap, versionAfter, neverBack})
        option->group(tcpGroup);
    noTcp->group(tcpGroup);
    versionAfter->type_name("TEXT");
    versionAfter->excludes(neverBack);
    address->type_name("ADDR");
    portOption->type_name("PORT");
    save->type_name("FILE");
    busy->type_name("MS");
    gap->type_name("MS");

    // --- faults
    auto* refuse = app.add_flag("--refuse", update.refuse,
                                "Bind the port but never listen: every connect is refused. "
                                "Excludes the other fault options.");
    auto* silent = app.add_flag("--silent", update.silent, "Accept and read, but never answer anything.");
    auto* stopAfter = addParsed(app, "--stop-after", update.stopAfter, count, "a count",
                                "Answer the first K blocks, then nothing more (not even the "
                                "finishing byte).");
    auto* doubleAck = app.add_flag("--double-ack", update.doubleAck,
                                   "Answer with two bytes (0xff 0xff) in one send.");
    auto* wrongAck = addParsed(app, "--wrong-ack", update.ackByte, byte, "a byte (0..255 or 0x00..0xff)",
                               "Answer with BYTE instead of 0xff.");
    auto* closeAfter = addParsed(app, "--close-after", update.closeAfter, count, "a count",
                                 "After answering K blocks, close the connection orderly (FIN). "
                                 "0 closes right after accepting. Not with --reset-after.");
    auto* resetAfter = addParsed(app, "--reset-after", update.resetAfter, count, "a count",
                                 "After answering K blocks, reset the connection (RST). "
                                 "0 resets right after accepting.");
    auto* ackDelay = addParsed(app, "--ack-delay", update.ackDelay, millisecondsUpTo(kMaxMs),
                               "a number of milliseconds",
                               "Send each answer MS ms after the block or finishing byte came in "
                               "(other connections are served meanwhile). Default: 0.");
    for (auto* option : {refuse, silent, stopAfter, doubleAck, wrongAck, closeAfter, resetAfter, ackDelay}) {
        option->group(faultGroup);
        option->excludes(noTcp);
        if (option != refuse)
            option->excludes(refuse);
    }
    for (auto* option : {address, portOption, save, busy, gap, versionAfter, neverBack})
        option->excludes(noTcp);
    stopAfter->type_name("K");
    closeAfter->type_name("K");
    resetAfter->type_name("K");
    wrongAck->type_name("BYTE");
    ackDelay->type_name("MS");
    closeAfter->excludes(resetAfter);

    // --- discovery
    auto* discoveryFlag = app.add_flag("--discovery", options.discovery,
                                       "Answer discovery probes on UDP port 1025 (group 224.1.2.5).");
    auto* mcastIf = addParsed(app, "--mcast-if", discovery.multicastInterface, ipv4, "an IPv4 address",
                              "Local address of the interface that joins the group. Default: 0.0.0.0 "
                              "(the interface the routing table picks).");
    auto* bind = addParsed(app, "--discovery-bind", discovery.bindAddress, ipv4, "an IPv4 address",
                           "Local address the discovery socket binds to. Default: 0.0.0.0. A unicast "
                           "address here hears only probes sent to it and joins no group (handy for "
                           "unicast tests on loopback).");
    auto* discoveryPort = addParsed(app, "--discovery-port", discovery.port, port, "a port (0..65535)",
                                    "UDP port probes arrive on. Default: 1025.");
    auto* replyPort = addParsed(app, "--reply-port", discovery.replyPort, port, "a port (0..65535)",
                                "UDP port of the prober that replies go to. Default: 1030.");
    auto* replyFrom = addParsed(app, "--reply-from", discovery.replyFrom, parseAddressList,
                                "a comma-separated list of IPv4 addresses",
                                "Send phone i's reply from local address number i modulo the count, "
                                "each its own socket (port 1025 if free, else any), so one process acts "
                                "as several hosts. Default: reply from the discovery socket.");
    auto* rawReply = addParsed(
        app, "--raw-reply-hex", discovery.rawReply,
        [](const std::string& text) { return parseHexBytes(text); }, "hex byte pairs",
        "Send exactly these bytes (hex pairs, blanks allowed, \"\" for an empty datagram) as each "
        "phone's reply instead of its 63-byte record.");
    discoveryFlag->group(udpGroup);
    for (auto* option : {mcastIf, bind, discoveryPort, replyPort, replyFrom, rawReply})
        option->group(udpGroup)->needs(discoveryFlag);
    mcastIf->type_name("ADDR");
    bind->type_name("ADDR");
    discoveryPort->type_name("PORT");
    replyPort->type_name("PORT");
    replyFrom->type_name("ADDR,...");
    rawReply->type_name("HEX");

    // --- phones
    auto* phones = addParsed(app, "--phones", phoneCount, unsignedUpTo(kMaxPhones), "a count up to 1000000",
                             "Number of phones answering each probe; phone i (from 0) gets the base "
                             "address, MAC and number plus i. Default: 1.");
    auto* phoneIp = addParsed(app, "--phone-ip", base.firstIp, ipv4, "an IPv4 address",
                              "Address reported by the first phone. Default: 192.168.1.1.");
    auto* mac = addParsed(app, "--mac", base.firstMac,
                          [](const std::string& text) { return parseMac(text); }, "a MAC (xx:xx:xx:xx:xx:xx)",
                          "MAC of the first phone; later phones count up through the last octets. "
                          "Default: 02:00:00:00:00:01.");
    auto* type = app.add_option("--type", base.type,
                                "Type-and-version text, at most 29 bytes. Default: \"IP Phone v1.0\".");
    auto* numberBase = addParsed(app, "--number-base", base.numberBase,
                                 unsignedUpTo(std::numeric_limits<std::uint64_t>::max()), "a number",
                                 "Phone number of the first phone (as text in the reply). Default: 1000.");
    auto* ipType = addParsed(app, "--ip-type", base.ipType, byte, "a byte (0..255 or 0x00..0xff)",
                             "IP type byte: 0 static, 1 dhcp, 2 pppoe, 3 modem, others allowed. "
                             "Default: 1.");
    auto* loggedOn = addParsed(app, "--logged-on", base.loggedOn, byte, "a byte (0..255 or 0x00..0xff)",
                               "Logged-on byte (1 = yes). Default: 1.");
    auto* busyByte = addParsed(app, "--busy", base.busy, byte, "a byte (0..255 or 0x00..0xff)",
                               "Busy byte (1 = yes). Default: 0.");
    auto* file = app.add_option("--phones-file", phonesFile,
                                "Read the phones from FILE (format below) instead of generating them.");
    for (auto* option : {phones, phoneIp, mac, type, numberBase, ipType, loggedOn, busyByte, file})
        option->group(phoneGroup)->needs(discoveryFlag);
    for (auto* option : {phones, phoneIp, mac, type, numberBase, ipType, loggedOn, busyByte})
        option->excludes(file);
    phones->type_name("N");
    phoneIp->type_name("ADDR");
    mac->type_name("MAC");
    type->type_name("TEXT");
    numberBase->type_name("N");
    ipType->type_name("BYTE");
    loggedOn->type_name("BYTE");
    busyByte->type_name("BYTE");
    file->type_name("FILE");

    app.add_flag("-v,--verbose", options.verbose,
                 "Log connections, answers and probes on stderr.")
        ->group("Other");

    try {
        app.parse(argc, argv);
        options.tcp = noTcp->count() == 0;
        if (!options.tcp && !options.discovery)
            throw CLI::ValidationError("--no-tcp", "nothing left to simulate without --discovery");
        if (options.discovery) {
            const std::string error = phonesFile.empty()
                ? generatePhones(base, phoneCount, discovery.phones)
                : loadPhonesFile(phonesFile, discovery.phones);
            if (!error.empty())
                throw CLI::ValidationError(phonesFile.empty() ? "phones" : "--phones-file", error);
        }
        if (versionAfter->count() > 0)
            options.versionAfter = versionAfterText;
        checkReboot(options);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return std::nullopt;
}

} // namespace phonesim
