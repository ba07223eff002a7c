// Discovery around an update, inside the test namespaces. --confirm:
// simulated phones that reboot after their update and come back with the
// expected version, with another one, or never; the done events, the report
// and the exit status say which. --skip-busy: a phone in a call is left alone
// until it is idle or its time is up.
#include "Netns.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct CPhone {
    std::string address;
    std::vector<std::string> reboot; // how the simulator comes back
};

std::string Str(const QJsonObject& object, const char* pszKey) {
    return object.value(pszKey).toString().toStdString();
}

class CConfirmNetnsTest : public CNetnsTest {
protected:
    void SetUp() override {
        CNetnsTest::SetUp();
        if (IsSkipped())
            return;
        {
            auto pGuard = m_pNetns->EnterTool();
            std::string why;
            ASSERT_TRUE(CNetns::IsConfined(&why)) << why;
        }
        char dirTemplate[] = "/tmp/orvex-confirm-XXXXXX";
        m_dir = mkdtemp(dirTemplate);
        std::ofstream(m_dir / "image.bin", std::ios::binary) << std::string(700, 'c');
    }
    void TearDown() override {
        m_sims.clear();
        if (!m_dir.empty())
            fs::remove_all(m_dir);
        CNetnsTest::TearDown();
    }

    // A phone answering discovery as "IP Phone v2.1" until its update, then
    // rebooting for a second and a half; without discovery it answers none.
    // bAgain: the simulator is restarted, the address is there.
    void StartPhone(const CPhone& phone, bool bDiscovery = true, bool bAgain = false) {
        if (phone.address != CNetns::kPhoneAddress && !bAgain) {
            ASSERT_TRUE(m_pNetns->AddPhoneAddress(phone.address));
        }
        std::vector<std::string> argv = {getenv("PHONE_SIM"), "--address", phone.address,
                                         "--update-busy-ms", "1500"};
        if (bDiscovery)
            argv.insert(argv.end(),
                        {"--discovery", "--phone-ip", phone.address, "--type", "IP Phone v2.1"});
        argv.insert(argv.end(), phone.reboot.begin(), phone.reboot.end());
        m_sims.erase(phone.address);
        auto pSim = m_pNetns->Spawn(CNetns::Phone, argv);
        ASSERT_TRUE(pSim && pSim->WaitForOutput(bDiscovery ? "discovery on" : "listening on", 5000))
            << (pSim ? pSim->Output() : "not started");
        m_sims[phone.address] = std::move(pSim);
    }
    std::string Saved(const std::string& address) const {
        return (m_dir / (address + ".bin")).string();
    }
    std::string Received(const std::string& address) const {
        std::ifstream in(Saved(address), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    struct CRun {
        int nStatus = -1;
        std::string out;
        std::map<std::string, QJsonObject> done;
    };
    std::unique_ptr<CChildProcess> StartOrvex(const std::vector<CPhone>& phones,
                                              const std::vector<std::string>& options) {
        std::vector<std::string> argv = {ORVEX_PATH,
                                         "update-program",
                                         (m_dir / "image.bin").string(),
                                         "--json",
                                         "--check-timeout",
                                         "300",
                                         "--probe-interval",
                                         "0.2"};
        argv.insert(argv.end(), options.begin(), options.end());
        for (const auto& phone : phones)
            argv.insert(argv.end(), {"--phone", phone.address});
        return m_pNetns->Spawn(CNetns::Tool, argv);
    }
    CRun Orvex(const std::vector<CPhone>& phones, const std::vector<std::string>& options) {
        return Finished(StartOrvex(phones, options));
    }
    static CRun Finished(std::unique_ptr<CChildProcess> pRun) {
        CRun run;
        if (!pRun)
            return run;
        const int nStatus = pRun->Wait(60000);
        run.nStatus = nStatus >= 0 && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        run.out = pRun->Output();
        std::istringstream lines(run.out);
        std::string line;
        while (std::getline(lines, line)) {
            const QJsonObject event =
                QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            if (Str(event, "event") == "done")
                run.done[Str(event, "phone")] = event;
        }
        return run;
    }

    fs::path m_dir;
    std::map<std::string, std::unique_ptr<CChildProcess>> m_sims;
};

} // namespace

// Three phones at once: back with the expected version, back with another,
// never back. Only the first succeeds; the versions go into the done events
// and the report.
TEST_F(CConfirmNetnsTest, Confirm_BackRightWrongNever_OutcomesVersionsAndStatus) {
    const std::vector<CPhone> phones = {
        {"198.18.0.2", {"--version-after", "IP Phone v2.2"}},
        {"198.18.0.3", {"--version-after", "IP Phone v2.1b"}},
        {"198.18.0.4", {"--never-back"}},
    };
    for (const auto& phone : phones)
        ASSERT_NO_FATAL_FAILURE(StartPhone(phone));
    const fs::path report = m_dir / "report.json";
    const CRun run = Orvex(phones, {"--confirm", "--expect-version", "*v2.2", "--confirm-timeout",
                                    "4", "--report", report.string()});
    EXPECT_EQ(1, run.nStatus) << run.out;
    ASSERT_EQ(3u, run.done.size()) << run.out;
    struct CExpected {
        const char* pszOutcome;
        bool bOk;
        const char* pszText;
        const char* pszAfter;
    };
    const std::map<std::string, CExpected> expected = {
        {"198.18.0.2", {"confirmed", true, "back as \"IP Phone v2.2\"", "IP Phone v2.2"}},
        {"198.18.0.3",
         {"wrong-version", false, "back as \"IP Phone v2.1b\", expected \"*v2.2\"",
          "IP Phone v2.1b"}},
        {"198.18.0.4", {"not-back", false, "no discovery reply within 4 s of the update", ""}},
    };
    const QJsonArray rows =
        QJsonDocument::fromJson([&] {
            std::ifstream in(report);
            return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {}));
        }())
            .array();
    ASSERT_EQ(3, rows.size());
    for (const auto& [address, want] : expected) {
        SCOPED_TRACE(address);
        const QJsonObject& done = run.done.at(address);
        EXPECT_EQ(want.pszOutcome, Str(done, "outcome"));
        EXPECT_EQ(want.bOk, done.value("ok").toBool());
        EXPECT_EQ(want.pszText, Str(done, "text"));
        EXPECT_EQ("IP Phone v2.1", Str(done, "versionBefore"));
        EXPECT_EQ(want.pszAfter, Str(done, "versionAfter"));
        EXPECT_EQ(1, done.value("attempts").toInt()) << "a phone that began its update is not "
                                                        "run again";
        QJsonObject row;
        for (const auto& value : rows)
            if (Str(value.toObject(), "address") == address)
                row = value.toObject();
        EXPECT_EQ(want.pszOutcome, Str(row, "outcome"));
        EXPECT_EQ("IP Phone v2.1", Str(row, "versionBefore"));
        EXPECT_EQ(want.pszAfter, Str(row, "versionAfter"));
        EXPECT_TRUE(m_sims.at(address)->WaitForOutput("finishing byte 0x81", 100));
    }
    EXPECT_NE(std::string::npos, run.out.find("\"state\":\"confirming\"")) << run.out;
}

