// orvex end to end: the real binary against phone simulators, each on a
// loopback address of its own, port 8739.
#include "OrvexRun.h"
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char kUpdating[] = "Updating ... please wait until the update led stop on and off";

std::unique_ptr<CChildProcess> StartSim(const std::string& address,
                                        const std::vector<std::string>& args) {
    auto pSim = StartPhoneSimOn(address, args);
    EXPECT_TRUE(pSim) << "simulator on " << address << " not ready";
    return pSim;
}

// orvex with args, run to its end.
COrvexRun RunOrvex(std::vector<std::string> args) {
    args.insert(args.begin(), ORVEX_PATH);
    return RunToEnd(args);
}

std::vector<QJsonObject> Events(const std::string& out) {
    std::vector<QJsonObject> events;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(QJsonParseError::NoError, error.error) << line;
        events.push_back(doc.object());
    }
    return events;
}

std::string Str(const QJsonObject& event, const char* pszKey) {
    return event.value(pszKey).toString().toStdString();
}

std::vector<char> Pattern(size_t n) {
    std::vector<char> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}

// A HEX page whose fifth line has checksum 3C where 3D is due.
const char kDamagedHex[] = ":10000000000102030405060708090A0B0C0D0E0F78\n"
                           ":10001000101112131415161718191A1B1C1D1E1F68\n"
                           ":10002000202122232425262728292A2B2C2D2E2F58\n"
                           ":10003000303132333435363738393A3B3C3D3E3F48\n"
                           ":01004000823C\n"
                           ":00000001FF\n";
const char kGoodHex[] = ":10000000000102030405060708090A0B0C0D0E0F78\n"
                        ":10001000101112131415161718191A1B1C1D1E1F68\n"
                        ":00000001FF\n";

class COrvexTest : public CSimFolderTest {
protected:
    COrvexTest() : CSimFolderTest("orvex-test") {}
};

// Sockets in state ESTABLISHED (01) or CLOSE_WAIT (08) on address:8739.
int OpenConnections(const std::string& address) {
    in_addr addr{};
    inet_pton(AF_INET, address.c_str(), &addr);
    char local[32];
    snprintf(local, sizeof local, "%08X:%04X", addr.s_addr, 8739);
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    int nOpen = 0;
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, localAddr, remoteAddr, state;
        fields >> slot >> localAddr >> remoteAddr >> state;
        if ((localAddr == local || remoteAddr == local) && (state == "01" || state == "08"))
            ++nOpen;
    }
    return nOpen;
}

} // namespace

