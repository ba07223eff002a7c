#include "ResolveHostAddress.h"

#include "SocketApi.h"

DWORD ResolveHostAddress(const std::string& text) {
    const DWORD dwAddress = InetAddr(text);
    if (dwAddress != INADDR_NONE)
        return dwAddress;
    const std::vector<DWORD> addresses = GetHostAddresses(text);
    return addresses.empty() ? dwAddress : addresses.front();
}