// A canary that never comes back holds the others back; without
// --expect-version any version confirms, and --retries does not send the
// image again to a phone that is installing it.
TEST_F(CConfirmNetnsTest, Confirm_CanaryNotBack_OthersSkippedAnyVersionConfirms) {
    const std::vector<CPhone> phones = {
        {"198.18.0.2", {"--never-back"}},
        {"198.18.0.3", {"--version-after", "IP Phone v9"}},
    };
    for (const auto& phone : phones)
        ASSERT_NO_FATAL_FAILURE(StartPhone(phone));
    const CRun held =
        Orvex(phones, {"--confirm", "--confirm-timeout", "2", "--canary", "1", "--retries", "2"});
    EXPECT_EQ(1, held.nStatus) << held.out;
    EXPECT_EQ("not-back", Str(held.done.at("198.18.0.2"), "outcome"));
    EXPECT_EQ(1, held.done.at("198.18.0.2").value("attempts").toInt());
    EXPECT_EQ("skipped", Str(held.done.at("198.18.0.3"), "outcome"));
    EXPECT_FALSE(m_sims.at("198.18.0.3")->WaitForOutput("received", 100));

    const CRun alone = Orvex({phones[1]}, {"--confirm", "--confirm-timeout", "4"});
    EXPECT_EQ(0, alone.nStatus) << alone.out;
    EXPECT_EQ("confirmed", Str(alone.done.at("198.18.0.3"), "outcome"));
    EXPECT_EQ("IP Phone v9", Str(alone.done.at("198.18.0.3"), "versionAfter"));
}

