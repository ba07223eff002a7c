// The simulator's discovery replies, probed by unicast over loopback (the
// discovery suites probe it by multicast inside their namespaces).
#include "SimSockets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr std::uint16_t kDiscoveryPort = 1025;
constexpr std::uint16_t kReplyPort = 1030;
const Bytes kProbe{'H', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd', '!'};

// A reply record decoded field by field, the text fields checked for their
// terminating zero and zero padding.
struct PhoneRecord {
    std::string ip, mac, type, number;
    int ipType = -1, loggedOn = -1, busy = -1;
    bool operator==(const PhoneRecord& o) const
    {
        return std::tie(ip, mac, type, number, ipType, loggedOn, busy)
            == std::tie(o.ip, o.mac, o.type, o.number, o.ipType, o.loggedOn, o.busy);
    }
};

std::ostream& operator<<(std::ostream& os, const PhoneRecord& r)
{
    return os << r.ip << " " << r.mac << " \"" << r.type << "\" \"" << r.number << "\" " << r.ipType << " "
              << r.loggedOn << " " << r.busy;
}

std::string textField(const Bytes& reply, std::size_t offset, std::size_t size)
{
    const auto begin = reply.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto end = begin + static_cast<std::ptrdiff_t>(size);
    const auto zero = std::find(begin, end, 0);
    EXPECT_NE(zero, end) << "text field at " << offset << " has no terminating zero";
    EXPECT_TRUE(std::all_of(zero, end, [](std::uint8_t b) { return b == 0; })) << "padding at " << offset;
    return std::string(begin, zero);
}

PhoneRecord decode(const Bytes& reply)
{
    EXPECT_EQ(reply.size(), 63u);
    if (reply.size() != 63)
        return {};
    PhoneRecord r;
    r.ip = std::to_string(reply[0]) + "." + std::to_string(reply[1]) + "." + std::to_string(reply[2]) + "."
        + std::to_string(reply[3]);
    char mac[18];
    std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", reply[4], reply[5], reply[6], reply[7], reply[8],
                  reply[9]);
    r.mac = mac;
    r.type = textField(reply, 10, 30);
    r.number = textField(reply, 40, 20);
    r.ipType = reply[60];
    r.loggedOn = reply[61];
    r.busy = reply[62];
    return r;
}

std::unique_ptr<CChildProcess> startDiscovery(const std::string& address, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--no-tcp", "--discovery", "--discovery-bind", address});
    auto sim = StartPhoneSim(args);
    EXPECT_TRUE(sim && sim->WaitForOutput("phone-sim: discovery on " + address + ":1025, unicast probes only", 5000))
        << (sim ? sim->Output() : "not started");
    return sim;
}

// Probes from an ephemeral port: replies must still go to port 1030.
void probe(const std::string& simAddress, const std::string& fromAddress, const Bytes& payload = kProbe)
{
    Socket prober = udpSocket(fromAddress, 0);
    ASSERT_TRUE(prober.valid());
    const auto to = endpoint(simAddress, kDiscoveryPort);
    ASSERT_EQ(::sendto(prober.fd(), payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                       sizeof to),
              static_cast<ssize_t>(payload.size()));
}

// Waits for count replies, then briefly for any surplus one.
std::vector<Datagram> collectReplies(int fd, std::size_t count)
{
    auto got = receiveDatagrams(fd, count, 2s);
    EXPECT_TRUE(receiveDatagrams(fd, 1, 100ms).empty()) << "more than " << count << " replies";
    return got;
}

// ---- generated phones

struct GeneratedCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<PhoneRecord> expected;
    std::vector<Bytes> raw = {}; // with --raw-reply-hex: the datagrams instead of records
};

const std::vector<GeneratedCase>& generatedCases()
{
    static const std::vector<GeneratedCase> cases = {
        {"Defaults", {}, {{"192.168.1.1", "02:00:00:00:00:01", "IP Phone v1.0", "1000", 1, 1, 0}}},
        // Address and MAC count up with carry into the higher octets.
        {"BasesCountUp",
         {"--phones", "3", "--phone-ip", "198.51.100.254", "--mac", "02:00:00:00:00:ff", "--type", "Desk 7 v2.3",
          "--number-base", "4711", "--ip-type", "2", "--logged-on", "0", "--busy", "1"},
         {{"198.51.100.254", "02:00:00:00:00:ff", "Desk 7 v2.3", "4711", 2, 0, 1},
          {"198.51.100.255", "02:00:00:00:01:00", "Desk 7 v2.3", "4712", 2, 0, 1},
          {"198.51.101.0", "02:00:00:00:01:01", "Desk 7 v2.3", "4713", 2, 0, 1}}},
        // Longest texts leave exactly the terminating zero; odd byte values pass through.
        {"LongestTextsAndOddBytes",
         {"--type", "12345678901234567890123456789", "--number-base", "1234567890123456789", "--ip-type", "0xfe",
          "--logged-on", "255", "--busy", "0x80", "--mac", "AA-BB-CC-DD-EE-FF"},
         {{"192.168.1.1", "aa:bb:cc:dd:ee:ff", "12345678901234567890123456789", "1234567890123456789", 0xFE, 255,
           0x80}}},
        {"NoPhonesNoReplies", {"--phones", "0"}, {}},
        {"RawShortReply", {"--raw-reply-hex", "01 02 ff"}, {}, {{0x01, 0x02, 0xFF}}},
        {"RawEmptyDatagram", {"--raw-reply-hex", ""}, {}, {{}}},
        {"RawOnePerPhone", {"--raw-reply-hex", "DEADbeef", "--phones", "2"}, {},
         {{0xDE, 0xAD, 0xBE, 0xEF}, {0xDE, 0xAD, 0xBE, 0xEF}}},
    };
    return cases;
}

