#include "LocalAddress.h"

#include "Trace.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr size_t kHostNameSize = 128;

bool IsLoopback(in_addr_t dwAddress) { return (ntohl(dwAddress) >> 24) == 127; }

std::string ToText(in_addr_t dwAddress) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr addr{dwAddress};
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

// The first non-loopback IPv4 address the host's name resolves to, in the
// resolver's order (gethostbyname_r keeps /etc/hosts order), or 0.
in_addr_t FromHostName(std::string* pName) {
    char name[kHostNameSize] = {};
    if (gethostname(name, kHostNameSize - 1) != 0)
        return 0;
    *pName = name;
    hostent host{};
    hostent* pResult = nullptr;
    int nError = 0;
    std::vector<char> work(8192);
    while (gethostbyname_r(name, &host, work.data(), work.size(), &pResult, &nError) == ERANGE)
        work.resize(work.size() * 2);
    if (pResult == nullptr || pResult->h_addrtype != AF_INET)
        return 0;
    for (char** pp = pResult->h_addr_list; *pp != nullptr; ++pp) {
        in_addr_t dwAddress;
        memcpy(&dwAddress, *pp, sizeof dwAddress);
        if (!IsLoopback(dwAddress))
            return dwAddress;
    }
    return 0;
}

in_addr_t FromInterfaces(std::string* pName) {
    ifaddrs* pList = nullptr;
    if (getifaddrs(&pList) != 0)
        return 0;
    in_addr_t dwFound = 0;
    for (ifaddrs* p = pList; p != nullptr; p = p->ifa_next) {
        if (p->ifa_addr == nullptr || p->ifa_addr->sa_family != AF_INET)
            continue;
        const unsigned flags = p->ifa_flags;
        if (!(flags & IFF_UP) || (flags & IFF_LOOPBACK) || !(flags & IFF_MULTICAST))
            continue;
        dwFound = reinterpret_cast<const sockaddr_in*>(p->ifa_addr)->sin_addr.s_addr;
        *pName = p->ifa_name;
        break;
    }
    freeifaddrs(pList);
    return dwFound;
}
} // namespace

DWORD GetLocalHostAddress() {
    std::string name;
    in_addr_t dwAddress = FromHostName(&name);
    if (dwAddress != 0) {
        OutputDebugStringA("Local address " + ToText(dwAddress) + " of host name " + name + "\n");
        return dwAddress;
    }
    dwAddress = FromInterfaces(&name);
    if (dwAddress != 0) {
        OutputDebugStringA("Local address " + ToText(dwAddress) + " of interface " + name + "\n");
        return dwAddress;
    }
    OutputDebugStringA("No local address: binding to any address\n");
    return 0;
}
