// The simulator's update exchange, driven over loopback TCP.
#include "SimProcess.h"
#include "SimSockets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint16_t kPort = 8739;
constexpr int kBusySlot = 20; // address slots below it belong to the exchange cases
constexpr auto kAnswerTimeout = 2s;

std::unique_ptr<SimProcess> startSim(const std::string& address, std::vector<std::string> args,
                                     const std::string& readyPrefix = "phone-sim: listening on ")
{
    args.insert(args.begin(), {"--address", address});
    auto sim = std::make_unique<SimProcess>(args);
    EXPECT_TRUE(sim->spawned());
    const auto ready = sim->waitForLine("phone-sim: ");
    EXPECT_TRUE(ready.has_value()) << "no ready line; stderr: " << sim->stderrText();
    if (ready) {
        EXPECT_EQ(*ready, readyPrefix + address + ":" + std::to_string(kPort));
    }
    return sim;
}

long msSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// ---- one connection, scripted: what the tool sends, what must come back

struct Step {
    enum class Kind { Send, Expect, ExpectOneRecv, Silence, Eof, Reset } kind;
    Bytes bytes;
    long ms = 0; // Expect*: least delay since the last send; Silence: how long
};

Step send(Bytes bytes) { return {Step::Kind::Send, std::move(bytes)}; }
Step sendByte(std::uint8_t byte) { return {Step::Kind::Send, Bytes{byte}}; }
Step expect(Bytes bytes, long minDelayMs = 0) { return {Step::Kind::Expect, std::move(bytes), minDelayMs}; }
Step expectOneRecv(Bytes bytes) { return {Step::Kind::ExpectOneRecv, std::move(bytes)}; }
Step silence(long ms) { return {Step::Kind::Silence, {}, ms}; }
Step eof() { return {Step::Kind::Eof, {}, 0}; }
Step reset() { return {Step::Kind::Reset, {}, 0}; }

const Bytes kAck{0xFF};

void runSteps(int fd, const std::vector<Step>& steps)
{
    auto lastSend = Clock::now();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        const Step& step = steps[i];
        switch (step.kind) {
        case Step::Kind::Send:
            lastSend = Clock::now();
            ASSERT_TRUE(sendAll(fd, step.bytes));
            break;
        case Step::Kind::Expect:
        case Step::Kind::ExpectOneRecv: {
            const auto got = step.kind == Step::Kind::Expect ? receiveExactly(fd, step.bytes.size(), kAnswerTimeout)
                                                              : receiveOnce(fd, kAnswerTimeout);
            ASSERT_EQ(got.kind, Received::Kind::Data) << "error " << got.error;
            EXPECT_EQ(got.bytes, step.bytes);
            EXPECT_GE(msSince(lastSend), step.ms);
            break;
        }
        case Step::Kind::Silence: {
            const auto got = receiveOnce(fd, std::chrono::milliseconds(step.ms));
            EXPECT_EQ(got.kind, Received::Kind::Timeout) << got.bytes.size() << " bytes, error " << got.error;
            break;
        }
        case Step::Kind::Eof:
            EXPECT_EQ(receiveOnce(fd, kAnswerTimeout).kind, Received::Kind::Eof);
            break;
        case Step::Kind::Reset: {
            const auto got = receiveOnce(fd, kAnswerTimeout);
            EXPECT_EQ(got.kind, Received::Kind::Error);
            EXPECT_EQ(got.error, ECONNRESET);
            break;
        }
        }
    }
}

