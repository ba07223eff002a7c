// --report FILE and --phones-from FILE --only-failed: the report the real
// orvex binary writes against simulators on loopback, as JSON and as CSV, at
// the end and after Ctrl-C, and fed back so that only the failed phones are
// updated again.
#include "OrvexRun.h"
#include "PhoneListReader.h"
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char kUpdating[] = "Updating ... please wait until the update led stop on and off";

COrvexRun RunOrvex(std::vector<std::string> args) {
    args.insert(args.begin(), ORVEX_PATH);
    return RunToEnd(args);
}

class CFleetReportTest : public CSimFolderTest {
protected:
    CFleetReportTest() : CSimFolderTest("orvex-report") {}
    void SetUp() override {
        CSimFolderTest::SetUp();
        m_image = File("image.bin", std::string(1000, 'i')).string();
    }

    std::unique_ptr<CChildProcess> Sim(const std::string& address, std::vector<std::string> args) {
        auto pSim = StartPhoneSimOn(address, args);
        EXPECT_TRUE(pSim) << address;
        return pSim;
    }

    // The files of m_dir but the image, by name.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            if (entry.path().filename() != "image.bin")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string m_image;
};

QJsonArray JsonRows(const fs::path& path) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(ReadAll(path))).array();
}

} // namespace

// Reports and --only-failed through the reader: a report's "address" and
// "ok", a list's "ip", and a list or a report without "ok" refused.
TEST(ReportReaderTest, ReadPhoneList_ReportsAndOnlyFailed_KeepTheFailedEntries) {
    const std::string report =
        "[\n"
        "  {\"address\":\"10.0.0.1\",\"ok\":true,\"outcome\":\"updating\"},\n"
        "  {\"address\":\"10.0.0.2\",\"ok\":false,\"outcome\":\"failed\"},\n"
        "  {\"address\":\"10.0.0.3\",\"ok\":false,\"outcome\":\"skipped\"}\n"
        "]\n";
    struct CCase {
        std::string text;
        bool bOnlyFailed;
        bool bRead;
        std::vector<DWORD> phones;
        std::string error;
    };
    const std::vector<CCase> cases = {
        {report, false, true, {0x0A000001, 0x0A000002, 0x0A000003}, ""},
        {report, true, true, {0x0A000002, 0x0A000003}, ""},
        {"[{\"ip\":\"10.0.0.4\",\"ok\":false},{\"ip\":\"10.0.0.5\",\"ok\":true}]",
         true,
         true,
         {0x0A000004},
         ""},
        {"[{\"address\":\"10.0.0.1\",\"ok\":true}]", true, true, {}, ""},
        {"[{\"ip\":\"10.0.0.4\"}]", true, false, {}, "entry 1: no \"ok\""},
        {"[{\"address\":\"10.0.0.1\",\"ok\":false},{\"address\":\"10.0.0.2\",\"ok\":\"false\"}]",
         true,
         false,
         {},
         "entry 2: no \"ok\""},
        {"[{\"address\":\"10.0.0.9\",\"ok\":false},{\"address\":\"x\",\"ok\":false}]",
         true,
         false,
         {},
         "entry 2: \"x\" is not an IPv4 address"},
        {"[{\"outcome\":\"failed\",\"ok\":false}]", true, false, {}, "entry 1: no \"ip\""},
        {"10.0.0.1\n", true, false, {}, "line 1: not a report"},
        {"10.0.0.1\n", false, true, {0x0A000001}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<DWORD> phones{0x01010101};
        std::string error;
        EXPECT_EQ(c.bRead, ReadPhoneList(c.text, &phones, &error, c.bOnlyFailed));
        EXPECT_EQ(c.phones, phones);
        EXPECT_EQ(0u, error.find(c.error)) << error;
    }
}

// A run's JSON report, fed back with --only-failed, updates only the phone
// that failed; the second run's CSV report has that phone alone.
TEST_F(CFleetReportTest, Report_FedBackWithOnlyFailed_UpdatesOnlyTheFailedPhone) {
    const fs::path savedGood = m_dir / "good.bin";
    auto pGood = Sim("127.0.9.1", {"--update-busy-ms", "60000", "--save", savedGood.string()});
    auto pBad = Sim("127.0.9.2", {"--refuse"});
    ASSERT_TRUE(pGood && pBad);
    const fs::path json = m_dir / "first.json";
    const COrvexRun first = RunOrvex({"update-program", m_image, "--phone", "127.0.9.1", "--phone",
                                      "127.0.9.2", "--connect-timeout", "1000", "--check-timeout",
                                      "1000", "--report", json.string()});
    EXPECT_EQ(1, first.nStatus) << first.err;
    const QJsonArray rows = JsonRows(json);
    ASSERT_EQ(2, rows.size()) << ReadAll(json);
    struct CRow {
        const char* pszAddress;
        const char* pszOutcome;
        bool bOk;
        const char* pszText;
        int nBytes;
    };
    const CRow expected[] = {{"127.0.9.1", "updating", true, kUpdating, 1024},
                             {"127.0.9.2", "failed", false, "Can not connect to Quill1", 0}};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject row = rows.at(i).toObject();
        SCOPED_TRACE(expected[i].pszAddress);
        EXPECT_EQ(expected[i].pszAddress, row.value("address").toString().toStdString());
        EXPECT_EQ(expected[i].pszOutcome, row.value("outcome").toString().toStdString());
        EXPECT_EQ(expected[i].bOk, row.value("ok").toBool());
        EXPECT_TRUE(row.value("ok").isBool());
        EXPECT_EQ(expected[i].pszText, row.value("text").toString().toStdString());
        EXPECT_EQ(expected[i].nBytes, row.value("bytes").toInt());
        EXPECT_EQ(1, row.value("attempts").toInt());
        EXPECT_GT(row.value("seconds").toDouble(), 0);
        EXPECT_TRUE(row.value("versionBefore").isString());
        EXPECT_TRUE(row.value("versionAfter").isString());
    }
    ASSERT_EQ(1025, static_cast<int>(ReadAll(savedGood).size()));
    fs::remove(savedGood);

    // The failed phone works now; the good one is still rebooting and must
    // not be dialled.
    pBad.reset();
    const fs::path savedRetried = m_dir / "retried.bin";
    auto pFixed = Sim("127.0.9.2", {"--update-busy-ms", "60000", "--save", savedRetried.string()});
    ASSERT_TRUE(pFixed);
    const fs::path csv = m_dir / "second.csv";
    const COrvexRun second =
        RunOrvex({"update-program", m_image, "--phones-from", json.string(), "--only-failed",
                  "--check-timeout", "1000", "--report", csv.string()});
    EXPECT_EQ(0, second.nStatus) << second.err;
    EXPECT_EQ(std::string(1000, 'i') + std::string(24, '\xFF') + '\x81', ReadAll(savedRetried));
    EXPECT_FALSE(fs::exists(savedGood));
    const std::string csvText = ReadAll(csv);
    EXPECT_EQ(0u, csvText.find("address,outcome,ok,text,bytes,seconds,attempts,versionBefore,"
                               "versionAfter\n127.0.9.2,updating,true," +
                               std::string(kUpdating) + ",1024,"))
        << csvText;
    EXPECT_EQ(2, std::count(csvText.begin(), csvText.end(), '\n')) << csvText;
    EXPECT_TRUE(csvText.size() > 5 && csvText.compare(csvText.size() - 5, 5, ",1,,\n") == 0)
        << csvText;

    // A report without failures leaves nothing to do.
    const COrvexRun third =
        RunOrvex({"update-program", m_image, "--phones-from", csv.string(), "--only-failed"});
    EXPECT_EQ(2, third.nStatus) << "a CSV report is not read back: " << third.err;
    const fs::path okJson = m_dir / "ok.json";
    std::ofstream(okJson) << "[{\"address\":\"127.0.9.2\",\"ok\":true}]\n";
    const COrvexRun fourth =
        RunOrvex({"update-program", m_image, "--phones-from", okJson.string(), "--only-failed"});
    EXPECT_EQ(0, fourth.nStatus) << fourth.err;
    EXPECT_EQ("orvex: " + okJson.string() + ": no phone failed; none to update\n", fourth.err);
    EXPECT_EQ((std::vector<std::string>{"first.json", "ok.json", "retried.bin", "second.csv"}),
              Files());
}

