// orvex in a pipeline: a reader that goes away or stalls never stops or
// holds up an update. The real binary writes into real pipes, the phones
// are simulators on loopback addresses of their own, port 8739.
#include "OrvexRun.h"
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kClosedNote[] = "orvex: standard output is closed; nothing more is written there, "
                           "and the updates run to their end\n";

std::string Image(size_t nBytes) {
    std::string image(nBytes, '\0');
    for (size_t i = 0; i < nBytes; ++i)
        image[i] = static_cast<char>(i * 7 + 3);
    return image;
}

// What a phone has received once the image went out whole: the image,
// 0xFF up to a multiple of 256, then the finishing byte 0x81.
std::string Received(const std::string& image) {
    return image + std::string((256 - image.size() % 256) % 256, '\xFF') + '\x81';
}

// A process with its standard streams on the descriptors given, killed
// and reaped when the object goes. bStopped: it stops (SIGSTOP) before it
// runs its program, as a reader suspended from the start.
class CProcess {
public:
    CProcess(std::vector<std::string> argv, int fdIn, int fdOut, int fdErr, bool bStopped = false) {
        std::vector<char*> args;
        for (auto& arg : argv)
            args.push_back(arg.data());
        args.push_back(nullptr);
        const pid_t parent = getpid();
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(fdIn, STDIN_FILENO);
            dup2(fdOut, STDOUT_FILENO);
            dup2(fdErr, STDERR_FILENO);
            if (bStopped)
                raise(SIGSTOP);
            execvp(args[0], args.data());
            _exit(127);
        }
        if (bStopped && m_pid > 0) {
            int nStatus = 0;
            waitpid(m_pid, &nStatus, WUNTRACED);
        }
    }
    ~CProcess() {
        if (m_pid > 0 && !m_bReaped) {
            kill(m_pid, SIGKILL);
            kill(m_pid, SIGCONT);
            waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t Pid() const { return m_pid; }
    bool Running() {
        int nStatus = 0;
        if (m_bReaped || waitpid(m_pid, &nStatus, WNOHANG) == 0)
            return !m_bReaped;
        m_bReaped = true;
        m_nStatus = nStatus;
        return false;
    }
    // The exit status (128 + the signal for a killed process), -1 on time-out.
    int Wait(int nMs) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
        while (Running() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!m_bReaped)
            return -1;
        return ExitStatus(m_nStatus);
    }

private:
    pid_t m_pid = -1;
    bool m_bReaped = false;
    int m_nStatus = 0;
};

class COrvexPipeTest : public CSimFolderTest {
protected:
    COrvexPipeTest() : CSimFolderTest("orvex-pipe") {}

    // Simulators on each address, saving what they receive; the phone's
    // post-update check finds them refusing, as a phone that is updating.
    void StartPhones(const std::vector<std::string>& addresses, int nAckDelayMs) {
        for (const auto& address : addresses) {
            auto pSim = StartPhoneSimOn(address, {"--save", Saved(address).string(), "--ack-delay",
                                                  std::to_string(nAckDelayMs)});
            ASSERT_TRUE(pSim) << address;
            m_sims.push_back(std::move(pSim));
        }
    }
    fs::path Saved(const std::string& address) const { return m_dir / (address + ".bin"); }
    std::vector<std::string> OrvexArgs(const std::vector<std::string>& addresses,
                                       const fs::path& image, bool bJson) const {
        std::vector<std::string> args{ORVEX_PATH, "update-program", image.string(),
                                      "--check-timeout", "300"};
        if (bJson)
            args.push_back("--json");
        for (const auto& address : addresses)
            args.insert(args.end(), {"--phone", address});
        return args;
    }
    bool AllReceived(const std::vector<std::string>& addresses, const std::string& expected,
                     int nMs) const {
        const auto deadline = Clock::now() + std::chrono::milliseconds(nMs);
        for (;;) {
            bool bAll = true;
            for (const auto& address : addresses)
                bAll = bAll && ReadAll(Saved(address)) == expected;
            if (bAll || Clock::now() >= deadline)
                return bAll;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    std::vector<std::unique_ptr<CChildProcess>> m_sims;
};

// The processes pid has started that still run: orvex's workers.
std::string Children(pid_t pid) {
    const std::string path =
        "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
    std::string children = ReadAll(path);
    children.erase(children.find_last_not_of(' ') + 1);
    return children;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t i = text.find(part); i != std::string::npos; i = text.find(part, i + 1))
        ++n;
    return n;
}

} // namespace

// `orvex update-program ... | head -2`: the reader goes after two lines.
TEST_F(COrvexPipeTest, ReaderGoesAway_PhonesFinishAndTheStatusIsAsUsual) {
    struct CCase {
        bool bJson;
        std::string address;
        size_t nLinesRead;
    };
    const std::vector<CCase> cases = {{true, "127.0.2.1", 2}, {false, "127.0.2.2", 0}};
    const std::string image = Image(40000);
    const fs::path imagePath = File("image.bin", image);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        StartPhones({c.address}, 2);
        int out[2], err[2];
        ASSERT_EQ(0, pipe2(out, O_CLOEXEC));
        ASSERT_EQ(0, pipe2(err, O_CLOEXEC));
        const int fdNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
        CProcess orvex(OrvexArgs({c.address}, imagePath, c.bJson), fdNull, out[1], err[1]);
        close(fdNull);
        close(out[1]);
        close(err[1]);
        // Reads its lines one byte at a time, as head does, then goes.
        std::string read;
        char ch;
        size_t nLines = 0;
        while (nLines < c.nLinesRead && ::read(out[0], &ch, 1) == 1) {
            read += ch;
            nLines += ch == '\n';
        }
        close(out[0]);
        EXPECT_EQ(0, orvex.Wait(30000)) << read;
        std::string errors;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(err[0], buf, sizeof buf)) > 0)
            errors.append(buf, static_cast<size_t>(n));
        close(err[0]);
        EXPECT_EQ(kClosedNote, errors);
        EXPECT_EQ(Received(image), ReadAll(Saved(c.address)));
    }
}

