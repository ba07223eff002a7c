// Two throw-away network namespaces, "tool" and "phone", joined by a veth
// pair, so that multicast, broadcast and private addresses never leave the
// machine. Removed when the object goes, also after a failed assertion.
//
//   tool  veth-tool 198.18.0.1/24  ==  veth-phone 198.18.0.2/24  phone
//
// Both sides have lo up and a route for 224.0.0.0/4 on their veth, and no
// default route. The machine's /etc/hosts maps the host name to a loopback
// address (127.0.0.1 or Debian's 127.0.1.1) and namespaces share it, so inside
// the tool namespace the host name resolves to loopback: the tool's local
// address falls back to the veth's address.
//
// Network namespaces belong to threads: EnterTool() moves the calling thread,
// and every thread it starts afterwards (the sockets' I/O threads) is born in
// the tool namespace too. So a GUI test enters on its main thread before it
// creates any socket and leaves at the end of the scope.
//
// The namespaces have no names: the object holds them open, and they go with
// it (or with the process, however it ends), so parallel runs never meet.
//
// Without root, the process works inside a user namespace of its own
// (UserNamespace.h) and makes the two there as root would. Where the kernel
// allows no user namespace, IsReady() is false and Error()
// says why; the test then calls GTEST_SKIP() (CNetnsTest does it in SetUp).
#pragma once

#include "ChildProcess.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class CNetns {
public:
    enum Side { Tool, Phone };

    static constexpr const char* kToolAddress = "198.18.0.1";
    static constexpr const char* kPhoneAddress = "198.18.0.2";
    static constexpr const char* kToolVeth = "veth-tool";
    static constexpr const char* kPhoneVeth = "veth-phone";

    CNetns();
    ~CNetns();
    CNetns(const CNetns&) = delete;
    CNetns& operator=(const CNetns&) = delete;

    bool IsReady() const { return m_bReady; }
    const std::string& Error() const { return m_strError; }

    // Gives the phone side one more address ("192.168.1.1", a /32) and the
    // tool side a route to it over the veth, for several simulated phones or
    // for dialling the default phone address.
    bool AddPhoneAddress(const std::string& address);
    // Makes every address of prefix ("198.19.0.0/22") local to the phone
    // side (a local route: any of them can be bound without adding each) and
    // routes it from the tool side through the phone's veth address, for a
    // fleet of simulated phones at two commands' cost.
    bool AddPhoneRange(const std::string& prefix);
    // Gives the tool's veth one more address, with its prefix ("198.18.0.3/24").
    bool AddToolAddress(const std::string& addressWithPrefix);

    // Starts argv inside a namespace. Its stdout and stderr are readable
    // through the result.
    std::unique_ptr<CChildProcess> Spawn(Side side, const std::vector<std::string>& argv) const;

    // Moves the calling thread into the tool namespace until the guard goes.
    class CGuard {
    public:
        explicit CGuard(int fdOriginal) : m_fdOriginal(fdOriginal) {}
        ~CGuard();
        CGuard(const CGuard&) = delete;
        CGuard& operator=(const CGuard&) = delete;
        bool IsEntered() const { return m_fdOriginal >= 0; }

    private:
        int m_fdOriginal;
    };
    std::unique_ptr<CGuard> EnterTool() const;

    // Runs fn on a fresh thread inside the tool namespace and joins it.
    bool RunInTool(const std::function<void()>& fn) const;
    // Runs fn in a forked child whose (then single) thread entered the tool
    // namespace; the child's exit status: 0 when fn raised no test failure.
    // Only for code that needs a whole process; a QApplication of the parent
    // must not be used by fn.
    int ForkInTool(const std::function<void()>& fn) const;

    // True when the calling thread is confined: neither in the machine's nor
    // in the process's own namespace, no default route, no interface but lo
    // and our veth. Call it before dialling a private address or multicasting.
    static bool IsConfined(std::string* pWhy);

private:
    int Fd(Side side) const { return side == Tool ? m_fdTool : m_fdPhone; }
    // Runs ip inside a namespace.
    bool Ip(Side side, const std::vector<std::string>& args);

    int m_fdTool = -1;
    int m_fdPhone = -1;
    bool m_bReady = false;
    std::string m_strError;
};

// A fixture that makes the namespaces and skips the test where it cannot.
class CNetnsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pNetns = std::make_unique<CNetns>();
        if (!m_pNetns->IsReady())
            GTEST_SKIP() << "network namespaces unavailable: " << m_pNetns->Error();
    }
    void TearDown() override { m_pNetns.reset(); }

    std::unique_ptr<CNetns> m_pNetns;
};

// The test body, and every thread it starts, runs inside the tool namespace,
// which is checked to be confined before anything is sent.
class CToolNetnsTest : public CNetnsTest {
protected:
    void SetUp() override {
        CNetnsTest::SetUp();
        if (IsSkipped())
            return;
        m_pGuard = m_pNetns->EnterTool();
        ASSERT_TRUE(m_pGuard->IsEntered());
        std::string why;
        ASSERT_TRUE(CNetns::IsConfined(&why)) << why;
    }
    void TearDown() override {
        m_pGuard.reset();
        CNetnsTest::TearDown();
    }

    std::unique_ptr<CNetns::CGuard> m_pGuard;
};
