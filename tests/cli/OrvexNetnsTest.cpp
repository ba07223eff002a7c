// orvex list inside the test namespaces, against the simulator's phones, and
// its JSON piped into an update, as a technician's script would.
#include "Netns.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

TEST_F(CNetnsTest, List_SimulatedPhones_TableJsonPipelineAndNone) {
    {
        auto pGuard = m_pNetns->EnterTool();
        std::string why;
        ASSERT_TRUE(CNetns::IsConfined(&why)) << why;
    }
    const std::string sim = getenv("PHONE_SIM");
    const std::string orvex = ORVEX_PATH;
    // An orvex run in the tool namespace to its end: {status, output}.
    const auto run = [&](const std::vector<std::string>& argv) {
        auto pChild = m_pNetns->Spawn(CNetns::Tool, argv);
        const int nStatus = pChild ? pChild->Wait(60000) : -1;
        return std::make_pair(WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1,
                              pChild ? pChild->Output() : std::string());
    };

    // Three phones answering one probe: rows in the dialog's text order.
    auto pSim =
        m_pNetns->Spawn(CNetns::Phone, {sim, "--no-tcp", "--discovery", "--phones", "3",
                                        "--phone-ip", "198.18.0.8", "--number-base", "200"});
    ASSERT_TRUE(pSim && pSim->WaitForOutput("discovery on", 5000)) << pSim->Output();
    const auto [nTable, out] = run({orvex, "list", "--wait", "1"});
    EXPECT_EQ(0, nTable);
    EXPECT_EQ(0u, out.find("IP Address   Mac Address        Type & Version  IP Type  Phone Number  "
                           "Log on  Busy\n"))
        << out;
    const size_t n10 = out.find("198.18.0.10 ");
    const size_t n8 = out.find("198.18.0.8 ");
    const size_t n9 = out.find("198.18.0.9 ");
    ASSERT_NE(std::string::npos, n9) << out;
    EXPECT_LT(n10, n8);
    EXPECT_LT(n8, n9);
    EXPECT_NE(std::string::npos, out.find("dhcp     200")) << out;
    pSim.reset();

    // list --json feeds update-program: every phone that answered is updated.
    pSim = m_pNetns->Spawn(CNetns::Phone, {sim, "--address", CNetns::kPhoneAddress, "--discovery",
                                           "--phone-ip", CNetns::kPhoneAddress});
    ASSERT_TRUE(pSim && pSim->WaitForOutput("discovery on", 5000)) << pSim->Output();
    char imageTemplate[] = "/tmp/orvex-image-XXXXXX";
    const int fd = mkstemp(imageTemplate);
    ASSERT_EQ(1000, write(fd, std::string(1000, 'z').data(), 1000));
    close(fd);
    const auto [nUpdate, updateOut] =
        run({"sh", "-c",
             "\"$0\" list --wait 1 --json | \"$0\" update-program \"$1\" --phones-from - --json "
             "--check-timeout 300",
             orvex, imageTemplate});
    EXPECT_EQ(0, nUpdate);
    EXPECT_NE(std::string::npos,
              updateOut.find("\"ok\":true,\"outcome\":\"updating\",\"phone\":\"198.18.0.2\""))
        << updateOut;
    EXPECT_TRUE(pSim->WaitForOutput("finishing byte 0x81", 2000)) << pSim->Output();
    unlink(imageTemplate);
    pSim.reset();

    // Nobody answers: an empty array and status 1.
    const auto [nNone, noneOut] = run({orvex, "list", "--wait", "0.5", "--json"});
    EXPECT_EQ(1, nNone);
    EXPECT_EQ("[]\n", noneOut);
}
