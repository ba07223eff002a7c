// --canary and --max-failures: the real orvex binary against simulators on
// loopback. What each phone received, what the user is told, and in which
// order the phones started.
#include "PhoneSim.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const char kUpdating[] = "Updating ... please wait until the update led stop on and off";

struct CPhone {
    std::string address;
    bool bWorks; // else it refuses every connection
};

class CFleetPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("PHONE_SIM"), nullptr);
        char dirTemplate[] = "/tmp/orvex-plan-XXXXXX";
        m_dir = mkdtemp(dirTemplate);
        std::ofstream(m_dir / "image.bin", std::ios::binary) << std::string(500, 'p');
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // orvex --json over the phones, each its own simulator; the status, and
    // the done and start events by phone.
    struct CRun {
        int nStatus = -1;
        std::vector<QJsonObject> events;
        std::map<std::string, QJsonObject> done;
    };
    CRun Run(const std::vector<CPhone>& phones, const std::vector<std::string>& options) {
        std::vector<std::unique_ptr<CChildProcess>> sims;
        std::vector<std::string> args{
            ORVEX_PATH, "update-program",  "--json", "--connect-timeout",
            "1000",     "--check-timeout", "1000",   (m_dir / "image.bin").string()};
        args.insert(args.end(), options.begin(), options.end());
        for (const auto& phone : phones) {
            fs::remove(Saved(phone));
            sims.push_back(StartPhoneSimOn(
                phone.address, phone.bWorks ? std::vector<std::string>{"--save", Saved(phone)}
                                            : std::vector<std::string>{"--refuse"}));
            EXPECT_TRUE(sims.back()) << phone.address;
            args.insert(args.end(), {"--phone", phone.address});
        }
        CRun run;
        auto pRun = CChildProcess::StartApart(args);
        if (!pRun)
            return run;
        const int nStatus = pRun->Wait(60000);
        run.nStatus = nStatus >= 0 && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
        std::istringstream lines(pRun->Output());
        std::string line;
        while (std::getline(lines, line)) {
            const QJsonObject event =
                QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            run.events.push_back(event);
            if (event.value("event").toString() == "done")
                run.done[event.value("phone").toString().toStdString()] = event;
        }
        return run;
    }
    std::string Saved(const CPhone& phone) const {
        return (m_dir / (phone.address + ".bin")).string();
    }
    // What the simulator saved: empty when it received nothing.
    std::string Received(const CPhone& phone) const {
        std::ifstream in(Saved(phone), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The position of the first event of this kind for the phone, or -1.
    static int EventAt(const CRun& run, const std::string& kind, const std::string& address) {
        for (size_t i = 0; i < run.events.size(); ++i)
            if (run.events[i].value("event").toString().toStdString() == kind &&
                run.events[i].value("phone").toString().toStdString() == address)
                return static_cast<int>(i);
        return -1;
    }

    fs::path m_dir;
};

std::string Str(const QJsonObject& event, const char* pszKey) {
    return event.value(pszKey).toString().toStdString();
}

} // namespace

// A canary that fails: the others never start, are reported skipped, and
// receive nothing. Canaries that succeed: the others start after them.
TEST_F(CFleetPlanTest, Canary_FailsOrSucceeds_OthersSkippedOrStartedAfter) {
    const std::vector<CPhone> failing = {
        {"127.0.10.1", false}, {"127.0.10.2", true}, {"127.0.10.3", true}};
    const CRun bad = Run(failing, {"--canary", "1"});
    EXPECT_EQ(1, bad.nStatus);
    ASSERT_EQ(3u, bad.done.size());
    EXPECT_EQ("failed", Str(bad.done.at("127.0.10.1"), "outcome"));
    for (const char* pszOther : {"127.0.10.2", "127.0.10.3"}) {
        SCOPED_TRACE(pszOther);
        const QJsonObject& done = bad.done.at(pszOther);
        EXPECT_EQ("skipped", Str(done, "outcome"));
        EXPECT_FALSE(done.value("ok").toBool());
        EXPECT_EQ("not started: canary phone 127.0.10.1 did not succeed (--canary 1)",
                  Str(done, "text"));
        EXPECT_EQ(-1, EventAt(bad, "start", pszOther));
        EXPECT_EQ("", Received({pszOther, true}));
    }

    const std::vector<CPhone> working = {
        {"127.0.10.4", true}, {"127.0.10.5", true}, {"127.0.10.6", true}};
    const CRun good = Run(working, {"--canary", "2"});
    EXPECT_EQ(0, good.nStatus);
    ASSERT_EQ(3u, good.done.size());
    for (const auto& phone : working) {
        EXPECT_EQ("updating", Str(good.done.at(phone.address), "outcome"));
        EXPECT_EQ(kUpdating, Str(good.done.at(phone.address), "text"));
        EXPECT_EQ(std::string(500, 'p') + std::string(12, '\xFF') + '\x81', [&] {
            std::ifstream in(Saved(phone), std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }()) << phone.address;
    }
    const int nThirdStart = EventAt(good, "start", "127.0.10.6");
    EXPECT_GT(nThirdStart, EventAt(good, "done", "127.0.10.4"));
    EXPECT_GT(nThirdStart, EventAt(good, "done", "127.0.10.5"));
    EXPECT_LT(EventAt(good, "start", "127.0.10.5"), EventAt(good, "done", "127.0.10.4"))
        << "the canaries run together";
}

// The budget counts phones, not attempts: two failed phones spend a budget
// of 2 and the rest are skipped; a phone still retrying has not failed yet.
TEST_F(CFleetPlanTest, MaxFailures_BudgetSpent_RestSkippedRetriesNotCounted) {
    const std::vector<CPhone> phones = {{"127.0.10.11", false},
                                        {"127.0.10.12", false},
                                        {"127.0.10.13", true},
                                        {"127.0.10.14", true}};
    const CRun spent = Run(phones, {"-j", "1", "--max-failures", "2"});
    EXPECT_EQ(1, spent.nStatus);
    ASSERT_EQ(4u, spent.done.size());
    EXPECT_EQ("failed", Str(spent.done.at("127.0.10.11"), "outcome"));
    EXPECT_EQ("failed", Str(spent.done.at("127.0.10.12"), "outcome"));
    for (const char* pszSkipped : {"127.0.10.13", "127.0.10.14"}) {
        SCOPED_TRACE(pszSkipped);
        EXPECT_EQ("skipped", Str(spent.done.at(pszSkipped), "outcome"));
        EXPECT_EQ("not started: 2 phones failed (--max-failures 2)",
                  Str(spent.done.at(pszSkipped), "text"));
        EXPECT_EQ(0, spent.done.at(pszSkipped).value("attempts").toInt());
        EXPECT_EQ("", Received({pszSkipped, true}));
    }

    // The failing phone's first attempt ends before the good phone starts;
    // its retries come after it.
    const std::vector<CPhone> retried = {{"127.0.10.15", false}, {"127.0.10.16", true}};
    const CRun unspent = Run(retried, {"-j", "1", "--retries", "2", "--max-failures", "1"});
    EXPECT_EQ(1, unspent.nStatus);
    EXPECT_EQ("failed", Str(unspent.done.at("127.0.10.15"), "outcome"));
    EXPECT_EQ(3, unspent.done.at("127.0.10.15").value("attempts").toInt());
    EXPECT_EQ("updating", Str(unspent.done.at("127.0.10.16"), "outcome"));
    EXPECT_EQ(std::string(500, 'p') + std::string(12, '\xFF') + '\x81', Received(retried[1]));
}
