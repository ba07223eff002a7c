// orvex's Ctrl-C and its time-out options, end to end: the real binary
// against phone simulators on loopback addresses of their own (127.0.15.x),
// what each phone received and what the user was told.
#include "OrvexRun.h"
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

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

std::string Pattern(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(i * 5 + 1);
    return bytes;
}

const char kPage0[] = ":10000000000102030405060708090A0B0C0D0E0F78\n"
                      ":10001000101112131415161718191A1B1C1D1E1F68\n"
                      ":00000001FF\n";

class COrvexStopTest : public CSimFolderTest {
protected:
    COrvexStopTest() : CSimFolderTest("orvex-stop") {}
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
    const char kProgramText[] = "finishing byte acknowledged: updating, do not power it off";
    const char kPageText[] = "finishing byte acknowledged: writing flash page, do not power it off";
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

// orvex with its standard output on a pipe of one page that is already full,
// so that its first line blocks in the write; the test reads it only later.
class CStalledOrvex {
public:
    explicit CStalledOrvex(const std::vector<std::string>& args) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        m_fdRead = fds[0];
        fcntl(fds[1], F_SETPIPE_SZ, 4096);
        const int nSize = fcntl(fds[1], F_GETPIPE_SZ);
        m_filler = std::string(static_cast<size_t>(nSize) - 1, '#') + "\n";
        if (write(fds[1], m_filler.data(), m_filler.size()) !=
            static_cast<ssize_t>(m_filler.size())) {
            close(fds[1]);
            return;
        }
        std::vector<char*> argv;
        std::vector<std::string> copy = args;
        for (auto& arg : copy)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            const int fdNull = open("/dev/null", O_RDWR);
            dup2(fds[1], STDOUT_FILENO);
            dup2(fdNull, STDIN_FILENO);
            dup2(fdNull, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
    }
    ~CStalledOrvex() {
        if (m_pid > 0 && !m_bReaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_fdRead >= 0)
            close(m_fdRead);
    }

    pid_t Pid() const { return m_pid; }
    // True once its main thread is blocked writing to standard output.
    bool WaitUntilBlockedInWrite(int nMs) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream syscall("/proc/" + std::to_string(m_pid) + "/syscall");
            std::string number;
            std::string fd;
            syscall >> number >> fd;
            if (number == std::to_string(SYS_write) && fd == "0x1")
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // True once a signal sent to it is no longer pending: its handler has
    // run, and the call it interrupted has gone on or failed.
    bool WaitUntilSignalTaken(int nSignal, int nMs) const {
        const unsigned long long nBit = 1ull << (nSignal - 1);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
            std::string line;
            unsigned long long nPending = 0;
            while (std::getline(status, line))
                if (line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0)
                    nPending |= std::stoull(line.substr(7), nullptr, 16);
            if ((nPending & nBit) == 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // Reads everything it writes after the filler, until it ends; its exit
    // status.
    int ReadToEnd(std::string* pOut, int nMs) {
        std::string all;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nMs);
        char buf[4096];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{m_fdRead, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                break;
            const ssize_t n = read(m_fdRead, buf, sizeof buf);
            if (n <= 0)
                break;
            all.append(buf, static_cast<size_t>(n));
        }
        *pOut = all.compare(0, m_filler.size(), m_filler) == 0 ? all.substr(m_filler.size()) : all;
        int nStatus = 0;
        if (waitpid(m_pid, &nStatus, 0) != m_pid)
            return -1;
        m_bReaped = true;
        return ExitStatus(nStatus);
    }

private:
    pid_t m_pid = -1;
    int m_fdRead = -1;
    bool m_bReaped = false;
    std::string m_filler;
};

// Ctrl-C while orvex is blocked writing a phone's outcome to a stalled
// reader: the write goes on once the reader reads, and no line is lost.
TEST_F(COrvexStopTest, CtrlC_WhileAnOutcomeWaitsForAStalledReader_NoLineIsLost) {
    const std::string fast = "127.0.15.8";
    const std::string slow = "127.0.15.9";
    auto pFast = StartPhoneSimOn(fast, {"--update-busy-ms", "30000"});
    auto pSlow = StartPhoneSimOn(slow, {"--ack-delay", "20"});
    ASSERT_TRUE(pFast && pSlow);
    const fs::path image = File("image.bin", Pattern(64 * 1024));
    CStalledOrvex run({ORVEX_PATH, "update-program", image.string(), "--phone", fast, "--phone",
                       slow, "--check-timeout", "300"});
    ASSERT_GT(run.Pid(), 0);
    // The fast phone's outcome is the first line, and it cannot be written:
    // orvex blocks in the write (or, were it to keep the line, is still
    // waiting for the reader 5 s on, its fast phone long done).
    ASSERT_TRUE(pFast->WaitForOutput("update started", 20000));
    run.WaitUntilBlockedInWrite(5000);
    kill(run.Pid(), SIGINT);
    // The reader stays stalled until the signal has been dealt with.
    ASSERT_TRUE(run.WaitUntilSignalTaken(SIGINT, 5000));
    std::string out;
    EXPECT_EQ(130, run.ReadToEnd(&out, 30000));

    EXPECT_NE(out.find(fast + ": updating: Updating ... please wait until the update led stop on "
                              "and off\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(slow + ": interrupted: interrupted\n"), std::string::npos) << out;
    EXPECT_NE(out.find("2 phones, 1 succeeded, 1 did not"), std::string::npos) << out;
}

// Started as nohup starts it: SIGHUP ignored, in a process group of its own
// that then gets a hangup. The workers keep ignoring it, as the parent does,
// and the update runs to its end.
TEST_F(COrvexStopTest, Hangup_StartedIgnoringIt_WorkersFinishTheirPhones) {
    const std::string address = "127.0.15.10";
    auto pSim = StartPhoneSimOn(address, {"--ack-delay", "5", "--update-busy-ms", "30000"});
    ASSERT_TRUE(pSim);
    const fs::path image = File("image.bin", Pattern(64 * 1024));
    std::vector<std::string> args{ORVEX_PATH, "update-program",  image.string(), "--phone",
                                  address,    "--check-timeout", "300"};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setpgid(0, 0);
        signal(SIGHUP, SIG_IGN);
        dup2(fds[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    // Its worker runs (and has had the time to exec and start sending).
    const std::string children =
        "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    bool bWorker = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!bWorker && std::chrono::steady_clock::now() < deadline) {
        std::ifstream list(children);
        pid_t worker = 0;
        bWorker = static_cast<bool>(list >> worker);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    killpg(pid, SIGHUP);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int nStatus = 0;
    waitpid(pid, &nStatus, 0);
    EXPECT_TRUE(bWorker);
    EXPECT_EQ(0, ExitStatus(nStatus)) << out;
    EXPECT_NE(out.find(address + ": updating: "), std::string::npos) << out;
    EXPECT_TRUE(pSim->WaitForOutput("finishing byte 0x81", 1000)) << pSim->Output();
}

} // namespace
