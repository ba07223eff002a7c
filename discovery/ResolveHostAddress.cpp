#include "ResolveHostAddress.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <vector>

DWORD ResolveHostAddress(const std::string& text) {
    in_addr_t dwAddress = inet_addr(text.c_str());
    if (dwAddress != INADDR_NONE)
        return dwAddress;
    hostent host{};
    hostent* pResult = nullptr;
    int nError = 0;
    std::vector<char> work(8192);
    while (gethostbyname_r(text.c_str(), &host, work.data(), work.size(), &pResult, &nError) == ERANGE)
        work.resize(work.size() * 2);
    if (pResult != nullptr && pResult->h_addrtype == AF_INET && pResult->h_addr_list[0] != nullptr)
        memcpy(&dwAddress, pResult->h_addr_list[0], sizeof dwAddress);
    return dwAddress;
}