// A reader suspended (SIGSTOP) for longer than the whole update.
TEST_F(COrvexPipeTest, ReaderStalls_PhonesFinishMeanwhileAndEveryLineArrivesLater) {
    struct CCase {
        bool bJson;
        std::vector<std::string> addresses;
    };
    const std::vector<CCase> cases = {
        {true, {"127.0.2.11", "127.0.2.12", "127.0.2.13"}},
        {false, {"127.0.2.21", "127.0.2.22"}},
    };
    const std::string image = Image(40000);
    const fs::path imagePath = File("image.bin", image);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.addresses[0]);
        StartPhones(c.addresses, 1);
        int pipeFds[2];
        ASSERT_EQ(0, pipe2(pipeFds, O_CLOEXEC));
        const fs::path captured = m_dir / "captured.txt";
        const int fdCaptured =
            open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int fdNull = open("/dev/null", O_RDWR | O_CLOEXEC);
        CProcess reader({"cat"}, pipeFds[0], fdCaptured, fdNull, true);
        close(pipeFds[0]);
        close(fdCaptured);
        // The pipe is full before orvex writes its first line.
        fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
        const std::string filler(1024, '#');
        size_t nFiller = 0;
        ssize_t n;
        while ((n = write(pipeFds[1], filler.data(), filler.size())) > 0)
            nFiller += static_cast<size_t>(n);
        while ((n = write(pipeFds[1], filler.data(), 1)) > 0)
            nFiller += 1;
        fcntl(pipeFds[1], F_SETFL, 0);
        int err[2];
        ASSERT_EQ(0, pipe2(err, O_CLOEXEC));
        CProcess orvex(OrvexArgs(c.addresses, imagePath, c.bJson), fdNull, pipeFds[1], err[1]);
        close(fdNull);
        close(pipeFds[1]);
        close(err[1]);

        EXPECT_TRUE(AllReceived(c.addresses, Received(image), 30000))
            << "a phone waited for the reader";
        // Longer than the update: every worker has ended.
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        while (!Children(orvex.Pid()).empty() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ("", Children(orvex.Pid())) << "a worker waited for the reader";
        EXPECT_TRUE(orvex.Running()) << "orvex did not wait for its reader";
        kill(reader.Pid(), SIGCONT);
        EXPECT_EQ(0, orvex.Wait(30000));
        EXPECT_EQ(0, reader.Wait(10000));
        std::string errors;
        char buf[4096];
        while ((n = ::read(err[0], buf, sizeof buf)) > 0)
            errors.append(buf, static_cast<size_t>(n));
        close(err[0]);
        EXPECT_EQ("", errors);

        const std::string all = ReadAll(captured);
        ASSERT_GE(all.size(), nFiller);
        EXPECT_EQ(std::string(nFiller, '#'), all.substr(0, nFiller));
        const std::string out = all.substr(nFiller);
        if (c.bJson) {
            std::map<std::string, std::vector<std::string>> byPhone;
            std::string summary;
            std::istringstream lines(out);
            std::string line;
            while (std::getline(lines, line)) {
                const QJsonObject event =
                    QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
                ASSERT_FALSE(event.isEmpty()) << line;
                const std::string kind = event.value("event").toString().toStdString();
                if (kind == "summary")
                    summary = line;
                else
                    byPhone[event.value("phone").toString().toStdString()].push_back(kind);
                if (kind == "done") {
                    EXPECT_EQ("updating", event.value("outcome").toString().toStdString());
                }
            }
            EXPECT_NE(std::string::npos,
                      summary.find("\"succeeded\":" + std::to_string(c.addresses.size())))
                << summary;
            EXPECT_EQ(c.addresses.size(), byPhone.size());
            for (const auto& address : c.addresses) {
                SCOPED_TRACE(address);
                // What waited for the reader: the start and the outcome, and
                // of the progress only the latest.
                std::vector<std::string> kinds = byPhone[address];
                EXPECT_LE(std::count(kinds.begin(), kinds.end(), "progress"), 1) << out;
                kinds.erase(std::remove(kinds.begin(), kinds.end(), "progress"), kinds.end());
                EXPECT_EQ((std::vector<std::string>{"start", "done"}), kinds);
            }
        } else {
            for (const auto& address : c.addresses)
                EXPECT_EQ(1, Count(out, address + ": updating: Updating")) << out;
            EXPECT_NE(std::string::npos,
                      out.find(std::to_string(c.addresses.size()) + " phones, " +
                               std::to_string(c.addresses.size()) + " succeeded, 0 did not"))
                << out;
        }
        m_sims.clear();
    }
}
