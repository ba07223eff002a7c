// Update Program of update/, built for Windows unchanged, under Wine: the
// file, the padded blocks and the finishing byte go to the Linux phone
// simulator, which keeps taking connections (scripts/test-windows.sh starts
// it with --update-busy-ms 0), so the post-update check finds it and says
// the method was wrong. The profile lives below a test key of its own.
#include "FirmwareUpdate.h"
#include "LinkEvents.h"
#include "Profile.h"
#include "ScriptedSeams.h"
#include "SocketApi.h"
#include "WinSock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The progress operations, as texts in order.
class CProgressLog : public IProgress {
public:
    std::vector<std::string> statusTexts;
    int nSteps = 0;
    BOOL Create() override { return TRUE; }
    void SetStep(int) override {}
    void SetRange(int, int) override {}
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
    int StepIt() override { return nSteps++; }
    BOOL DestroyWindow() override { return TRUE; }
};

class UpdateWineTest : public testing::Test {
protected:
    void SetUp() override {
        const char* pszSim = std::getenv("ORVEX_SIM_ADDRESS");
        if (pszSim == nullptr)
            GTEST_SKIP() << "no phone simulator (scripts/test-windows.sh starts one)";
        ASSERT_TRUE(WinSock2Init());
        SetProfileFolder("Software\\OrvexUpdateTests");
        WriteProfileInt("Peer", "IPAddress", static_cast<int>(ntohl(InetAddr(pszSim))));
        CreateLinkEvents();
    }
    void TearDown() override {
        if (IsSkipped())
            return;
        CloseLinkEvents();
        SetProfileFolder("");
        WinSock2Free();
    }
};

} // namespace

TEST_F(UpdateWineTest, UpdateProgram_300Bytes_SentPaddedTo512Then81_InvalidMethodWhenPhoneStaysUp) {
    std::vector<char> image(300);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 13 + 1);
    const std::string path = testing::TempDir() + "orvex-fw-" + std::to_string(rand()) + ".bin";
    std::ofstream(path, std::ios::binary).write(image.data(), image.size());

    CScriptedSeams seams;
    seams.QueueFile(path);
    CProgressLog progress;
    CRj45Thread* pThread = nullptr;
    DWORD dwThreadId = 0;
    CFirmwareUpdate update(progress, pThread, dwThreadId);
    EXPECT_EQ(update.UpdateProgram(), EUpdateOutcome::InvalidMethod);
    std::remove(path.c_str());

    std::string expected(image.begin(), image.end());
    expected.resize(512, '\xFF');
    expected += '\x81';
    const char* pszSaved = std::getenv("ORVEX_SIM_SAVE");
    ASSERT_NE(pszSaved, nullptr);
    std::ifstream saved(pszSaved, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(saved), {}) == expected)
        << "the phone got the image padded to whole blocks, then the finishing byte";
    std::vector<std::string> loading;
    for (const std::string& text : progress.statusTexts)
        if (text.rfind("Loading data", 0) == 0)
            loading.push_back(text);
    EXPECT_EQ(loading, (std::vector<std::string>{"Loading data 0", "Loading data 128",
                                                 "Loading data 256", "Loading data 384"}));
    ASSERT_EQ(seams.Messages().size(), 1u);
    EXPECT_EQ(seams.Messages()[0].text, "Invalid update method");
    EXPECT_EQ(pThread, nullptr);
}