// A busy phone waits, probed again, and is updated once its call is over; a
// phone busy for longer than --busy-timeout is skipped and receives nothing;
// a phone that does not answer discovery is updated meanwhile, though one
// phone runs at a time.
TEST_F(CConfirmNetnsTest, SkipBusy_BusyThenIdleBusyForeverSilent_UpdatedSkippedUpdated) {
    const CPhone becomesIdle = {"198.18.0.2", {"--busy", "1", "--save", Saved("198.18.0.2")}};
    const CPhone staysBusy = {"198.18.0.3", {"--busy", "1", "--save", Saved("198.18.0.3")}};
    const CPhone silent = {"198.18.0.4", {"--save", Saved("198.18.0.4")}};
    ASSERT_NO_FATAL_FAILURE(StartPhone(becomesIdle));
    ASSERT_NO_FATAL_FAILURE(StartPhone(staysBusy));
    ASSERT_NO_FATAL_FAILURE(StartPhone(silent, false));
    auto pRun = StartOrvex({becomesIdle, staysBusy, silent},
                           {"-j", "1", "--skip-busy", "--busy-timeout", "4", "--report",
                            (m_dir / "report.csv").string()});
    ASSERT_TRUE(pRun);
    // Asked twice and busy both times: nothing sent yet.
    CChildProcess& idle = *m_sims.at(becomesIdle.address);
    ASSERT_TRUE(idle.WaitForOutput("sent 1 replies", 5000)) << idle.Output();
    ASSERT_TRUE(
        idle.WaitForOutput("sent 1 replies", 5000, idle.Output().find("sent 1 replies") + 1))
        << idle.Output();
    EXPECT_EQ("", Received(becomesIdle.address));
    // A phone that does not answer is not held while the busy one waits.
    EXPECT_TRUE(m_sims.at(silent.address)->WaitForOutput("finishing byte 0x81", 5000));
    EXPECT_EQ("", Received(becomesIdle.address));

    // The call is over.
    ASSERT_NO_FATAL_FAILURE(
        StartPhone({becomesIdle.address, {"--save", Saved(becomesIdle.address)}}, true, true));
    const CRun run = Finished(std::move(pRun));
    EXPECT_EQ(1, run.nStatus) << run.out;
    ASSERT_EQ(3u, run.done.size()) << run.out;
    EXPECT_EQ("updating", Str(run.done.at(becomesIdle.address), "outcome"));
    EXPECT_EQ(std::string(700, 'c') + std::string(68, '\xFF') + '\x81',
              Received(becomesIdle.address));
    EXPECT_EQ("updating", Str(run.done.at(silent.address), "outcome"));
    const QJsonObject& skipped = run.done.at(staysBusy.address);
    EXPECT_EQ("skipped-busy", Str(skipped, "outcome"));
    EXPECT_FALSE(skipped.value("ok").toBool());
    EXPECT_EQ("busy (a call in progress) for 4 s; not updated", Str(skipped, "text"));
    EXPECT_EQ("", Received(staysBusy.address));
    std::ifstream csv(m_dir / "report.csv");
    const std::string rows(std::istreambuf_iterator<char>(csv), {});
    EXPECT_NE(std::string::npos,
              rows.find("198.18.0.3,skipped-busy,false,busy (a call in progress) for 4 s; not "
                        "updated,0,"))
        << rows;
}

// --dry-run with --skip-busy and --confirm probes once: which phones
// answered and their state, and nothing is sent.
TEST_F(CConfirmNetnsTest, DryRun_Probe_ShowsWhoAnsweredAndTheirStateSendsNothing) {
    const CPhone busy = {"198.18.0.2", {"--busy", "1", "--save", Saved("198.18.0.2")}};
    const CPhone silent = {"198.18.0.3", {"--save", Saved("198.18.0.3")}};
    ASSERT_NO_FATAL_FAILURE(StartPhone(busy));
    ASSERT_NO_FATAL_FAILURE(StartPhone(silent, false));
    auto pRun = StartOrvex({busy, silent}, {"--dry-run", "--skip-busy", "--confirm"});
    ASSERT_TRUE(pRun);
    const int nStatus = pRun->Wait(20000);
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0) << pRun->Output();
    const std::string& out = pRun->Output();
    EXPECT_NE(std::string::npos, out.find("\nPhone       Answered  Type & Version  Busy\n"
                                          "198.18.0.2  yes       IP Phone v2.1   Yes\n"
                                          "198.18.0.3  no\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find(", --confirm within 300 s, --skip-busy up to 600 s, "
                                          "a probe every 0.2 s\n"))
        << out;
    EXPECT_EQ("", Received(busy.address));
    EXPECT_EQ("", Received(silent.address));
    EXPECT_FALSE(m_sims.at(silent.address)->WaitForOutput("received", 100));
}

// Ctrl-C while a phone is watched: it acknowledged its finishing byte and is
// installing, so it is reported as updating, never as a failure, and the
// report is written.
TEST_F(CConfirmNetnsTest, Confirm_CtrlCWhileWatching_ReportedUpdatingStatus130) {
    const CPhone phone = {"198.18.0.2", {"--never-back"}};
    ASSERT_NO_FATAL_FAILURE(StartPhone(phone));
    const fs::path report = m_dir / "report.csv";
    auto pRun =
        StartOrvex({phone}, {"--confirm", "--confirm-timeout", "60", "--report", report.string()});
    ASSERT_TRUE(pRun);
    ASSERT_TRUE(pRun->WaitForOutput("\"state\":\"confirming\"", 10000)) << pRun->Output();
    kill(pRun->Pid(), SIGINT);
    const CRun run = Finished(std::move(pRun));
    EXPECT_EQ(130, run.nStatus) << run.out;
    ASSERT_EQ(1u, run.done.count(phone.address)) << run.out;
    const QJsonObject& done = run.done.at(phone.address);
    EXPECT_EQ("updating", Str(done, "outcome"));
    EXPECT_TRUE(done.value("ok").toBool());
    EXPECT_EQ("Updating ... please wait until the update led stop on and off", Str(done, "text"));
    std::ifstream in(report);
    const std::string rows(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(std::string::npos, rows.find("\n198.18.0.2,updating,true,Updating ...")) << rows;
}
