// The road of a received datagram into the List Phones window: the dialog's
// own listening socket (port 1030) receives it on its I/O thread, posts it to
// the window, and the window decodes it and adds its row. The process first
// moves into a network namespace of its own that holds only loopback, so the
// dialog's probe has nowhere to go and the input datagrams never leave it.
//
// After each input a sentinel reply follows on the same socket pair; UDP on
// loopback keeps their order, so once the sentinel's row is there the input
// has been handled, and the list must hold exactly the row the decoder makes
// of it (none for a datagram the socket or the decoder refuses).
#include "Check.h"
#include "ListPhonesDlg.h"
#include "PhoneReply.h"
#include "Probe.h"
#include "Trace.h"

#include <QApplication>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The sentinel's address sorts last and its type text carries a serial.
constexpr BYTE kSentinelIp[4] = {255, 255, 255, 255};
const char kSentinelIpText[] = "255.255.255.255";
constexpr int kWarmUpTries = 50;
constexpr int kWarmUpStepMs = 100;

CListPhonesDlg* g_pDlg = nullptr;
int g_fdSender = -1;
sockaddr_in g_to{};

bool BringLoopbackUp() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ifreq ifr{};
    strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool bOk = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    bOk = bOk && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    close(fd);
    return bOk;
}

void Send(const void* pData, size_t nSize) {
    FUZZ_CHECK(sendto(g_fdSender, pData, nSize, 0, reinterpret_cast<const sockaddr*>(&g_to),
                      sizeof g_to) == static_cast<ssize_t>(nSize));
}

// The row whose address is the sentinel's, or -1.
int SentinelRow() {
    const CPhoneRows& rows = g_pDlg->m_PhoneRows;
    for (int i = rows.GetItemCount() - 1; i >= 0; --i)
        if (rows.Row(i)[0] == kSentinelIpText)
            return i;
    return -1;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (unshare(CLONE_NEWNET) != 0 || !BringLoopbackUp()) {
        fprintf(stderr, "fuzz_udp_datagram: needs root for a network namespace of its own: %s\n",
                strerror(errno));
        exit(1);
    }
    SetTraceSink([](const std::string&) {});
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int s_argc = 1;
    static char s_name[] = "fuzz_udp_datagram";
    static char* s_argv[] = {s_name, nullptr};
    new QApplication(s_argc, s_argv);

    // The window opens its listening socket and probes into the empty namespace.
    g_pDlg = new CListPhonesDlg;
    FUZZ_CHECK(g_pDlg->Create());

    g_fdSender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(g_fdSender >= 0);
    g_to.sin_family = AF_INET;
    g_to.sin_port = htons(kReplyPort);
    g_to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    // The socket opens on its I/O thread after Enter: wait until a reply gets through.
    BYTE sentinel[sizeof(PhoneReply)] = {};
    memcpy(sentinel, kSentinelIp, sizeof kSentinelIp);
    for (int i = 0; i < kWarmUpTries && SentinelRow() < 0; ++i) {
        Send(sentinel, sizeof sentinel);
        usleep(kWarmUpStepMs * 1000);
        QCoreApplication::processEvents();
    }
    FUZZ_CHECK(SentinelRow() >= 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static unsigned s_nSerial = 0;
    g_pDlg->m_PhoneRows.DeleteAllItems();

    Send(pData, nSize);
    BYTE sentinel[sizeof(PhoneReply)] = {};
    memcpy(sentinel, kSentinelIp, sizeof kSentinelIp);
    const std::string serial = "sentinel " + std::to_string(++s_nSerial);
    memcpy(sentinel + 10, serial.c_str(), serial.size());
    Send(sentinel, sizeof sentinel);

    // Posted messages wake Qt's loop, so this blocks only until they come.
    while (SentinelRow() < 0 || g_pDlg->m_PhoneRows.Row(SentinelRow())[2] != serial)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);

    PhoneTexts expected;
    const bool bRow = nSize <= kDiscoveryRecvSize && DecodePhoneReply(pData, nSize, &expected) &&
                      expected[0] != kSentinelIpText;
    const CPhoneRows& rows = g_pDlg->m_PhoneRows;
    FUZZ_CHECK(rows.GetItemCount() == (bRow ? 2 : 1));
    if (bRow)
        FUZZ_CHECK(rows.Row(SentinelRow() == 0 ? 1 : 0) == expected);
    return 0;
}
