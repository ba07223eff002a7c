// orvex's Ctrl-C and its time-out options, end to end: the real binary
// against phone simulators on loopback addresses of their own (127.0.15.x),
// what each phone received and what the user was told.
#include "PhoneSim.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

int ExitStatus(int nStatus) {
    return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : 128 + WTERMSIG(nStatus);
}

// The done events of a --json run, by phone.
std::vector<QJsonObject> DoneEvents(const std::string& out) {
    std::vector<QJsonObject> events;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (event.value("event").toString() == QStringLiteral("done"))
            events.push_back(event);
    }
    return events;
}

std::string Str(const QJsonObject& event, const char* pszKey) {
    return event.value(pszKey).toString().toStdString();
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Pattern(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(i * 5 + 1);
    return bytes;
}

const char kPage0[] = ":10000000000102030405060708090A0B0C0D0E0F78\n"
                      ":10001000101112131415161718191A1B1C1D1E1F68\n"
                      ":00000001FF\n";

class COrvexStopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("PHONE_SIM"), nullptr);
        char dirTemplate[] = "/tmp/orvex-stop-XXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        m_dir = dirTemplate;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path File(const std::string& name, const std::string& content) {
        std::ofstream(m_dir / name, std::ios::binary) << content;
        return m_dir / name;
    }

    fs::path m_dir;
};

// The phone has the last block and never answers it. Ctrl-C then ends the
// wait as a failure: the block is not taken as acknowledged, and the
// finishing byte is never sent.
TEST_F(COrvexStopTest, CtrlC_AtTheLastBlock_PhoneReceivesNoFinishingByte) {
    const std::string address = "127.0.15.1";
    const fs::path saved = m_dir / "saved.bin";
    // Answers three blocks of four, then reads without answering.
    auto pSim = StartPhoneSimOn(address, {"--stop-after", "3", "--save", saved.string()});
    ASSERT_TRUE(pSim);
    const std::string image = Pattern(512);
    const fs::path file = File("image.bin", image);
    auto pRun = CChildProcess::StartApart(
        {ORVEX_PATH, "update-program", file.string(), "--phone", address, "--json"});
    ASSERT_TRUE(pRun);
    // The fourth block is at the phone, its answer awaited.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
    while (ReadAll(saved).size() < image.size() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(ReadAll(saved).size(), image.size()) << pSim->Output();
    kill(pRun->Pid(), SIGINT);
    EXPECT_EQ(130, ExitStatus(pRun->Wait(30000)));

    const std::vector<QJsonObject> done = DoneEvents(pRun->Output());
    ASSERT_EQ(done.size(), 1u) << pRun->Output();
    EXPECT_EQ(Str(done[0], "outcome"), "interrupted");
    EXPECT_FALSE(done[0].value("finished").toBool(true));
    EXPECT_EQ(Str(done[0], "text"), "interrupted");
    // Give a late finishing byte the time to arrive.
    EXPECT_FALSE(pSim->WaitForOutput("finishing byte", 500)) << pSim->Output();
    EXPECT_EQ(ReadAll(saved), image);
}

// Ctrl-C after the phone acknowledged the finishing byte: the phone installs
// what it got, and the user is told so, in JSON and in plain text, so that
// nobody powers it off.
TEST_F(COrvexStopTest, CtrlC_AfterTheFinishingByteWasAcknowledged_InterruptedButFinished) {
    struct CCase {
        const char* name;
        const char* address;
        bool bFlashPage;
        bool bJson;
        const char* phoneSays; // once this is out, the phone has answered the finishing byte
        const char* text;
    };
    const char kProgramText[] = "interrupted after the phone acknowledged the finishing byte: it "
                                "is updating, do not power it off";
    const char kPageText[] = "interrupted after the phone acknowledged the finishing byte: it is "
                             "writing its flash page, do not power it off";
    const CCase cases[] = {
        {"ProgramDuringTheCheck", "127.0.15.2", false, true, "update started", kProgramText},
        {"ProgramDuringTheCheckPlain", "127.0.15.3", false, false, "update started", kProgramText},
        {"PageDuringTheEraseWait", "127.0.15.4", true, true, "finishing byte 0x00", kPageText},
    };
    const fs::path image = File("image.bin", Pattern(300));
    const fs::path page = File("page0.hex", kPage0);
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Busy long after its update: the check sees no connection and
        // waits its whole (long) time.
        auto pSim = StartPhoneSimOn(c.address, {"--update-busy-ms", "30000"});
        ASSERT_TRUE(pSim);
        std::vector<std::string> args{ORVEX_PATH,
                                      c.bFlashPage ? "update-pflash" : "update-program",
                                      c.bFlashPage ? page.string() : image.string(),
                                      "--phone",
                                      c.address,
                                      "--check-timeout",
                                      "30000"};
        if (c.bJson)
            args.push_back("--json");
        auto pRun = CChildProcess::StartApart(args);
        ASSERT_TRUE(pRun);
        ASSERT_TRUE(pSim->WaitForOutput(c.phoneSays, 15000)) << pSim->Output();
        // Well into the check (its pause is 500 ms) or the erase wait.
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        kill(pRun->Pid(), SIGINT);
        EXPECT_EQ(130, ExitStatus(pRun->Wait(30000)));

        if (c.bJson) {
            const std::vector<QJsonObject> done = DoneEvents(pRun->Output());
            ASSERT_EQ(done.size(), 1u) << pRun->Output();
            EXPECT_EQ(Str(done[0], "outcome"), "interrupted");
            EXPECT_FALSE(done[0].value("ok").toBool(true));
            EXPECT_TRUE(done[0].value("finished").toBool(false));
            EXPECT_EQ(Str(done[0], "text"), c.text);
        } else {
            EXPECT_NE(pRun->Output().find(std::string(c.address) + ": interrupted: " + c.text),
                      std::string::npos)
                << pRun->Output();
        }
    }
}

