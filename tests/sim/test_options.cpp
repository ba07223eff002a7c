// The simulator's command line: help text and rejected values.
#include "SimSockets.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CommandLine {
    const char* name;
    std::vector<std::string> args;
    const char* text; // expected somewhere in the output
    const char* phonesFile = nullptr; // written to a file given as --phones-file; text follows its path
};

const CommandLine kCommandLines[] = {
    {"Help", {"--help"}, "ip  mac  type  number  iptype  loggedon  busy"},
    {"AckByteTooLarge", {"--wrong-ack", "256"}, "--wrong-ack"},
    {"AckByteBadHex", {"--wrong-ack", "0x1g"}, "0x1g"},
    {"PortTooLarge", {"--port", "65536"}, "--port"},
    {"PortNegative", {"--port", "-1"}, "--port"},
    {"DelayNotWhole", {"--ack-delay", "1.5"}, "--ack-delay"},
    {"AddressShort", {"--address", "127.0.0"}, "--address"},
    {"CloseAndReset", {"--close-after", "1", "--reset-after", "1"}, "--reset-after"},
    {"RefuseWithAnotherFault", {"--refuse", "--silent"}, "--refuse"},
    {"NothingToSimulate", {"--no-tcp"}, "nothing left to simulate"},
    {"PhonesWithoutDiscovery", {"--phones", "5"}, "--discovery"},
    {"MacTooShort", {"--discovery", "--mac", "00:11:22:33:44"}, "--mac"},
    {"TypeTooLong", {"--discovery", "--type", "123456789012345678901234567890"}, "longer than 29"},
    {"NumberTooLong", {"--discovery", "--number-base", "12345678901234567890"}, "longer than 19"},
    {"PhoneAddressesRunOut", {"--discovery", "--phone-ip", "255.255.255.255", "--phones", "2"}, "255.255.255.255"},
    {"RawReplyOddDigits", {"--discovery", "--raw-reply-hex", "abc"}, "--raw-reply-hex"},
    {"ReplyFromEmptyItem", {"--discovery", "--reply-from", "127.0.0.1,"}, "--reply-from"},
    {"VersionAfterWithoutReboot",
     {"--discovery", "--phone-ip", "127.0.0.1", "--update-busy-ms", "0", "--version-after", "v2"},
     "--update-busy-ms above 0"},
    {"NeverBackWithoutReboot", {"--update-busy-ms", "0", "--never-back"}, "--update-busy-ms above 0"},
    {"VersionAfterWithoutDiscovery", {"--version-after", "v2"}, "needs --discovery"},
    {"VersionAfterNoPhoneThere", {"--discovery", "--version-after", "v2"}, "no simulated phone has"},
    {"VersionAfterTooLong",
     {"--discovery", "--phone-ip", "127.0.0.1", "--version-after", "123456789012345678901234567890"},
     "longer than 29"},
    {"VersionAfterAndNeverBack",
     {"--discovery", "--phone-ip", "127.0.0.1", "--version-after", "v2", "--never-back"}, "--never-back"},
    {"PhonesFileMissing", {"--discovery", "--phones-file", "/nonexistent/phones.txt"}, "cannot read"},
    {"PhonesFileWithGenerator", {"--discovery", "--phones-file", "/dev/null", "--phones", "2"}, "--phones-file"},
    {"FileTooFewFields", {}, ":2: expected 7 fields", "# ok\n198.51.100.1 02:00:00:00:00:01 Desk 100 1 1\n"},
    {"FileBadAddress", {}, ":1: bad IPv4 address", "198.51.100 02:00:00:00:00:01 Desk 100 1 1 0\n"},
    {"FileBadMac", {}, ":1: bad MAC", "198.51.100.1 02:00:00:00:00:0g Desk 100 1 1 0\n"},
    {"FileOpenQuote", {}, ":1: unbalanced", "198.51.100.1 02:00:00:00:00:01 \"Desk 100 1 1 0\n"},
    {"FileByteOutOfRange", {}, ":1: bad loggedon", "198.51.100.1 02:00:00:00:00:01 Desk 100 1 256 0\n"},
    {"FileTypeTooLong", {}, ":1: type text",
     "198.51.100.1 02:00:00:00:00:01 \"123456789012345678901234567890\" 100 1 1 0\n"},
};

// Test names already say which case failed; print no raw bytes.
void PrintTo(const CommandLine& c, std::ostream* os) { *os << c.name; }

class Options : public testing::TestWithParam<CommandLine> {};

// Only --help exits 0; everything else is refused before the simulator listens.
TEST_P(Options, HelpOrRefusalBeforeStarting)
{
    const CommandLine& c = GetParam();
    std::vector<std::string> args = c.args;
    std::string text = c.text;
    char path[] = "/tmp/phone-sim-phones-XXXXXX";
    if (c.phonesFile) {
        const int fd = ::mkstemp(path);
        ASSERT_GE(fd, 0);
        ::close(fd);
        std::ofstream(path) << c.phonesFile;
        args = {"--no-tcp", "--discovery", "--discovery-bind", "127.0.0.1", "--phones-file", path};
        text = path + text;
    }
    auto sim = StartPhoneSim(args);
    ASSERT_TRUE(sim) << "PHONE_SIM is not set";
    const int status = sim->Wait(5000);
    if (c.phonesFile)
        std::remove(path);
    ASSERT_TRUE(WIFEXITED(status)) << sim->Output();
    EXPECT_NE(sim->Output().find(text), std::string::npos) << sim->Output();
    if (c.args == std::vector<std::string>{"--help"})
        EXPECT_EQ(WEXITSTATUS(status), 0);
    else
        EXPECT_TRUE(WEXITSTATUS(status) != 0 && sim->Output().find("phone-sim: listening") == std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sim, Options, testing::ValuesIn(kCommandLines),
                         [](const testing::TestParamInfo<CommandLine>& info) { return std::string(info.param.name); });

} // namespace
