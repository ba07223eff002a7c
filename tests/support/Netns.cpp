#include "Netns.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr const char* kIp = "ip";
constexpr int kIpTimeoutMs = 10000;

std::atomic<int> g_nCounter{0};

// Two stats of namespace files name the same namespace when inode and device agree.
bool SameFile(const char* pszA, const char* pszB) {
    struct stat a {}, b {};
    return stat(pszA, &a) == 0 && stat(pszB, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}
// A test process killed by a sanitizer never runs its destructors: sweep the
// namespaces that name a process no longer alive before making new ones.
void RemoveStaleNamespaces() {
    std::unique_ptr<DIR, int (*)(DIR*)> pDir(opendir("/run/netns"), closedir);
    if (!pDir)
        return;
    while (dirent* pEntry = readdir(pDir.get())) {
        const std::string name = pEntry->d_name;
        for (const char* pszPrefix : {"orvex-tool-", "orvex-phone-"}) {
            const std::string prefix = pszPrefix;
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            const pid_t pid = static_cast<pid_t>(atol(name.c_str() + prefix.size()));
            if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH)
                if (auto pChild = CChildProcess::Start({kIp, "netns", "del", name}))
                    pChild->Wait(kIpTimeoutMs);
        }
    }
}
} // namespace

CNetns::CNetns() {
    if (geteuid() != 0) {
        m_strError = "not running as root";
        return;
    }
    RemoveStaleNamespaces();
    const std::string suffix = std::to_string(getpid()) + "-" + std::to_string(g_nCounter++);
    m_strTool = "orvex-tool-" + suffix;
    m_strPhone = "orvex-phone-" + suffix;
    m_bToolMade = Ip({"netns", "add", m_strTool});
    m_bPhoneMade = m_bToolMade && Ip({"netns", "add", m_strPhone});
    if (!m_bPhoneMade)
        return;
    // Made directly inside the namespaces, so the names never meet another run's.
    m_bReady = Ip({"link", "add", kToolVeth, "netns", m_strTool, "type", "veth", "peer", "name", kPhoneVeth,
                   "netns", m_strPhone}) &&
               Ip({"-n", m_strTool, "addr", "add", std::string(kToolAddress) + "/24", "dev", kToolVeth}) &&
               Ip({"-n", m_strPhone, "addr", "add", std::string(kPhoneAddress) + "/24", "dev", kPhoneVeth}) &&
               Ip({"-n", m_strTool, "link", "set", "lo", "up"}) &&
               Ip({"-n", m_strPhone, "link", "set", "lo", "up"}) &&
               Ip({"-n", m_strTool, "link", "set", kToolVeth, "up"}) &&
               Ip({"-n", m_strPhone, "link", "set", kPhoneVeth, "up"}) &&
               Ip({"-n", m_strTool, "route", "add", "224.0.0.0/4", "dev", kToolVeth}) &&
               Ip({"-n", m_strPhone, "route", "add", "224.0.0.0/4", "dev", kPhoneVeth});
}

CNetns::~CNetns() {
    // Deleting a namespace takes its end of the veth pair, and with it the pair.
    if (m_bPhoneMade)
        Ip({"netns", "del", m_strPhone});
    if (m_bToolMade)
        Ip({"netns", "del", m_strTool});
}

bool CNetns::Ip(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kIp};
    argv.insert(argv.end(), args.begin(), args.end());
    std::unique_ptr<CChildProcess> pChild = CChildProcess::Start(argv);
    if (!pChild) {
        m_strError = "cannot start ip";
        return false;
    }
    int status = pChild->Wait(kIpTimeoutMs);
    if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    std::string cmd;
    for (const std::string& arg : argv)
        cmd += arg + " ";
    m_strError = cmd + "failed: " + pChild->Output();
    return false;
}

bool CNetns::AddPhoneAddress(const std::string& address) {
    return m_bReady && Ip({"-n", m_strPhone, "addr", "add", address + "/32", "dev", kPhoneVeth}) &&
           Ip({"-n", m_strTool, "route", "replace", address + "/32", "dev", kToolVeth});
}

std::unique_ptr<CChildProcess> CNetns::Spawn(Side side, const std::vector<std::string>& argv) const {
    std::vector<std::string> all{kIp, "netns", "exec", Name(side)};
    all.insert(all.end(), argv.begin(), argv.end());
    return CChildProcess::Start(all);
}

CNetns::CGuard::~CGuard() {
    if (m_fdOriginal >= 0) {
        if (setns(m_fdOriginal, CLONE_NEWNET) != 0)
            ADD_FAILURE() << "cannot return to the original network namespace";
        close(m_fdOriginal);
    }
}

std::unique_ptr<CNetns::CGuard> CNetns::EnterTool() const {
    if (!m_bReady)
        return std::make_unique<CGuard>(-1);
    int fdOriginal = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    int fdTool = open(("/run/netns/" + m_strTool).c_str(), O_RDONLY | O_CLOEXEC);
    bool bEntered = fdOriginal >= 0 && fdTool >= 0 && setns(fdTool, CLONE_NEWNET) == 0;
    if (fdTool >= 0)
        close(fdTool);
    if (!bEntered && fdOriginal >= 0) {
        close(fdOriginal);
        fdOriginal = -1;
    }
    return std::make_unique<CGuard>(fdOriginal);
}

bool CNetns::RunInTool(const std::function<void()>& fn) const {
    bool bEntered = false;
    std::thread thread([&] {
        std::unique_ptr<CGuard> pGuard = EnterTool();
        bEntered = pGuard->IsEntered();
        if (bEntered)
            fn();
    });
    thread.join();
    return bEntered;
}

int CNetns::ForkInTool(const std::function<void()>& fn) const {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        std::unique_ptr<CGuard> pGuard = EnterTool();
        if (!pGuard->IsEntered())
            _exit(2);
        fn();
        fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return status;
}

bool CNetns::IsConfined(std::string* pWhy) {
    auto fail = [pWhy](const std::string& why) {
        if (pWhy != nullptr)
            *pWhy = why;
        return false;
    };
    if (SameFile("/proc/thread-self/ns/net", "/proc/1/ns/net"))
        return fail("the thread is in the machine's own network namespace");
    std::ifstream routes("/proc/thread-self/net/route");
    if (!routes)
        return fail("cannot read the routing table");
    std::string line;
    std::getline(routes, line); // heading
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string iface, dest, gateway, flags, refcnt, use, metric, mask;
        fields >> iface >> dest >> gateway >> flags >> refcnt >> use >> metric >> mask;
        if (dest == "00000000" && mask == "00000000")
            return fail("default route via " + iface);
    }
    std::ifstream devices("/proc/thread-self/net/dev");
    if (!devices)
        return fail("cannot read the interface list");
    std::getline(devices, line);
    std::getline(devices, line);
    while (std::getline(devices, line)) {
        std::string name = line.substr(0, line.find(':'));
        name.erase(0, name.find_first_not_of(' '));
        if (name != "lo" && name != kToolVeth && name != kPhoneVeth)
            return fail("foreign interface " + name);
    }
    return true;
}