struct ExchangeCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<Step> steps;
};

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<ExchangeCase>& exchangeCases()
{
    static const std::vector<ExchangeCase> cases = {
        {"BlocksAndFlashFinishEachGetOneFF", {},
         {send(block(1)), expect(kAck), send(block(2)), expect(kAck), send(block(3)), expect(kAck), sendByte(0x00),
          expect(kAck), silence(100)}},
        {"ImageFinishIsAnswered", {"--update-busy-ms", "0"},
         {send(block(1)), expect(kAck), sendByte(0x81), expect(kAck), silence(100)}},
        // The tool may hand over several blocks and the finishing byte in one segment.
        {"BlocksArrivingTogetherAreEachAnswered", {"--update-busy-ms", "0"},
         {send(concat({block(1), block(2), Bytes{0x81}})), expect({0xFF, 0xFF, 0xFF}), silence(100)}},
        // Two pending bytes are the start of a block, however long the pause.
        {"PartialBlockWaitsForTheRest", {},
         {send(Bytes(60, 0x00)), silence(100), send(Bytes(68, 0x00)), expect(kAck), silence(100)}},
        // A lone byte only counts as finishing once the gap has passed.
        {"LoneByteFollowedByMoreIsABlockStart", {"--finish-gap-ms", "400"},
         {sendByte(0x00), silence(100), send(block(4, 127)), expect(kAck), silence(50), sendByte(0x00),
          expect(kAck, 380)}},
        {"DoubleAckComesInOneSegment", {"--double-ack"},
         {send(block(1)), expectOneRecv({0xFF, 0xFF}), send(block(2)), expectOneRecv({0xFF, 0xFF}), sendByte(0x00),
          expectOneRecv({0xFF, 0xFF})}},
        {"WrongAckHex", {"--wrong-ack", "0x5a"}, {send(block(1)), expect({0x5A}), sendByte(0x00), expect({0x5A})}},
        {"WrongAckDecimalZero", {"--wrong-ack", "0"}, {send(block(1)), expect({0x00}), silence(50)}},
        {"StopAfterTwoAnswersNothingMore", {"--stop-after", "2"},
         {send(block(1)), expect(kAck), send(block(2)), expect(kAck), send(block(3)), silence(200), sendByte(0x00),
          silence(150)}},
        {"StopAfterLeavesShortTransferAlone", {"--stop-after", "5"},
         {send(block(1)), expect(kAck), sendByte(0x00), expect(kAck)}},
        {"SilentNeverAnswers", {"--silent"}, {send(block(1)), silence(200), sendByte(0x00), silence(150)}},
        {"CloseAfterTwoEndsOrderly", {"--close-after", "2"},
         {send(block(1)), expect(kAck), send(block(2)), expect(kAck), eof()}},
        {"CloseAfterZeroClosesOnAccept", {"--close-after", "0"}, {eof()}},
        {"ResetAfterOneResets", {"--reset-after", "1"}, {send(block(1)), expect(kAck), reset()}},
        {"ResetAfterZeroResetsOnAccept", {"--reset-after", "0"}, {reset()}},
        {"AckDelayHoldsEachAnswer", {"--ack-delay", "150"},
         {send(block(1)), expect(kAck, 140), sendByte(0x00), expect(kAck, 160)}},
        {"FaultsCombine", {"--wrong-ack", "0x01", "--double-ack", "--close-after", "1"},
         {send(block(1)), expectOneRecv({0x01, 0x01}), eof()}},
    };
    return cases;
}

class Exchange : public testing::TestWithParam<int> {};

TEST_P(Exchange, AnswersAsConfigured)
{
    ASSERT_LT(GetParam(), kBusySlot) << "exchange cases ran into the next tests' addresses";
    const ExchangeCase& c = exchangeCases().at(static_cast<std::size_t>(GetParam()));
    const std::string address = loopbackAddress(GetParam());
    auto sim = startSim(address, c.args);
    int error = 0;
    Socket connection = connectTcp(address, kPort, error);
    ASSERT_TRUE(connection.valid()) << std::strerror(error);
    runSteps(connection.fd(), c.steps);
}

INSTANTIATE_TEST_SUITE_P(Sim, Exchange, testing::Range(0, static_cast<int>(exchangeCases().size())),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(exchangeCases().at(static_cast<std::size_t>(info.param)).name);
                         });

// ---- the busy period after a program image

struct BusyCase {
    const char* name;
    std::vector<std::string> args;
    std::uint8_t finishingByte;
    bool refusesAfterwards;
};