// Each wait option reaches the procedure: a changed default would not
// silently escape it.
TEST_F(COrvexStopTest, TimeoutOptions_EachTakesEffect) {
    struct CCase {
        const char* name;
        const char* address;
        std::vector<std::string> phone; // no simulator when empty: the connect is refused
        std::vector<std::string> options;
        const char* outcome;
        const char* text;
        double dAtLeast; // seconds
        double dAtMost;
    };
    const CCase cases[] = {
        // A refused connect waits the whole connect time: longer than the
        // 2000 ms default when asked to.
        {"Connect",
         "127.0.15.5",
         {},
         {"--connect-timeout", "2600"},
         "failed",
         "Can not connect to Quill1",
         2.6,
         60},
        // A silent phone fails within a few seconds, not the default ten.
        {"Ack",
         "127.0.15.6",
         {"--silent"},
         {"--ack-timeout", "500"},
         "failed",
         "tcp connection failed",
         0.5,
         5},
        // The check dials once, is refused by the busy phone and waits out
        // its time: with 300 ms it is over well before the default 4000.
        {"Check",
         "127.0.15.7",
         {"--update-busy-ms", "30000"},
         {"--check-timeout", "300"},
         "updating",
         "Updating ... please wait until the update led stop on and off",
         0.8,
         4.4},
    };
    const fs::path image = File("image.bin", Pattern(256));
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CChildProcess> pSim;
        if (!c.phone.empty()) {
            pSim = StartPhoneSimOn(c.address, c.phone);
            ASSERT_TRUE(pSim);
        }
        std::vector<std::string> args{ORVEX_PATH, "update-program", image.string(),
                                      "--phone",  c.address,        "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        auto pRun = CChildProcess::StartApart(args);
        ASSERT_TRUE(pRun);
        const int nStatus = ExitStatus(pRun->Wait(60000));
        EXPECT_EQ(nStatus, std::string(c.outcome) == "updating" ? 0 : 1);
        const std::vector<QJsonObject> done = DoneEvents(pRun->Output());
        ASSERT_EQ(done.size(), 1u) << pRun->Output() << pRun->Errors();
        EXPECT_EQ(Str(done[0], "outcome"), c.outcome);
        EXPECT_EQ(Str(done[0], "text"), c.text);
        const double dSeconds = done[0].value("seconds").toDouble();
        EXPECT_GE(dSeconds, c.dAtLeast);
        EXPECT_LE(dSeconds, c.dAtMost);
    }
}

} // namespace