// Ctrl-C mid-transfer: the report is still written, whole, with the phone
// interrupted and the one that never started too. A report that cannot be
// written stops the run before any phone is dialled.
TEST_F(CFleetReportTest, Report_CtrlCAndUnwritable_WrittenWholeOrRefusedUpFront) {
    auto pSlow = Sim("127.0.9.3", {"--ack-delay", "200"});
    ASSERT_TRUE(pSlow);
    const fs::path json = m_dir / "stopped.json";
    auto pRun = CChildProcess::StartApart({ORVEX_PATH, "update-program", m_image, "--phone",
                                           "127.0.9.3", "--phone", "127.0.9.4", "-j", "1", "--json",
                                           "--report", json.string()});
    ASSERT_TRUE(pRun);
    ASSERT_TRUE(pRun->WaitForOutput("\"event\":\"progress\"", 10000)) << pRun->Output();
    EXPECT_FALSE(fs::exists(json)) << "written at the end only";
    kill(pRun->Pid(), SIGINT);
    const int nStatus = pRun->Wait(20000);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(130, WEXITSTATUS(nStatus));
    const QJsonArray rows = JsonRows(json);
    ASSERT_EQ(2, rows.size()) << ReadAll(json);
    for (const auto& row : rows) {
        EXPECT_EQ("interrupted", row.toObject().value("outcome").toString().toStdString());
        EXPECT_FALSE(row.toObject().value("ok").toBool());
    }
    EXPECT_EQ((std::vector<std::string>{"stopped.json"}), Files()) << "no temporary file left";

    const size_t nSaid = pSlow->Output().size();
    const COrvexRun refused = RunOrvex({"update-program", m_image, "--phone", "127.0.9.3",
                                        "--report", (m_dir / "no-such-dir" / "r.csv").string()});
    EXPECT_EQ(2, refused.nStatus);
    EXPECT_EQ(0u, refused.err.find("orvex: --report " + (m_dir / "no-such-dir/r.csv").string() +
                                   ": cannot be written ("))
        << refused.err;
    EXPECT_EQ("", refused.out);
    EXPECT_FALSE(pSlow->WaitForOutput("received", 300, nSaid)) << pSlow->Output();
}
