// orvex list's probes, conditions and CSV inside the test namespaces, against
// the simulator's phones.
#include "Netns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

class CListNetnsTest : public CNetnsTest {
protected:
    void SetUp() override {
        CNetnsTest::SetUp();
        if (IsSkipped())
            return;
        auto pGuard = m_pNetns->EnterTool();
        std::string why;
        ASSERT_TRUE(CNetns::IsConfined(&why)) << why;
    }

    std::unique_ptr<CChildProcess> StartSim(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {getenv("PHONE_SIM"), "--no-tcp", "--discovery"};
        argv.insert(argv.end(), args.begin(), args.end());
        auto pSim = m_pNetns->Spawn(CNetns::Phone, argv);
        EXPECT_TRUE(pSim && pSim->WaitForOutput("discovery on", 5000))
            << (pSim ? pSim->Output() : "not started");
        return pSim;
    }

    // orvex in the tool namespace, to its end: {status, output}.
    std::pair<int, std::string> Orvex(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {ORVEX_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        auto pRun = m_pNetns->Spawn(CNetns::Tool, argv);
        const int nStatus = pRun ? pRun->Wait(60000) : -1;
        return {nStatus >= 0 && WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1,
                pRun ? pRun->Output() : std::string()};
    }
};

// The first column of each CSV row after the headings.
std::vector<std::string> Addresses(const std::string& csv) {
    std::vector<std::string> addresses;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        addresses.push_back(line.substr(0, line.find(',')));
    return addresses;
}

} // namespace

// A phone that answered only the first probe and phones that came up after
// it are all listed, each once, in the dialog's order.
TEST_F(CListNetnsTest, List_ThreeProbes_RepliesToEveryProbeMerged) {
    auto pEarly = StartSim({"--phones", "2", "--phone-ip", "198.18.0.20"});
    ASSERT_TRUE(pEarly);
    auto pRun = m_pNetns->Spawn(CNetns::Tool,
                                {ORVEX_PATH, "list", "--probes", "3", "--wait", "0.5", "--csv"});
    ASSERT_TRUE(pRun);
    ASSERT_TRUE(pEarly->WaitForOutput("sent 2 replies", 10000)) << pEarly->Output();
    pEarly.reset();
    auto pLate = StartSim({"--phones", "2", "--phone-ip", "198.18.0.100"});
    ASSERT_TRUE(pLate);
    const int nStatus = pRun->Wait(20000);
    ASSERT_TRUE(WIFEXITED(nStatus));
    EXPECT_EQ(0, WEXITSTATUS(nStatus));
    EXPECT_EQ(
        (std::vector<std::string>{"198.18.0.100", "198.18.0.101", "198.18.0.20", "198.18.0.21"}),
        Addresses(pRun->Output()))
        << pRun->Output();
    // The late phones heard at least one more probe, and answered each.
    EXPECT_TRUE(pLate->WaitForOutput("sent 2 replies", 100)) << pLate->Output();
}

// --where keeps the rows that pass every condition; --csv quotes as RFC 4180
// does; a bad condition is one line and status 2 before anything is sent.
TEST_F(CListNetnsTest, List_WhereAndCsv_FilteredRowsAndBadConditions) {
    char path[] = "/tmp/orvex-list-phones-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path)
        << "198.18.0.20  02:00:00:00:00:20  \"Desk v2.2\"          2001  1  1  0\n"
           "198.18.0.21  02:00:00:00:00:21  \"Desk v2.1\"          2002  0  1  1\n"
           "198.18.0.22  02:00:00:00:00:22  \"Wall, \\\"Pro\\\" v2.2\" 2003  2  0  0\n"
           "198.18.0.100 02:00:00:00:01:00  \"Desk v2.2\"          \"\"    9  2  0\n";
    auto pSim = StartSim({"--phones-file", path});
    unlink(path);
    ASSERT_TRUE(pSim);

    const auto [nAll, all] = Orvex({"list", "--probes", "1", "--wait", "1", "--csv"});
    EXPECT_EQ(0, nAll);
    EXPECT_EQ("IP Address,Mac Address,Type & Version,IP Type,Phone Number,Log on,Busy\n"
              "198.18.0.100,02-00-00-00-01-00,Desk v2.2,,,No,No\n"
              "198.18.0.20,02-00-00-00-00-20,Desk v2.2,dhcp,2001,Yes,No\n"
              "198.18.0.21,02-00-00-00-00-21,Desk v2.1,static,2002,Yes,Yes\n"
              "198.18.0.22,02-00-00-00-00-22,\"Wall, \"\"Pro\"\" v2.2\",pppoe,2003,No,No\n",
              all);

    struct CCase {
        std::vector<std::string> where;
        std::vector<std::string> listed;
    };
    const std::vector<CCase> cases = {
        {{"type-version!=*v2.2"}, {"198.18.0.21"}},
        {{"busy=No", "logged-on=Yes"}, {"198.18.0.20"}},
        {{"address=198.18.0.2?"}, {"198.18.0.20", "198.18.0.21", "198.18.0.22"}},
        {{"ip-type=static"}, {"198.18.0.21"}},
        {{"ip-type="}, {"198.18.0.100"}},
        {{"number=200[13]"}, {"198.18.0.20", "198.18.0.22"}},
        {{"mac=02-00-00-00-00-2[!0]", "type-version=*\"*"}, {"198.18.0.22"}},
        {{"type-version=desk*"}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"list", "--probes", "1", "--wait", "1", "--csv"};
        for (const auto& condition : c.where)
            args.insert(args.end(), {"--where", condition});
        SCOPED_TRACE(c.where.front());
        const auto [nStatus, out] = Orvex(args);
        EXPECT_EQ(c.listed.empty() ? 1 : 0, nStatus);
        EXPECT_EQ(c.listed, Addresses(out)) << out;
    }
    // --where filters the JSON that update-program reads back, too.
    const auto [nJson, json] =
        Orvex({"list", "--probes", "1", "--wait", "1", "--json", "--where", "busy=Yes"});
    EXPECT_EQ(0, nJson);
    EXPECT_EQ(0u, json.find("[\n  {\"busy\":\"Yes\",")) << json;
    EXPECT_NE(std::string::npos, json.find("\"ip\":\"198.18.0.21\"")) << json;
    EXPECT_EQ(3, std::count(json.begin(), json.end(), '\n')) << json;

    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{"--where", "colour=red"},
         "orvex: --where \"colour=red\": no field \"colour\" ("
         "address, mac, type-version, ip-type, number, logged-on, "
         "busy)\n"},
        {{"--where", "busy"}, "orvex: --where \"busy\": FIELD=GLOB or FIELD!=GLOB\n"},
        {{"--csv", "--json"}, "excludes"},
        {{"--probes", "0"}, "--probes"},
    };
    // Everything the simulator said so far, so that a probe of these runs shows.
    pSim->WaitForOutput("nothing it says", 300);
    const size_t nBefore = pSim->Output().size();
    for (const auto& [args, error] : bad) {
        std::vector<std::string> argv = {"list"};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto [nStatus, out] = Orvex(argv);
        EXPECT_EQ(2, nStatus) << out;
        EXPECT_EQ(1, std::count(out.begin(), out.end(), '\n')) << out;
        EXPECT_EQ(0u, out.rfind("orvex: ", 0)) << out;
        EXPECT_NE(std::string::npos, out.find(error)) << out;
    }
    EXPECT_FALSE(pSim->WaitForOutput("probe from", 300, nBefore)) << pSim->Output();
}