constexpr int kGeneratedSlot = 30;

class Generated : public testing::TestWithParam<int> {};

TEST_P(Generated, RepliesCarryOneRecordPerPhone)
{
    const GeneratedCase& c = generatedCases().at(static_cast<std::size_t>(GetParam()));
    const std::string address = loopbackAddress(kGeneratedSlot + GetParam());
    auto sim = startDiscovery(address, c.args);
    Socket replies = udpSocket(address, kReplyPort);
    ASSERT_TRUE(replies.valid()) << std::strerror(errno);
    probe(address, address);
    const std::size_t count = c.raw.empty() ? c.expected.size() : c.raw.size();
    const auto got = collectReplies(replies.fd(), count);
    ASSERT_EQ(got.size(), count);
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (c.raw.empty())
            EXPECT_EQ(decode(got[i].bytes), c.expected[i]) << "phone " << i;
        else
            EXPECT_EQ(got[i].bytes, c.raw[i]) << "phone " << i;
        EXPECT_EQ(formatEndpoint(got[i].from), address + ":1025");
    }
}

INSTANTIATE_TEST_SUITE_P(Sim, Generated, testing::Range(0, static_cast<int>(generatedCases().size())),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(generatedCases().at(static_cast<std::size_t>(info.param)).name);
                         });

// ---- single scenarios

TEST(SimDiscovery, PhonesFileReplacesGeneratedPhones)
{
    const std::string address = loopbackAddress(37);
    char path[] = "/tmp/phone-sim-phones-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    {
        std::ofstream file(path);
        file << "# ip mac type number iptype loggedon busy\n"
                "\n"
                "198.51.100.7  02:00:00:00:07:07  \"Desk \\\"Pro\\\" v3\"  \"\"  0  1  0   # quoted, empty number\n"
                "  198.51.100.9 02:00:00:00:09:09 Wall_v1 555-12 0x03 0 1\n";
    }
    auto sim = startDiscovery(address, {"--phones-file", path});
    std::remove(path);
    Socket replies = udpSocket(address, kReplyPort);
    ASSERT_TRUE(replies.valid());
    probe(address, address);
    const auto got = collectReplies(replies.fd(), 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(decode(got[0].bytes), (PhoneRecord{"198.51.100.7", "02:00:00:00:07:07", "Desk \"Pro\" v3", "", 0, 1, 0}));
    EXPECT_EQ(decode(got[1].bytes), (PhoneRecord{"198.51.100.9", "02:00:00:00:09:09", "Wall_v1", "555-12", 3, 0, 1}));
}

TEST(SimDiscovery, AnythingButTheExactProbeIsIgnored)
{
    const std::string address = loopbackAddress(38);
    auto sim = startDiscovery(address, {});
    Socket replies = udpSocket(address, kReplyPort);
    ASSERT_TRUE(replies.valid());
    const std::vector<Bytes> junk = {
        {},
        Bytes(kProbe.begin(), kProbe.end() - 1),             // "Hello, world"
        [] { Bytes b = kProbe; b.push_back('!'); return b; }(), // one byte too many
        [] { Bytes b = kProbe; b.push_back(0); return b; }(),   // trailing zero
        [] { Bytes b = kProbe; b[0] = 'h'; return b; }(),       // case matters
        Bytes(13, 0),
    };
    for (std::size_t i = 0; i < junk.size(); ++i) {
        SCOPED_TRACE("junk " + std::to_string(i));
        probe(address, address, junk[i]);
        EXPECT_TRUE(receiveDatagrams(replies.fd(), 1, 100ms).empty());
    }
    probe(address, address);
    EXPECT_EQ(collectReplies(replies.fd(), 1).size(), 1u);
    // The discovery suites read this count to tell that their probe was exact.
    EXPECT_TRUE(sim->WaitForOutput("(" + std::to_string(junk.size()) + " ignored so far)", 2000)) << sim->Output();
}

