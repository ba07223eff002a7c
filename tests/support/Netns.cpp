#include "Netns.h"

#include "UserNamespace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sched.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr const char* kIp = "ip";
constexpr int kIpTimeoutMs = 10000;

// Two stats of namespace files name the same namespace when inode and device agree.
bool SameFile(const char* pszA, const char* pszB) {
    struct stat a {}, b {};
    return stat(pszA, &a) == 0 && stat(pszB, &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

std::string Errno(const std::string& what) {
    return what + ": " + strerror(errno);
}

// A new network namespace, held by the descriptor returned (-1 on failure).
int NewNamespace(std::string* pError) {
    int fd = -1;
    std::thread([&] {
        if (unshare(CLONE_NEWNET) != 0)
            *pError = Errno("cannot make a network namespace");
        else if ((fd = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) < 0)
            *pError = Errno("cannot open the new network namespace");
    }).join();
    return fd;
}
} // namespace

CNetns::CNetns() {
    if (!NetworkNamespaceProblem().empty()) {
        m_strError = NetworkNamespaceProblem();
        return;
    }
    m_fdTool = NewNamespace(&m_strError);
    m_fdPhone = m_fdTool >= 0 ? NewNamespace(&m_strError) : -1;
    if (m_fdPhone < 0)
        return;
    const std::string phonePath = "/proc/self/fd/" + std::to_string(m_fdPhone);
    m_bReady = Ip(Tool, {"link", "add", kToolVeth, "type", "veth", "peer", "name", kPhoneVeth,
                         "netns", phonePath}) &&
               Ip(Tool, {"addr", "add", std::string(kToolAddress) + "/24", "dev", kToolVeth}) &&
               Ip(Phone, {"addr", "add", std::string(kPhoneAddress) + "/24", "dev", kPhoneVeth}) &&
               Ip(Tool, {"link", "set", "lo", "up"}) && Ip(Phone, {"link", "set", "lo", "up"}) &&
               Ip(Tool, {"link", "set", kToolVeth, "up"}) &&
               Ip(Phone, {"link", "set", kPhoneVeth, "up"}) &&
               Ip(Tool, {"route", "add", "224.0.0.0/4", "dev", kToolVeth}) &&
               Ip(Phone, {"route", "add", "224.0.0.0/4", "dev", kPhoneVeth});
}

CNetns::~CNetns() {
    // The last holder of a namespace takes it, and its end of the veth pair
    // takes the pair.
    for (int fd : {m_fdTool, m_fdPhone})
        if (fd >= 0)
            close(fd);
}

bool CNetns::Ip(Side side, const std::vector<std::string>& args) {
    std::vector<std::string> argv{kIp};
    argv.insert(argv.end(), args.begin(), args.end());
    std::unique_ptr<CChildProcess> pChild = CChildProcess::Start(argv, Fd(side), m_fdPhone);
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
    return m_bReady && Ip(Phone, {"addr", "add", address + "/32", "dev", kPhoneVeth}) &&
           Ip(Tool, {"route", "replace", address + "/32", "dev", kToolVeth});
}

bool CNetns::AddPhoneRange(const std::string& prefix) {
    return m_bReady && Ip(Phone, {"route", "add", "local", prefix, "dev", "lo"}) &&
           Ip(Tool, {"route", "replace", prefix, "via", kPhoneAddress, "dev", kToolVeth});
}

bool CNetns::AddToolAddress(const std::string& addressWithPrefix) {
    return m_bReady && Ip(Tool, {"addr", "add", addressWithPrefix, "dev", kToolVeth});
}

std::unique_ptr<CChildProcess> CNetns::Spawn(Side side, const std::vector<std::string>& argv) const {
    return CChildProcess::Start(argv, Fd(side));
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
    const bool bEntered = fdOriginal >= 0 && setns(m_fdTool, CLONE_NEWNET) == 0;
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
    if (InProcessNetworkNamespace() || SameFile("/proc/thread-self/ns/net", "/proc/1/ns/net"))
        return fail("the thread is in the machine's or the process's own network namespace");
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