TEST_F(COrvexTest, UpdateProgram_MixedPhones_EachEndsWithItsOutcomeInOrderedJson) {
    // Phones that keep failing are run once more (--retries 1).
    struct CPhone {
        std::string address;
        std::vector<std::string> simArgs;
        std::string outcome;
        std::string text;
    };
    const std::vector<CPhone> phones = {
        {"127.0.6.31", {"--ack-delay", "1", "--update-busy-ms", "10000"}, "updating", kUpdating},
        {"127.0.6.32", {"--refuse"}, "failed", "Can not connect to Quill1"},
        {"127.0.6.33", {"--stop-after", "3"}, "failed", "tcp connection failed"},
        {"127.0.6.34", {"--update-busy-ms", "0"}, "invalid-method", "Invalid update method"},
    };
    const fs::path saved = m_dir / "received.bin";
    std::vector<std::unique_ptr<CChildProcess>> sims;
    // Waits long enough for a sanitizer build on a busy machine, short enough
    // that the failing phones end soon.
    std::vector<std::string> args{"update-program", "--json", "--connect-timeout", "2000",
                                  "--ack-timeout",  "2000",   "--check-timeout",   "2000",
                                  "--retries",      "1"};
    for (const auto& phone : phones) {
        std::vector<std::string> simArgs = phone.simArgs;
        if (&phone == &phones[0])
            simArgs.insert(simArgs.end(), {"--save", saved.string()});
        sims.push_back(StartSim(phone.address, simArgs));
        args.insert(args.end(), {"--phone", phone.address});
    }
    args.insert(args.end(), {"--phone", phones[0].address}); // twice: updated once
    const std::vector<char> image = Pattern(65536 + 300);
    args.push_back(File("image.bin", std::string(image.begin(), image.end())).string());

    const COrvexRun result = RunOrvex(args);
    EXPECT_EQ(1, result.nStatus);
    EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
    EXPECT_NE(std::string::npos, result.err.find(phones[0].address + " is given more than once"));

    const std::vector<QJsonObject> events = Events(result.out);
    ASSERT_FALSE(events.empty());
    const QJsonObject summary = events.back();
    EXPECT_EQ("summary", Str(summary, "event"));
    EXPECT_EQ(4, summary.value("phones").toInt());
    EXPECT_EQ(1, summary.value("succeeded").toInt());
    EXPECT_EQ(3, summary.value("failed").toInt());

    // Per phone and attempt: start, progress with growing bytes at most ten
    // a second, then retry (a failed phone runs once more) or, last, done.
    std::map<std::string, std::vector<QJsonObject>> byPhone;
    for (size_t i = 0; i + 1 < events.size(); ++i)
        byPhone[Str(events[i], "phone")].push_back(events[i]);
    ASSERT_EQ(phones.size(), byPhone.size());
    for (const auto& phone : phones) {
        SCOPED_TRACE(phone.address);
        const auto& mine = byPhone[phone.address];
        ASSERT_GE(mine.size(), 2u);
        const int nAttempts = phone.outcome == "updating" ? 1 : 2;
        EXPECT_EQ("done", Str(mine.back(), "event"));
        EXPECT_EQ(phone.outcome, Str(mine.back(), "outcome"));
        EXPECT_EQ(phone.text, Str(mine.back(), "text"));
        EXPECT_EQ(phone.outcome == "updating", mine.back().value("ok").toBool());
        EXPECT_EQ(nAttempts, mine.back().value("attempts").toInt());
        std::string expectedNext = "start";
        int nStarts = 0;
        double dLast = -1;
        double dBytes = 0;
        for (size_t i = 0; i + 1 < mine.size(); ++i) {
            const std::string kind = Str(mine[i], "event");
            if (kind == "progress" && expectedNext != "start") {
                const double dTime = mine[i].value("time").toDouble();
                EXPECT_TRUE(dLast < 0 || dTime - dLast >= 0.0985) << dTime << " after " << dLast;
                EXPECT_GE(mine[i].value("bytes").toDouble(), dBytes);
                dLast = dTime;
                dBytes = mine[i].value("bytes").toDouble();
                continue;
            }
            EXPECT_EQ(expectedNext, kind);
            if (kind == "start") {
                EXPECT_EQ(++nStarts, mine[i].value("attempt").toInt());
                dBytes = 0;
            } else {
                EXPECT_EQ(phone.text, Str(mine[i], "text"));
            }
            expectedNext = kind == "start" ? "retry" : "start";
        }
        EXPECT_EQ(nAttempts, nStarts);
    }
    EXPECT_GE(byPhone[phones[0].address].size(), 5u) << "a transfer of seconds shows progress";
    EXPECT_EQ(65536 + 512, byPhone[phones[0].address].back().value("bytes").toInt());

    // The phone that began its update got the image, padded with 0xFF to a
    // multiple of 256, then the finishing byte 0x81.
    std::string expected(image.begin(), image.end());
    expected += std::string(212, '\xFF') + '\x81';
    EXPECT_EQ(expected, ReadAll(saved));
}