const BusyCase kBusyCases[] = {
    {"ImageFinishRefusesForBusyTime", {"--update-busy-ms", "300"}, 0x81, true},
    {"ZeroBusyTimeKeepsAccepting", {"--update-busy-ms", "0"}, 0x81, false},
    // Default busy time is 10 s: were a flash page to trigger it, connects would fail.
    {"FlashFinishKeepsAccepting", {}, 0x00, false},
};
class Busy : public testing::TestWithParam<int> {};

TEST_P(Busy, FollowsFinishingByte)
{
    const BusyCase& c = kBusyCases[GetParam()];
    const std::string address = loopbackAddress(kBusySlot + GetParam());
    auto sim = startSim(address, c.args);
    {
        int error = 0;
        Socket update = connectTcp(address, kPort, error);
        ASSERT_TRUE(update.valid()) << std::strerror(error);
        runSteps(update.fd(), {send(block(1)), expect(kAck), sendByte(c.finishingByte), expect(kAck)});
    }
    const auto answered = Clock::now();
    int error = 0;
    Socket check = connectTcp(address, kPort, error);
    if (!c.refusesAfterwards) {
        ASSERT_TRUE(check.valid()) << std::strerror(error);
        runSteps(check.fd(), {send(block(2)), expect(kAck)});
        return;
    }
    EXPECT_FALSE(check.valid());
    EXPECT_EQ(error, ECONNREFUSED);
    EXPECT_TRUE(sim->waitForLine("phone-sim: update started, refusing connections for 300 ms"));
    Socket again = connectWithin(address, kPort, 3s);
    ASSERT_TRUE(again.valid()) << "still refusing 3 s after the update";
    // Lower bound with slack: this test may have been scheduled late after the answer.
    EXPECT_GE(msSince(answered), 150);
    runSteps(again.fd(), {send(block(3)), expect(kAck)});
    EXPECT_TRUE(sim->waitForLine("phone-sim: update done, listening again on " + address + ":8739"));
}

INSTANTIATE_TEST_SUITE_P(Sim, Busy, testing::Range(0, static_cast<int>(std::size(kBusyCases))),
                         [](const testing::TestParamInfo<int>& info) { return std::string(kBusyCases[info.param].name); });

// ---- single scenarios

