#include "Probe.h"

#include "UdpSocket.h"

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {
constexpr size_t kProbeBlockSize = 32;
} // namespace

void SendDiscoveryProbe(HWND hWnd, DWORD dwLocalAddress) {
    CUdpSocket probe;
    char* pBlock = static_cast<char*>(malloc(kProbeBlockSize));
    if (pBlock == nullptr)
        return;
    // Notification message 0: nothing this socket might hear is handled.
    probe.Enter(hWnd, 0, kDiscoveryGroup, kDiscoveryPort, kDiscoveryRecvSize, dwLocalAddress);
    std::this_thread::yield();
    strcpy(pBlock, "Hello, world!");
    // The text's 13 bytes, without the zero.
    if (!probe.Write(pBlock, 13))
        free(pBlock);
    std::this_thread::yield();
    // The I/O thread sends what is queued before it honours the stop.
    probe.Leave();
}