// The list's JSON on standard input is the namespace suite's pipeline.
TEST_F(COrvexTest, PhonesFrom_Lines_UpdateEveryPhoneInPlainLines) {
    const std::vector<std::string> addresses = {"127.0.6.41", "127.0.6.42"};
    std::vector<std::unique_ptr<CChildProcess>> sims;
    for (const auto& address : addresses)
        sims.push_back(StartSim(address, {}));
    const fs::path image = File("image.bin", std::string(1000, 'x'));
    const fs::path list = File("phones.txt", "# office\n127.0.6.41\r\n\n  127.0.6.42\n");
    // Where the windowed tool's profile would be: orvex leaves it alone.
    const fs::path config = m_dir / "config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    const COrvexRun result = RunOrvex({"update-program", image.string(), "--phones-from",
                                       list.string(), "--check-timeout", "300"});
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(0, result.nStatus) << result.out << result.err;
    for (const auto& address : addresses)
        EXPECT_NE(std::string::npos, result.out.find(address + ": updating: " + kUpdating + "\n"))
            << result.out;
    // Not a terminal: plain lines, no control characters.
    for (char ch : result.out)
        EXPECT_TRUE(ch == '\n' || static_cast<unsigned char>(ch) >= 0x20) << int(ch);
    EXPECT_FALSE(fs::exists(config)) << "the windowed tool's profile was written";
}

TEST_F(COrvexTest, UpdatePFlash_PageFile_WrittenOnceTheEraseWaitIsOver) {
    const std::string address = "127.0.6.45";
    const fs::path saved = m_dir / "received.bin";
    auto pSim = StartSim(address, {"--save", saved.string()});
    const COrvexRun result = RunOrvex(
        {"update-pflash", File("page0.hex", kGoodHex).string(), "--phone", address, "--json"});
    EXPECT_EQ(0, result.nStatus) << result.out << result.err;
    const std::vector<QJsonObject> events = Events(result.out);
    ASSERT_GE(events.size(), 2u);
    const QJsonObject done = events[events.size() - 2];
    EXPECT_EQ("written", Str(done, "outcome"));
    EXPECT_EQ("Erase sector 0", Str(done, "text"));
    EXPECT_GE(done.value("seconds").toDouble(), 5.0) << "the erase wait is part of the update";
    // The page's 32 bytes, 0xFF up to one upload unit, then the finishing byte 0x00.
    std::string expected;
    for (int i = 0; i < 32; ++i)
        expected += static_cast<char>(i);
    expected += std::string(224, '\xFF') + '\x00';
    EXPECT_EQ(expected, ReadAll(saved));
}