std::string readFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string asText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class TempFile {
public:
    TempFile()
    {
        char name[] = "/tmp/phone-sim-test-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0)
            ::close(fd);
        path_ = name;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(Sim, SaveKeepsEveryByteAndStartsOverOnANewConnectionsFirstByte)
{
    const std::string address = loopbackAddress(23);
    TempFile save;
    { std::ofstream(save.path()) << "left from before"; }
    auto sim = startSim(address, {"--save", save.path(), "--update-busy-ms", "0"});
    EXPECT_EQ(readFile(save.path()), "left from before") << "start-up must not truncate";

    int error = 0;
    Socket update = connectTcp(address, kPort, error);
    ASSERT_TRUE(update.valid());
    runSteps(update.fd(), {send(block(1)), expect(kAck), send(block(2)), expect(kAck), sendByte(0x81), expect(kAck)});
    // Read right after the last answer: the file must already hold everything.
    const Bytes firstUpdate = concat({block(1), block(2), Bytes{0x81}});
    EXPECT_EQ(readFile(save.path()), asText(firstUpdate));
    EXPECT_TRUE(sim->waitForLine("phone-sim: received 257 bytes, finishing byte 0x81"));

    // A connection that sends nothing (the tool's post-update check) must
    // not truncate; more data on the old connection is appended.
    Socket quiet = connectTcp(address, kPort, error);
    ASSERT_TRUE(quiet.valid());
    runSteps(update.fd(), {send(block(3)), expect(kAck)});
    EXPECT_EQ(readFile(save.path()), asText(concat({firstUpdate, block(3)})));

    Socket next = connectTcp(address, kPort, error);
    ASSERT_TRUE(next.valid());
    runSteps(next.fd(), {send(block(4)), expect(kAck)});
    EXPECT_EQ(readFile(save.path()), asText(block(4)));
}

TEST(Sim, RefuseModeRefusesConnects)
{
    const std::string address = loopbackAddress(24);
    auto sim = startSim(address, {"--refuse"}, "phone-sim: refusing on ");
    int error = 0;
    Socket connection = connectTcp(address, kPort, error);
    EXPECT_FALSE(connection.valid());
    EXPECT_EQ(error, ECONNREFUSED);
}

TEST(Sim, ConnectionsKeepTheirOwnState)
{
    const std::string address = loopbackAddress(25);
    auto sim = startSim(address, {});
    int error = 0;
    Socket first = connectTcp(address, kPort, error);
    ASSERT_TRUE(first.valid());
    runSteps(first.fd(), {send(Bytes(100, 0x11)), silence(50)});

    Socket second = connectTcp(address, kPort, error);
    ASSERT_TRUE(second.valid());
    runSteps(second.fd(), {send(block(7)), expect(kAck)});
    // Had the bytes been pooled, the first connection's block would be complete now.
    runSteps(first.fd(), {silence(50), send(Bytes(28, 0x11)), expect(kAck), silence(50)});
    runSteps(second.fd(), {sendByte(0x00), expect(kAck), silence(50)});
}

TEST(Sim, AckDelayDoesNotHoldUpOtherConnections)
{
    // While one answer waits out a long delay, another connection's bytes are
    // read at once: the saved file starts over with them.
    const std::string address = loopbackAddress(26);
    TempFile save;
    auto sim = startSim(address, {"--ack-delay", "60000", "--save", save.path()});
    int error = 0;
    Socket first = connectTcp(address, kPort, error);
    Socket second = connectTcp(address, kPort, error);
    ASSERT_TRUE(first.valid() && second.valid());
    ASSERT_TRUE(sendAll(first.fd(), block(1)));
    runSteps(first.fd(), {silence(50)});
    ASSERT_TRUE(sendAll(second.fd(), block(2)));
    const auto deadline = Clock::now() + kAnswerTimeout;
    while (readFile(save.path()) != asText(block(2)) && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(readFile(save.path()), asText(block(2)));
}

TEST(Sim, PortZeroPicksAFreePortAndSaysWhich)
{
    const std::string address = loopbackAddress(27);
    SimProcess sim({"--address", address, "--port", "0"});
    const auto ready = sim.waitForLine("phone-sim: listening on ");
    ASSERT_TRUE(ready.has_value());
    const std::string prefix = "phone-sim: listening on " + address + ":";
    ASSERT_EQ(ready->rfind(prefix, 0), 0u) << *ready;
    const int port = std::stoi(ready->substr(prefix.size()));
    ASSERT_GT(port, 0);
    int error = 0;
    Socket connection = connectTcp(address, static_cast<std::uint16_t>(port), error);
    ASSERT_TRUE(connection.valid()) << std::strerror(error);
    runSteps(connection.fd(), {send(block(1)), expect(kAck)});
}

class StopSignal : public testing::TestWithParam<int> {};

TEST_P(StopSignal, ExitsCleanlyWithAConnectionOpen)
{
    const std::string address = loopbackAddress(GetParam() == SIGTERM ? 28 : 29);
    auto sim = startSim(address, {});
    int error = 0;
    Socket connection = connectTcp(address, kPort, error);
    ASSERT_TRUE(connection.valid());
    runSteps(connection.fd(), {send(Bytes(50, 0x00)), silence(30)});
    EXPECT_EQ(sim->stop(GetParam()), 0);
    EXPECT_EQ(receiveOnce(connection.fd(), kAnswerTimeout).kind, Received::Kind::Eof);
}

INSTANTIATE_TEST_SUITE_P(Sim, StopSignal, testing::Values(SIGTERM, SIGINT),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

} // namespace
