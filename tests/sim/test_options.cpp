// The simulator's command line: help text and rejected values.
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <unistd.h>

namespace {

TEST(SimOptions, HelpDescribesEveryOption)
{
    SimProcess sim({"--help"});
    ASSERT_EQ(sim.waitExit(), 0);
    const std::string& help = sim.stdoutText();
    for (const char* option :
         {"--address", "--port", "--no-tcp", "--save", "--update-busy-ms", "--finish-gap-ms", "--refuse", "--silent",
          "--stop-after", "--double-ack", "--wrong-ack", "--close-after", "--reset-after", "--ack-delay",
          "--discovery ", "--mcast-if", "--discovery-bind", "--discovery-port", "--reply-port", "--reply-from",
          "--raw-reply-hex", "--phones ", "--phone-ip", "--mac", "--type", "--number-base", "--ip-type",
          "--logged-on", "--busy ", "--phones-file", "-v,--verbose"}) {
        // Listed as an option (indented at the start of a line), not just mentioned.
        EXPECT_NE(help.find("\n  " + std::string(option)), std::string::npos) << option;
    }
    EXPECT_NE(help.find("Default: 8739"), std::string::npos);
    EXPECT_NE(help.find("ip  mac  type  number  iptype  loggedon  busy"), std::string::npos);
}

struct BadCommandLine {
    const char* name;
    std::vector<std::string> args;
    const char* complaint; // expected somewhere on stderr
};

const BadCommandLine kBadCommandLines[] = {
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
    {"PhonesFileMissing", {"--discovery", "--phones-file", "/nonexistent/phones.txt"}, "cannot read"},
    {"PhonesFileWithGenerator", {"--discovery", "--phones-file", "/dev/null", "--phones", "2"}, "--phones-file"},
};

// Test names already say which case failed; print no raw bytes.
void PrintTo(const BadCommandLine& c, std::ostream* os) { *os << c.name; }

class BadOptions : public testing::TestWithParam<BadCommandLine> {};

TEST_P(BadOptions, AreRejectedBeforeStarting)
{
    SimProcess sim(GetParam().args);
    const auto code = sim.waitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_NE(*code, 0);
    EXPECT_NE(sim.stderrText().find(GetParam().complaint), std::string::npos) << sim.stderrText();
    EXPECT_EQ(sim.stdoutText().find("phone-sim: listening"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sim, BadOptions, testing::ValuesIn(kBadCommandLines),
                         [](const testing::TestParamInfo<BadCommandLine>& info) { return std::string(info.param.name); });

struct BadPhonesFile {
    const char* name;
    const char* content;
    const char* complaint;
};

const BadPhonesFile kBadPhonesFiles[] = {
    {"TooFewFields", "# ok\n198.51.100.1 02:00:00:00:00:01 Desk 100 1 1\n", ":2: expected 7 fields"},
    {"BadAddress", "198.51.100 02:00:00:00:00:01 Desk 100 1 1 0\n", ":1: bad IPv4 address"},
    {"BadMac", "198.51.100.1 02:00:00:00:00:0g Desk 100 1 1 0\n", ":1: bad MAC"},
    {"OpenQuote", "198.51.100.1 02:00:00:00:00:01 \"Desk 100 1 1 0\n", ":1: unbalanced"},
    {"ByteOutOfRange", "198.51.100.1 02:00:00:00:00:01 Desk 100 1 256 0\n", ":1: bad loggedon"},
    {"TypeTooLong", "198.51.100.1 02:00:00:00:00:01 \"123456789012345678901234567890\" 100 1 1 0\n",
     ":1: type text"},
};

void PrintTo(const BadPhonesFile& c, std::ostream* os) { *os << c.name; }

class BadPhonesFiles : public testing::TestWithParam<BadPhonesFile> {};

TEST_P(BadPhonesFiles, NameTheLineAndTheFault)
{
    char path[] = "/tmp/phone-sim-phones-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    { std::ofstream(path) << GetParam().content; }
    SimProcess sim({"--no-tcp", "--discovery", "--discovery-bind", "127.0.0.1", "--phones-file", path});
    const auto code = sim.waitExit();
    std::remove(path);
    ASSERT_TRUE(code.has_value());
    EXPECT_NE(*code, 0);
    EXPECT_NE(sim.stderrText().find(std::string(path) + GetParam().complaint), std::string::npos)
        << sim.stderrText();
}

INSTANTIATE_TEST_SUITE_P(Sim, BadPhonesFiles, testing::ValuesIn(kBadPhonesFiles),
                         [](const testing::TestParamInfo<BadPhonesFile>& info) { return std::string(info.param.name); });

} // namespace