TEST_F(COrvexTest, CtrlC_MidTransfer_ClosesEveryLinkReportsInterruptedExits130) {
    const std::string address = "127.0.6.51";
    auto pSim = StartSim(address, {"--ack-delay", "5"});
    ASSERT_TRUE(pSim);
    const fs::path image = File("image.bin", std::string(256 * 1024, 'y'));
    // -j 1: the second phone is still waiting when Ctrl-C comes.
    auto pRun = CChildProcess::StartApart({ORVEX_PATH, "update-program", image.string(), "--json",
                                           "-j", "1", "--phone", address, "--phone", "127.0.6.52"});
    ASSERT_TRUE(pRun && pRun->WaitForOutput("\"bytes\":1", 20000)) << pRun->Output();
    kill(pRun->Pid(), SIGINT);
    EXPECT_EQ(130, ExitStatus(pRun->Wait(60000)));

    std::map<std::string, std::string> outcomes;
    for (const auto& event : Events(pRun->Output()))
        if (Str(event, "event") == "done")
            outcomes[Str(event, "phone")] = Str(event, "outcome");
    EXPECT_EQ("interrupted", outcomes[address]);
    EXPECT_EQ("interrupted", outcomes["127.0.6.52"]);
    // The link was closed, not left to finish: no finishing byte, and the
    // phone's side closes once it has read the end of the stream.
    EXPECT_FALSE(pSim->WaitForOutput("finishing byte", 200)) << pSim->Output();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (OpenConnections(address) > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(0, OpenConnections(address));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(0, OpenConnections(address)) << "no worker may dial again after the end";
}

TEST_F(COrvexTest, Check_GoodAndDamagedFiles_TellWhatWouldBeSent) {
    struct CCase {
        const char* pszName;
        std::string content;
        int nStatus;
        std::vector<std::string> lines;
    };
    const std::vector<CCase> cases = {
        {"image.bin",
         std::string(300, 'a'),
         0,
         {"512 bytes in 4 blocks of 128 (212 bytes of 0xFF padding), then the finishing byte "
          "0x81"}},
        {"page0.hex",
         kGoodHex,
         0,
         {"data records  2", "covered       0000-001F", "image length  32 bytes",
          "256 bytes in 2 blocks of 128", "finishing byte 0x00"}},
        {"damaged.hex", kDamagedHex, 1, {"line 5: checksum 3C, expected 3D", "refuse"}},
        {"page.HEX", ":00000001FF\n", 1, {"covered       nothing", "refuse"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        const COrvexRun result = RunOrvex({"check", File(c.pszName, c.content).string()});
        EXPECT_EQ(c.nStatus, result.nStatus);
        for (const auto& line : c.lines)
            EXPECT_NE(std::string::npos, result.out.find(line)) << result.out;
    }
}

TEST_F(COrvexTest, BadInput_OneLineOnStderrStatus2AndNoConnection) {
    // A listening socket in the phone's place: any connect would queue.
    const std::string address = "127.0.6.61";
    const int fdListen = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int nOn = 1;
    setsockopt(fdListen, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(8739);
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    ASSERT_EQ(0, bind(fdListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    ASSERT_EQ(0, listen(fdListen, 16));

    const std::string image = File("image.bin", "abc").string();
    const std::string empty = File("empty.bin", "").string();
    const std::string demoHex = File("demo.hex", kGoodHex).string();
    const std::string damaged = File("page0.hex", kDamagedHex).string();
    const std::string badList = File("phones.txt", address + "\n\nphone1\n").string();
    struct CCase {
        std::vector<std::string> args;
        std::string error;
    };
    const std::vector<CCase> cases = {
        {{"update-program", (m_dir / "none.bin").string(), "--phone", address},
         "none.bin: No such file"},
        {{"update-program", m_dir.string(), "--phone", address}, "is a folder"},
        {{"update-program", empty, "--phone", address}, "empty.bin: is empty"},
        {{"update-program", image, "--phone", "300.1.1.1"}, "\"300.1.1.1\": not an IPv4 address"},
        {{"update-program", image, "--phone", address, "--phone", "phone1"},
         "\"phone1\": not an IPv4"},
        {{"update-program", image, "--phones-from", badList}, "phones.txt: line 3: \"phone1\""},
        {{"update-program", image}, "no phones given"},
        {{"update-program", image, "--phone", address, "-j", "0"}, "jobs"},
        {{"update-pflash", demoHex, "--phone", address}, "Are you sure about flash page?"},
        {{"update-pflash", damaged, "--phone", address}, "line 5: checksum 3C, expected 3D"},
        {{"update-program", image, "--phone", address, "--bogus"}, "--bogus"},
        {{"check"}, "FILE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        const COrvexRun result = RunOrvex(c.args);
        EXPECT_EQ(2, result.nStatus);
        EXPECT_EQ("", result.out);
        EXPECT_EQ(0u, result.err.rfind("orvex: ", 0)) << result.err;
        EXPECT_EQ(1, std::count(result.err.begin(), result.err.end(), '\n')) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.error)) << result.err;
    }
    EXPECT_EQ(-1, accept(fdListen, nullptr, nullptr));
    EXPECT_EQ(EAGAIN, errno);
    close(fdListen);
}

TEST(OrvexBinaryTest, Binary_LinksNeitherQtWidgetsNorQtGui) {
    auto pReadelf = CChildProcess::Start({"readelf", "-d", ORVEX_PATH});
    ASSERT_TRUE(pReadelf);
    pReadelf->Wait(10000);
    const std::string& needed = pReadelf->Output();
    EXPECT_NE(std::string::npos, needed.find("libQt6Core")) << needed;
    EXPECT_EQ(std::string::npos, needed.find("libQt6Widgets")) << needed;
    EXPECT_EQ(std::string::npos, needed.find("libQt6Gui")) << needed;
}
