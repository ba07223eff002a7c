// --confirm: the parent's watch over the phones that began their update. One
// listening socket (discovery's, port 1030) and one probe every interval
// serve every phone watched, for a unicast reply reaches one listener only:
// no worker listens. A phone is confirmed when discovery hears it again,
// with its own address in the reply, after a probe sent once it had
// acknowledged its finishing byte; with an expected version its
// type-and-version text must match that glob too. The replies heard before
// a phone's update give its version before.
//
// The socket posts its replies to a window of the calling thread; Poll,
// called from the fleet's loop at least every tenth of a second, delivers
// them, so no thread of its own and no event loop is needed.
#pragma once

#include "PhoneReply.h"
#include "PhoneRun.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

struct CConfirmOptions {
    double dTimeoutSeconds = 300;
    double dProbeSeconds = 5;
    std::string expectVersion; // a glob; empty takes any version
    double dBusySeconds = 600; // --skip-busy: how long a phone may stay busy
};

class CConfirmWatch {
public:
    struct CVerdict {
        size_t nPhone;
        std::string outcome; // "confirmed", "wrong-version" or "not-back"
        std::string text;
    };

    explicit CConfirmWatch(const CConfirmOptions& options);
    ~CConfirmWatch();
    CConfirmWatch(const CConfirmWatch&) = delete;
    CConfirmWatch& operator=(const CConfirmWatch&) = delete;

    // Listens and probes once, so the phones' versions before are heard
    // while they are being updated. runs are the fleet's, in its order.
    void Start(const std::vector<CPhoneRun>& runs);
    // The phone at nPhone has begun its update: watched from now on.
    void Watch(size_t nPhone);
    bool IsWatching() const { return !m_watched.empty(); }
    // Delivers the replies received (filling in the runs' versions), probes
    // when one is due, and gives the phones whose watch has ended.
    std::vector<CVerdict> Poll(std::vector<CPhoneRun>& runs);
    // Ctrl-C: the phones still watched, no longer watched.
    std::vector<size_t> Abandon();

    // --skip-busy: whether the phone at nPhone may start now. The first ask
    // has it probed (Hold until the answer); a reply with Busy "Yes" holds
    // it (HoldBusy) and it is asked again after the next probe, until it has
    // been busy for dBusySeconds; a phone that does not answer within a probe
    // interval (at most a second) starts, as discovery may be filtered on
    // its network.
    enum EGate { Pass, Hold, HoldBusy, SkipBusy };
    EGate Gate(size_t nPhone);
    // The last reply heard from the phone at nPhone; false when none.
    bool Heard(size_t nPhone, PhoneTexts* pTexts) const;
    // Whether Poll still has something to do.
    bool IsBusy() const { return !m_watched.empty() || !m_gates.empty(); }

private:
    class CListener;
    struct CWatched {
        CPhoneRun::Clock::time_point deadline;
        bool bProbed = false; // a probe went out since the phone began its update
    };

    struct CGate {
        CPhoneRun::Clock::time_point first;  // since when the phone has been asked about
        CPhoneRun::Clock::time_point probed; // the probe that asks; epoch until it is sent
    };
    struct CReply {
        CPhoneRun::Clock::time_point when;
        PhoneTexts texts;
    };
    CPhoneRun::Clock::duration Duration(double dSeconds) const;

    CConfirmOptions m_options;
    std::map<size_t, CGate> m_gates;
    std::map<size_t, CReply> m_lastReply;
    std::unique_ptr<CListener> m_pListener;
    std::vector<PhoneTexts> m_replies; // received, not yet handled
    std::map<DWORD, size_t> m_phoneOf; // address to position in the runs
    std::map<size_t, CWatched> m_watched;
    CPhoneRun::Clock::time_point m_nextProbe;
};
