// Internal to the Windows side: the WinSock 2 calls, reached through plain
// types for the same reason as Win32Api.h. Failures return the WinSock
// error code (WSAGetLastError); 0 is success.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace WinSock {

// WSAStartup, with the version granted and the highest there is; WSACleanup.
int Startup(uint16_t wRequested, uint16_t* pwVersion, uint16_t* pwHighVersion);
void Cleanup();

// The fields of a protocol catalogue entry that start-up tests.
struct Protocol {
    int nAddressFamily;
    int nMaxSockAddr;
    int nMinSockAddr;
    int nSocketType;
    int nProtocol;
};
// WSAEnumProtocols, for the protocols in the zero-ended list (null: all).
int EnumProtocols(const int* pnProtocols, std::vector<Protocol>* pProtocols);

// INVALID_SOCKET (all bits set) on failure, with *pnError set.
uintptr_t Socket(int nFamily, int nType, int nProtocol, int* pnError);
int SetSockOpt(uintptr_t s, int nLevel, int nName, const void* pValue, int nLength);
int CloseSocket(uintptr_t s);
int Connect(uintptr_t s, const void* pAddress, int nLength);
// send and recv: the byte count, or -1 with *pnError set.
int Send(uintptr_t s, const void* pData, int nLength, int* pnError);
int Receive(uintptr_t s, void* pData, int nLength, int* pnError);
// bind, sendto and recvfrom on an address laid out as sockaddr_in.
int Bind(uintptr_t s, const void* pAddress, int nLength);
int SendTo(uintptr_t s, const void* pData, int nLength, const void* pAddress, int nAddressLength,
           int* pnError);
// recvfrom with the sender's address, laid out as sockaddr_in, in pFrom.
int ReceiveFrom(uintptr_t s, void* pData, int nLength, void* pFrom, int* pnError);
// select() for reading: true once data or a close is there to read. It
// leaves the socket's recorded network events alone.
bool WaitReadable(uintptr_t s, uint32_t dwMilliseconds);
// WSAAsyncSelect: lEvents posted to hWnd as message; 0, 0 cancels.
int AsyncSelect(uintptr_t s, uintptr_t hWnd, unsigned message, long lEvents);

// WSAEventSelect: hEvent bound to the socket's lEvents; null, 0 unbinds.
int EventSelect(uintptr_t s, void* hEvent, long lEvents);
// WSAEnumNetworkEvents: the events reported since the last call, which
// also resets hEvent, and the error code of each in anErrors[bit].
int EnumNetworkEvents(uintptr_t s, void* hEvent, long* plEvents, int anErrors[10]);
// WSAWaitForMultipleEvents for any one, not alertable: the index of the
// first signalled handle, 0x102 on time-out, 0xFFFFFFFF on failure.
uint32_t WaitForAny(void* const* phEvents, uint32_t nCount, uint32_t dwMilliseconds);

// inet_ntop and inet_addr for IPv4, the address in network order.
std::string AddressText(uint32_t dwAddress);
uint32_t ParseAddress(const char* pszText);
// gethostname; false on failure.
bool HostName(std::string* pName);
// gethostbyname's IPv4 addresses, in its order.
std::vector<uint32_t> HostAddresses(const char* pszName);
// WSAIoctl(SIO_GET_INTERFACE_LIST): each interface's IPv4 address and flags.
struct Interface {
    uint32_t dwAddress;
    bool bUp;
    bool bLoopback;
    bool bMulticast;
};
std::vector<Interface> Interfaces();

} // namespace WinSock