TEST(SimDiscovery, ReplyFromSpreadsPhonesOverSourceAddresses)
{
    const std::string address = loopbackAddress(40);
    const std::string hostA = loopbackAddress(41);
    const std::string hostB = loopbackAddress(42);
    auto sim = startDiscovery(address, {"--phones", "4", "--reply-from", hostA + "," + hostB});
    Socket replies = udpSocket(address, kReplyPort);
    ASSERT_TRUE(replies.valid());
    probe(address, address);
    const auto got = collectReplies(replies.fd(), 4);
    ASSERT_EQ(got.size(), 4u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(decode(got[i].bytes).ip, "192.168.1." + std::to_string(1 + i));
        EXPECT_EQ(formatEndpoint(got[i].from), (i % 2 == 0 ? hostA : hostB) + ":1025") << "phone " << i;
    }
    // A reply address is a host of its own: a probe sent to it is answered too.
    probe(hostB, address);
    EXPECT_EQ(collectReplies(replies.fd(), 4).size(), 4u);
}

// ---- the reboot after an image

struct RebootCase {
    const char* name;
    std::vector<std::string> args;
    const char* typeBack; // nullptr: never back
};

const RebootCase kRebootCases[] = {
    {"BackWithVersionAfter", {"--update-busy-ms", "600", "--version-after", "IP Phone v2.2"}, "IP Phone v2.2"},
    {"BackWithItsOldVersion", {"--update-busy-ms", "600"}, "IP Phone v1.0"},
    {"NeverBack", {"--update-busy-ms", "600", "--never-back"}, nullptr},
};

class Reboot : public testing::TestWithParam<int> {};

// The updated phone is silent to TCP and discovery alike while it installs;
// the other phone of the simulator answers all along.
TEST_P(Reboot, UpdatedPhoneSilentThenBackOrNot)
{
    const RebootCase& c = kRebootCases[GetParam()];
    const std::string address = loopbackAddress(43 + GetParam());
    std::vector<std::string> args = {"--address",  address, "--discovery", "--discovery-bind", address,
                                     "--phone-ip", address, "--phones",    "2"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    auto sim = StartPhoneSim(args);
    ASSERT_TRUE(sim && sim->WaitForOutput("discovery on " + address, 5000)) << (sim ? sim->Output() : "");
    Socket replies = udpSocket(address, kReplyPort);
    ASSERT_TRUE(replies.valid());
    const auto types = [&](std::size_t count) {
        probe(address, address);
        std::vector<std::string> seen;
        for (const auto& reply : collectReplies(replies.fd(), count))
            seen.push_back(decode(reply.bytes).ip + " " + decode(reply.bytes).type);
        return seen;
    };
    const std::string other = loopbackAddress(43 + GetParam() + 1);
    EXPECT_EQ(types(2), (std::vector<std::string>{address + " IP Phone v1.0", other + " IP Phone v1.0"}));

    int error = 0;
    {
        Socket update = connectTcp(address, 8739, error);
        ASSERT_TRUE(update.valid()) << std::strerror(error);
        ASSERT_TRUE(sendAll(update.fd(), block(1)));
        ASSERT_EQ(receiveExactly(update.fd(), 1, 2s).bytes, Bytes{0xFF});
        ASSERT_TRUE(sendAll(update.fd(), Bytes{0x81}));
        ASSERT_EQ(receiveExactly(update.fd(), 1, 2s).bytes, Bytes{0xFF});
    }
    EXPECT_EQ(types(1), std::vector<std::string>{other + " IP Phone v1.0"});
    EXPECT_FALSE(connectTcp(address, 8739, error).valid());
    EXPECT_EQ(error, ECONNREFUSED);

    if (c.typeBack == nullptr) {
        EXPECT_FALSE(sim->WaitForOutput("update done", 1200)) << sim->Output();
        EXPECT_EQ(types(1), std::vector<std::string>{other + " IP Phone v1.0"});
        EXPECT_FALSE(connectTcp(address, 8739, error).valid());
        return;
    }
    ASSERT_TRUE(sim->WaitForOutput("is back, answering discovery as", 5000)) << sim->Output();
    EXPECT_EQ(types(2), (std::vector<std::string>{address + " " + c.typeBack, other + " IP Phone v1.0"}));
    Socket again = connectTcp(address, 8739, error);
    EXPECT_TRUE(again.valid()) << std::strerror(error);
}

INSTANTIATE_TEST_SUITE_P(Sim, Reboot, testing::Range(0, static_cast<int>(std::size(kRebootCases))),
                         [](const testing::TestParamInfo<int>& info) { return std::string(kRebootCases[info.param].name); });

} // namespace
