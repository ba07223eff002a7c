#include "UserNamespace.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Errno(const std::string& what) {
    return what + ": " + strerror(errno);
}

bool WriteFile(const char* pszPath, const std::string& text) {
    std::ofstream file(pszPath);
    file << text;
    file.flush();
    return static_cast<bool>(file);
}

// A new network namespace starts with loopback down.
bool SetLoopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool bUp = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    bUp = bUp && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    close(fd);
    return bUp;
}

struct CProcessSetup {
    std::string strProblem;
    struct stat network {};
};

CProcessSetup SetUp() {
    CProcessSetup setup;
    if (geteuid() != 0) {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            setup.strProblem =
                Errno("not root, and no user namespace (see user.max_user_namespaces and "
                      "kernel.unprivileged_userns_clone)");
        else if (!WriteFile("/proc/self/setgroups", "deny") ||
                 !WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                 !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            setup.strProblem = Errno("cannot map the user into its user namespace");
        else if (!SetLoopbackUp())
            setup.strProblem = Errno("cannot bring up loopback in the process's network namespace");
    }
    stat("/proc/self/ns/net", &setup.network);
    return setup;
}

const CProcessSetup g_setup = SetUp();

} // namespace

const std::string& NetworkNamespaceProblem() {
    return g_setup.strProblem;
}

bool InProcessNetworkNamespace() {
    struct stat st {};
    return stat("/proc/thread-self/ns/net", &st) == 0 && st.st_ino == g_setup.network.st_ino &&
           st.st_dev == g_setup.network.st_dev;
}
