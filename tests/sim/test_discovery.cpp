// The simulator's discovery replies, probed by unicast over loopback; and by
// multicast only inside a network namespace of the test's own.
#include "SimProcess.h"
#include "SimSockets.h"
#include "UserNamespace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
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

std::unique_ptr<SimProcess> startDiscovery(const std::string& address, std::vector<std::string> args)
{
    args.insert(args.begin(), {"--no-tcp", "--discovery", "--discovery-bind", address});
    auto sim = std::make_unique<SimProcess>(args);
    const auto ready = sim->waitForLine("phone-sim: ");
    EXPECT_TRUE(ready.has_value()) << "no ready line; stderr: " << sim->stderrText();
    if (ready) {
        EXPECT_EQ(ready->rfind("phone-sim: discovery on " + address + ":1025, unicast probes only", 0), 0u) << *ready;
    }
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
    ASSERT_TRUE(sim->waitForLine("sent " + std::to_string(c.expected.size()) + " replies"));
    const auto got = collectReplies(replies.fd(), c.expected.size());
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(decode(got[i].bytes), c.expected[i]) << "phone " << i;
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
    const std::string address = loopbackAddress(35);
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

TEST(SimDiscovery, AnythingButTheExactProbeIsIgnoredAndCounted)
{
    const std::string address = loopbackAddress(36);
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
        EXPECT_TRUE(sim->waitForLine("ignored " + std::to_string(junk[i].size()) + "-byte datagram from " + address
                                     + ":"));
        EXPECT_TRUE(receiveDatagrams(replies.fd(), 1, 50ms).empty());
    }
    probe(address, address);
    EXPECT_EQ(collectReplies(replies.fd(), 1).size(), 1u);
    EXPECT_NE(sim->stdoutText().find("(" + std::to_string(junk.size()) + " ignored so far)"), std::string::npos);
}

struct RawCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<Bytes> expected;
};

const std::vector<RawCase>& rawCases()
{
    static const std::vector<RawCase> cases = {
        {"ShortReply", {"--raw-reply-hex", "01 02 ff"}, {{0x01, 0x02, 0xFF}}},
        {"EmptyDatagram", {"--raw-reply-hex", ""}, {{}}},
        {"OnePerPhone", {"--raw-reply-hex", "DEADbeef", "--phones", "2"}, {{0xDE, 0xAD, 0xBE, 0xEF}, {0xDE, 0xAD, 0xBE, 0xEF}}},
    };
    return cases;
}

constexpr int kRawSlot = 37;

class RawReply : public testing::TestWithParam<int> {};

TEST_P(RawReply, IsSentVerbatim)
{
    const RawCase& c = rawCases().at(static_cast<std::size_t>(GetParam()));
    const std::string address = loopbackAddress(kRawSlot + GetParam());
    auto sim = startDiscovery(address, c.args);
    Socket replies = udpSocket(address, kReplyPort);
    ASSERT_TRUE(replies.valid());
    probe(address, address);
    const auto got = collectReplies(replies.fd(), c.expected.size());
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(got[i].bytes, c.expected[i]);
}

INSTANTIATE_TEST_SUITE_P(Sim, RawReply, testing::Range(0, static_cast<int>(rawCases().size())),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(rawCases().at(static_cast<std::size_t>(info.param)).name);
                         });

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

TEST(SimDiscovery, ManyPhonesAllReplyToOneProbe)
{
    constexpr std::size_t kPhones = 2000;
    const std::string address = loopbackAddress(43);
    auto sim = startDiscovery(address, {"--phones", std::to_string(kPhones)});
    Socket replies = udpSocket(address, kReplyPort);
    ASSERT_TRUE(replies.valid());
    // The burst arrives faster than this test reads; a receive buffer too
    // small would drop replies here, which is not the simulator's doing.
    const int wanted = 8 << 20;
    if (::setsockopt(replies.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0)
        GTEST_SKIP() << "cannot enlarge the receive buffer (needs CAP_NET_ADMIN)";
    probe(address, address);
    ASSERT_TRUE(sim->waitForLine("sent 2000 replies"));
    const auto got = receiveDatagrams(replies.fd(), kPhones, 5s);
    std::set<std::string> addresses;
    for (const auto& datagram : got)
        addresses.insert(decode(datagram.bytes).ip);
    EXPECT_EQ(got.size(), kPhones);
    EXPECT_EQ(addresses.size(), kPhones);
}

// Enters a fresh network namespace for the current thread (and the
// simulators it spawns) and returns to the original one on destruction; the
// namespace disappears with its last process and socket.
class OwnNetworkNamespace {
public:
    OwnNetworkNamespace()
    {
        // Without root the process works in a user namespace of its own.
        if (!NetworkNamespaceProblem().empty()) {
            problem_ = NetworkNamespaceProblem();
            return;
        }
        original_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (original_ < 0 || ::unshare(CLONE_NEWNET) != 0) {
            problem_ = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
            return;
        }
        entered_ = true;
        // Loopback starts down in a new namespace.
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq request{};
        std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
        if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0
            || (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) != 0))
            problem_ = std::string("bringing lo up: ") + std::strerror(errno);
        ::close(fd);
    }
    ~OwnNetworkNamespace()
    {
        if (entered_)
            ::setns(original_, CLONE_NEWNET);
        if (original_ >= 0)
            ::close(original_);
    }
    OwnNetworkNamespace(const OwnNetworkNamespace&) = delete;
    OwnNetworkNamespace& operator=(const OwnNetworkNamespace&) = delete;

    bool entered() const { return entered_; }
    const std::string& problem() const { return problem_; }

private:
    int original_ = -1;
    bool entered_ = false;
    std::string problem_;
};

TEST(SimDiscovery, AnswersMulticastProbeInOwnNamespace)
{
    OwnNetworkNamespace netns;
    if (!netns.entered())
        GTEST_SKIP() << netns.problem();
    ASSERT_TRUE(netns.problem().empty()) << netns.problem();

    SimProcess sim({"--no-tcp", "--discovery", "--mcast-if", "127.0.0.1", "--phones", "2"});
    const auto ready = sim.waitForLine("phone-sim: ");
    ASSERT_TRUE(ready.has_value()) << sim.stderrText();
    EXPECT_EQ(*ready, "phone-sim: discovery on 0.0.0.0:1025, group 224.1.2.5 on interface 127.0.0.1, 2 phones, "
                      "replies to port 1030");

    Socket replies = udpSocket("127.0.0.1", kReplyPort);
    ASSERT_TRUE(replies.valid());
    const in_addr loopback{htonl(INADDR_LOOPBACK)};
    ASSERT_EQ(::setsockopt(replies.fd(), IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback), 0);
    const auto group = endpoint("224.1.2.5", kDiscoveryPort);
    ASSERT_EQ(::sendto(replies.fd(), kProbe.data(), kProbe.size(), 0, reinterpret_cast<const sockaddr*>(&group),
                       sizeof group),
              static_cast<ssize_t>(kProbe.size()));
    const auto got = collectReplies(replies.fd(), 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(decode(got[0].bytes).ip, "192.168.1.1");
    EXPECT_EQ(decode(got[1].bytes).ip, "192.168.1.2");
    EXPECT_TRUE(sim.waitForLine("phone-sim: probe from 127.0.0.1:1030, sent 2 replies"));
}

} // namespace
