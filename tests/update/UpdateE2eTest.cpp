// Update Program and Update PFlash from the main dialog against the phone
// simulator on a loopback address of each test's own.
#include "Event.h"
#include "FirmwareUpdate.h"
#include "HexText.h"
#include "LinkEvents.h"
#include "MainDlg.h"
#include "PhoneSim.h"
#include "Profile.h"
#include "ScriptedSeams.h"
#include "TempProfile.h"
#include "WorkerThread.h"

#include <QApplication>
#include <QProgressBar>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char kUpdating[] = "Updating ... please wait until the update led stop on and off";

// The scripted seams, plus what the progress dialog shows at the two
// moments the procedures hand over to the seams: each block's wait for its
// ack, and each sector's pause.
class CProgressRecorder : public CScriptedSeams {
public:
    explicit CProgressRecorder(CMainDlg* pDlg) : m_pDlg(pDlg) {}

    DWORD Timeout(DWORD dwMilliseconds) override {
        if (dwMilliseconds == 10000 && OnGuiThread() && m_pDlg && m_pDlg->m_ProgressDlg.HasWindow())
            m_blockTexts.push_back(m_pDlg->m_ProgressDlg.GetDlgItemText(1006));
        return CScriptedSeams::Timeout(dwMilliseconds);
    }
    void Sleep(DWORD dwMilliseconds) override {
        if (m_fnOnSleep)
            m_fnOnSleep();
        if (dwMilliseconds == 5000 && OnGuiThread() && m_pDlg &&
            m_pDlg->m_ProgressDlg.HasWindow()) {
            CProgressDlg& progress = m_pDlg->m_ProgressDlg;
            auto* pBar = qobject_cast<QProgressBar*>(progress.GetDlgItem(1002));
            m_pauses.push_back({progress.GetDlgItemText(1006), progress.GetDlgItemText(1004),
                                pBar != nullptr && pBar->value() == pBar->maximum()});
        }
        CScriptedSeams::Sleep(dwMilliseconds);
    }

    struct CPause {
        std::string status;
        std::string percent;
        bool bBarFull;
    };
    void OnSleep(std::function<void()> fn) { m_fnOnSleep = std::move(fn); }

    std::vector<std::string> m_blockTexts;
    std::vector<CPause> m_pauses;

private:
    static bool OnGuiThread() { return QThread::currentThread() == qApp->thread(); }
    CMainDlg* m_pDlg;
    std::function<void()> m_fnOnSleep;
};

std::vector<BYTE> Pattern(size_t n) {
    std::vector<BYTE> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<BYTE>(i * 13 + 7);
    return v;
}

std::vector<BYTE> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

void WriteAll(const fs::path& path, const std::vector<BYTE>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string HexRecord(int nAddress, const std::vector<BYTE>& data) {
    return HexRecordLine(nAddress, data) + "\r\n";
}

// One test's world: a profile of its own pointing at its own address, a
// folder for files, the simulator and the main dialog.
class CUpdateE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getenv("PHONE_SIM"), nullptr);
        CreateLinkEvents();
        m_dir = m_profile.Folder() + "/files";
        fs::create_directories(m_dir);
        m_savePath = m_dir / "received.bin";
    }
    void TearDown() override {
        m_pDlg.reset();
        m_pSim.reset();
        CloseLinkEvents();
    }

    // nLast: this test's address is 127.0.0.nLast.
    void StartPhone(int nLast, std::vector<std::string> options) {
        // The address goes to the profile first: the dialog must never fall
        // back to the default phone, even when the simulator fails to start.
        WriteProfileInt("Peer", "IPAddress",
                        static_cast<int>(0x7F000000u | static_cast<unsigned>(nLast)));
        m_address = "127.0.0." + std::to_string(nLast);
        options.insert(options.end(), {"--save", m_savePath.string()});
        m_pSim = StartPhoneSimOn(m_address, options);
        ASSERT_TRUE(m_pSim) << "no simulator on " << m_address;
    }
    // The dialog loads the profile as it opens: write it first.
    void OpenDialog() {
        m_pDlg = std::make_unique<CMainDlg>();
        ASSERT_TRUE(m_pDlg->Create(nullptr));
        m_pSeams = std::make_unique<CProgressRecorder>(m_pDlg.get());
    }
    // What the phone saved, once it has said so.
    // The simulator makes its file empty as it starts.
    bool NothingReceived() {
        return !m_pSim->WaitForOutput("phone-sim: received", 300) && ReadAll(m_savePath).empty();
    }
    std::vector<BYTE> Received() {
        m_pSim->WaitForOutput("phone-sim: received", 1000);
        return ReadAll(m_savePath);
    }

    CTempProfile m_profile;
    fs::path m_dir;
    fs::path m_savePath;
    std::string m_address;
    std::unique_ptr<CChildProcess> m_pSim;
    std::unique_ptr<CMainDlg> m_pDlg;
    std::unique_ptr<CProgressRecorder> m_pSeams;
};

// The post-update check waits its full 4000 ms here.
TEST_F(CUpdateE2eTest, UpdateProgram_300Bytes_SentPaddedTo512Then81_UpdatingWhenPhoneRefuses) {
    ASSERT_NO_FATAL_FAILURE(StartPhone(60, {"--update-busy-ms", "8000"}));
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    const std::vector<BYTE> image = Pattern(300);
    WriteAll(m_dir / "fw.bin", image);
    m_pSeams->QueueFile((m_dir / "fw.bin").string());

    m_pDlg->OnUpdateProgram();

    std::vector<BYTE> expected = image;
    expected.resize(512, 0xFF);
    expected.push_back(0x81);
    EXPECT_EQ(Received(), expected) << m_pSim->Output();
    EXPECT_EQ(m_pSeams->m_blockTexts,
              (std::vector<std::string>{"Loading data 0", "Loading data 128", "Loading data 256",
                                        "Loading data 384"}));
    ASSERT_EQ(m_pSeams->Messages().size(), 1u);
    EXPECT_EQ(m_pSeams->Messages()[0].text, kUpdating);
    EXPECT_EQ(m_pSeams->Messages()[0].nType, MB_OK | MB_ICONINFORMATION);
    // The connect, each block's ack and the post-update check wait as long
    // as a phone needs; a shorter check would call a slow phone updated.
    EXPECT_EQ(m_pSeams->Timeouts(), (std::vector<DWORD>{2000, 10000, 4000}));
    EXPECT_EQ(m_pSeams->Sleeps(), std::vector<DWORD>{500});

    ASSERT_EQ(m_pSeams->FileRequests().size(), 1u);
    const COpenFileRequest request = m_pSeams->FileRequests()[0];
    EXPECT_EQ(request.initialName, "demo.bin");
    EXPECT_EQ(request.defaultExt, "*.bin");
    EXPECT_EQ(request.filter, "Binary files (*.bin)|*.bin|All files (*.*)|*.*||");
    EXPECT_EQ(request.flags, 0x1800u);
    EXPECT_FALSE(m_pDlg->m_ProgressDlg.HasWindow());
    EXPECT_EQ(m_pDlg->m_pRj45Thread, nullptr);
    EXPECT_EQ(m_pDlg->m_dwRj45ThreadId, 0u);
}

// A front end stopped just after the phone's nth answer (the connect is the
// first): the stop falls between an answer and the next post, where no wait
// is in progress to end.
class CStopAfterAnswers : public CProgressRecorder {
public:
    CStopAfterAnswers(CMainDlg* pDlg, int nAnswers) : CProgressRecorder(pDlg), m_nLeft(nAnswers) {}
    DWORD WaitForAnswer(HEVENT hEvent, DWORD dwMilliseconds) override {
        const DWORD dwResult = CProgressRecorder::WaitForAnswer(hEvent, dwMilliseconds);
        if (dwResult == WAIT_OBJECT_0 && --m_nLeft == 0)
            m_bStopped = true;
        return dwResult;
    }
    bool Stopped() override { return m_bStopped; }

private:
    int m_nLeft;
    std::atomic<bool> m_bStopped{false};
};

TEST_F(CUpdateE2eTest, UpdateProgram_StoppedBetweenTwoBlocks_SendsNothingMore) {
    ASSERT_NO_FATAL_FAILURE(StartPhone(62, {}));
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    m_pSeams.reset();
    // Stopped once the second block is answered.
    m_pSeams = std::make_unique<CStopAfterAnswers>(m_pDlg.get(), 3);
    m_pSeams->MapTimeout(10000, 1000);
    const std::vector<BYTE> image = Pattern(512);
    WriteAll(m_dir / "fw.bin", image);
    m_pSeams->QueueFile((m_dir / "fw.bin").string());

    m_pDlg->OnUpdateProgram();

    EXPECT_EQ(m_pSeams->Texts(), std::vector<std::string>{"tcp connection failed"});
    // Whatever was on its way has arrived by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ReadAll(m_savePath), std::vector<BYTE>(image.begin(), image.begin() + 256));
    EXPECT_EQ(m_pDlg->m_pRj45Thread, nullptr);
}

// The image went out whole and was acknowledged, but no thread can be had
// for the post-update check: nothing says the phone is updating, so the user
// is told the check could not connect.
TEST_F(CUpdateE2eTest, UpdateProgram_CheckThreadCannotStart_CanNotConnectNotUpdating) {
    ASSERT_NO_FATAL_FAILURE(StartPhone(61, {"--update-busy-ms", "8000"}));
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    m_pSeams->MapTimeout(4000, 500);
    const std::vector<BYTE> image = Pattern(200);
    WriteAll(m_dir / "fw.bin", image);
    m_pSeams->QueueFile((m_dir / "fw.bin").string());
    // The upload's link gets its thread; the check's does not.
    int nCreated = 0;
    CWorkerThread::SetCreateHook([&nCreated] { return ++nCreated < 2; });
    m_pDlg->OnUpdateProgram();
    CWorkerThread::SetCreateHook({});

    EXPECT_EQ(nCreated, 2);
    std::vector<BYTE> expected = image;
    expected.resize(256, 0xFF);
    expected.push_back(0x81);
    EXPECT_EQ(Received(), expected) << m_pSim->Output();
    EXPECT_EQ(m_pSeams->Texts(), std::vector<std::string>{"Can not connect to Quill1"});
    EXPECT_EQ(m_pDlg->m_pRj45Thread, nullptr);
    EXPECT_EQ(m_pDlg->m_dwRj45ThreadId, 0u);
}

// What the phone receives and what the user is told, command by command.
// Every wait is shortened; the tests around this one run each for real.
TEST_F(CUpdateE2eTest, Commands_PhoneAndFileCases_TellTheUserAndSendWhatTheyShould) {
    struct CCase {
        const char* name;
        std::vector<std::string> phone;
        int nCommType;
        bool bPFlash;
        // Writes the files and gives the ones chosen, one per run of the command.
        std::function<std::vector<fs::path>(const fs::path&)> choose;
        std::vector<int> answers;
        std::vector<std::string> texts;
        std::vector<BYTE> received; // empty: no connection sent anything
    };
    auto withByte = [](std::vector<BYTE> v, BYTE b) {
        v.push_back(b);
        return v;
    };
    auto file = [](const char* name, std::vector<BYTE> bytes) {
        return [=](const fs::path& dir) {
            WriteAll(dir / name, bytes);
            return std::vector<fs::path>{dir / name};
        };
    };
    auto hexFile = [](const char* name, std::string text) {
        return [=](const fs::path& dir) {
            WriteAll(dir / name, text);
            return std::vector<fs::path>{dir / name, dir / "missing_page0.hex"};
        };
    };
    const std::vector<BYTE> image = Pattern(1024);
    const std::vector<CCase> cases = {
        {"phone keeps accepting",
         {"--update-busy-ms", "0"},
         1,
         false,
         file("fw.bin", image),
         {},
         {"Invalid update method"},
         withByte(image, 0x81)},
        {"empty file",
         {"--update-busy-ms", "5000"},
         1,
         false,
         file("empty.bin", {}),
         {},
         {kUpdating},
         {0x81}},
        {"phone stops after block 2",
         {"--stop-after", "2", "--update-busy-ms", "0"},
         1,
         false,
         file("fw.bin", image),
         {},
         {"tcp connection failed"},
         std::vector<BYTE>(image.begin(), image.begin() + 3 * 128)},
        {"phone refuses",
         {"--refuse"},
         1,
         false,
         file("fw.bin", Pattern(300)),
         {},
         {"Can not connect to Quill1"},
         {}},
        {"connection type not TCP/IP, checked before the file is opened",
         {},
         2,
         false,
         [](const fs::path& dir) { return std::vector<fs::path>{dir / "missing.bin"}; },
         {},
         {"Only Tcpip connection can be used for this function"},
         {}},
        {"unusable program files",
         {},
         1,
         false,
         [](const fs::path& dir) {
             // Rounded up, this length no longer fits a signed 32-bit count.
             WriteAll(dir / "huge.bin", std::vector<BYTE>{});
             fs::resize_file(dir / "huge.bin", 0x7FFFFF01);
             // A folder opens but gives no bytes.
             return std::vector<fs::path>{dir / "huge.bin", dir / "missing.bin", dir};
         },
         {},
         {"Can not malloc memory", "Can not open source file", "Can not open source file"},
         {}},
        {"flash page with another name, answered No",
         {},
         1,
         true,
         file("demo.hex", std::vector<BYTE>{}),
         {IDNO},
         {"Are you sure about flash page?"},
         {}},
        {"flash page with nothing to send, then a missing one",
         {},
         1,
         true,
         hexFile("page0.hex", ":00000001FF\r\n" + HexRecord(0, Pattern(16))),
         {},
         {"Error Hex file to upgrade Quill1", "can not open hex file",
          "Error Hex file to upgrade Quill1"},
         {}},
    };
    int nLast = 80;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_pSeams.reset();
        m_pDlg.reset();
        m_pSim.reset();
        m_savePath = m_dir / (std::to_string(nLast) + ".received");
        ASSERT_NO_FATAL_FAILURE(StartPhone(nLast++, c.phone));
        WriteProfileInt("Comm", "Type", c.nCommType);
        ASSERT_NO_FATAL_FAILURE(OpenDialog());
        m_pSeams->MapTimeout(2000, 300);
        m_pSeams->MapTimeout(10000, 800);
        m_pSeams->MapTimeout(4000, 1000);
        for (int nButton : c.answers)
            m_pSeams->QueueAnswer(nButton);
        const std::vector<fs::path> chosen = c.choose(m_dir);
        for (const fs::path& path : chosen)
            m_pSeams->QueueFile(path.string());

        for (size_t i = 0; i < chosen.size(); ++i)
            c.bPFlash ? m_pDlg->OnUpdatePFlash() : m_pDlg->OnUpdateProgram();

        EXPECT_EQ(m_pSeams->Texts(), c.texts);
        if (c.received.empty())
            EXPECT_TRUE(NothingReceived()) << m_pSim->Output();
        else
            EXPECT_EQ(Received(), c.received) << m_pSim->Output();
        EXPECT_EQ(m_pDlg->m_pRj45Thread, nullptr);
        EXPECT_EQ(m_pDlg->m_dwRj45ThreadId, 0u);
        EXPECT_FALSE(m_pDlg->m_ProgressDlg.HasWindow());
        // The chosen file is offered again next time, whatever happened.
        const std::vector<COpenFileRequest> requests = m_pSeams->FileRequests();
        for (size_t i = 1; i < requests.size(); ++i)
            EXPECT_EQ(requests[i].initialName, chosen[i - 1].string());
        EXPECT_EQ(GetProfileString(c.bPFlash ? "PFlashUpdate" : "ProgramUpdate", "SrcName", ""),
                  chosen.back().string());
    }
}

// A sysfs file claims a page of length and delivers a few bytes: none of
// them may go out as if it were the whole image.
TEST_F(CUpdateE2eTest, UpdateProgram_FileDeliversLessThanItsLength_CanNotOpenAndSendsNothing) {
    const fs::path shortFile = "/sys/devices/system/cpu/online";
    std::error_code ec;
    if (fs::file_size(shortFile, ec) != 4096 || ec)
        GTEST_SKIP() << shortFile << " is not here to read";
    ASSERT_NO_FATAL_FAILURE(StartPhone(72, {}));
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    m_pSeams->QueueFile(shortFile.string());

    m_pDlg->OnUpdateProgram();

    EXPECT_EQ(m_pSeams->Texts(), std::vector<std::string>{"Can not open source file"});
    EXPECT_TRUE(NothingReceived()) << m_pSim->Output();
}

// The block ack wait runs its full 10000 ms: two acks glued together are none.
TEST_F(CUpdateE2eTest, UpdateProgram_DoubleAck_TcpConnectionFailedAfterTenSeconds) {
    ASSERT_NO_FATAL_FAILURE(StartPhone(63, {"--double-ack"}));
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    WriteAll(m_dir / "fw.bin", Pattern(256));
    m_pSeams->QueueFile((m_dir / "fw.bin").string());

    const auto start = std::chrono::steady_clock::now();
    m_pDlg->OnUpdateProgram();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(m_pSeams->Texts(), std::vector<std::string>{"tcp connection failed"});
    EXPECT_EQ(Received(), std::vector<BYTE>(Pattern(128)));
    EXPECT_GE(elapsed, std::chrono::milliseconds(10000));
}

// The sector pause runs its full 5000 ms here.
TEST_F(CUpdateE2eTest, UpdatePFlash_Page0_SentWith00ThenEraseSector0WithFullBarAndNoMessage) {
    ASSERT_NO_FATAL_FAILURE(StartPhone(69, {}));
    WriteProfileInt("Comm", "Type", 2); // Update PFlash does not ask for TCP/IP
    ASSERT_NO_FATAL_FAILURE(OpenDialog());
    const std::vector<BYTE> first = Pattern(16);
    const std::vector<BYTE> second(16, 0x3C);
    // The second record overlaps the first's tail and ends past it.
    WriteAll(m_dir / "page0.hex",
             HexRecord(0x00F0, first) + HexRecord(0x00F8, second) + ":00000001FF\r\n");
    m_pSeams->QueueFile((m_dir / "page0.hex").string());

    const auto start = std::chrono::steady_clock::now();
    m_pDlg->OnUpdatePFlash();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    std::vector<BYTE> expected(512, 0xFF);
    std::copy(first.begin(), first.end(), expected.begin() + 0xF0);
    std::copy(second.begin(), second.end(), expected.begin() + 0xF8);
    expected.push_back(0x00);
    EXPECT_EQ(Received(), expected) << m_pSim->Output();
    EXPECT_EQ(m_pSeams->m_blockTexts.size(), 4u);
    EXPECT_TRUE(m_pSeams->Messages().empty());
    ASSERT_EQ(m_pSeams->m_pauses.size(), 1u);
    EXPECT_EQ(m_pSeams->m_pauses[0].status, "Erase sector 0");
    EXPECT_EQ(m_pSeams->m_pauses[0].percent, "100%");
    EXPECT_TRUE(m_pSeams->m_pauses[0].bBarFull);
    EXPECT_GE(elapsed, std::chrono::milliseconds(5000));
    EXPECT_FALSE(m_pDlg->m_ProgressDlg.HasWindow());

    ASSERT_EQ(m_pSeams->FileRequests().size(), 1u);
    const COpenFileRequest request = m_pSeams->FileRequests()[0];
    EXPECT_EQ(request.initialName, "demo.hex");
    EXPECT_EQ(request.defaultExt, "*.hex");
    EXPECT_EQ(request.filter, "MCS51 hex files (*.hex)|*.hex|All files (*.*)|*.*||");
    EXPECT_EQ(request.flags, 0x1800u);
}

// A progress sink that counts steps and can give a stray signal of the link
// just before a block is posted, as a late second ack would.
class CStrayProgress : public IProgress {
public:
    BOOL Create() override { return TRUE; }
    void SetStep(int) override {}
    void SetRange(int, int) override {}
    void SetStatusText(const std::string&) override {
        if (m_bStrayAck)
            SetEvent(g_hLinkAckEvent);
    }
    int StepIt() override { return m_nSteps++; }
    BOOL DestroyWindow() override { return TRUE; }
    bool m_bStrayAck = false;
    int m_nSteps = 0;
};

// A signal left over from an earlier connect, a stray ack or a late ack of
// the finishing byte never answers the wait that comes after it.
TEST_F(CUpdateE2eTest, UpdateProgram_StraySignalBeforeAWait_DoesNotAnswerIt) {
    enum EWhen { BeforeConnect, BeforeEachBlock, BeforeCheck };
    struct CCase {
        const char* name;
        std::vector<std::string> phone;
        EWhen when;
        std::vector<std::string> texts;
        size_t nReceived;
    };
    const std::vector<CCase> cases = {
        {"connect", {"--refuse"}, BeforeConnect, {"Can not connect to Quill1"}, 0},
        {"block", {"--silent"}, BeforeEachBlock, {"tcp connection failed"}, 128},
        {"post-update check", {"--update-busy-ms", "8000"}, BeforeCheck, {kUpdating}, 257},
    };
    int nLast = 100;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_pSim.reset();
        m_savePath = m_dir / (std::to_string(nLast) + ".received");
        ASSERT_NO_FATAL_FAILURE(StartPhone(nLast++, c.phone));
        CProgressRecorder seams(nullptr);
        seams.MapTimeout(2000, 300);
        seams.MapTimeout(10000, 500);
        seams.MapTimeout(4000, 1000);
        if (c.when == BeforeCheck)
            seams.OnSleep([] { SetEvent(g_hLinkAckEvent); });
        WriteAll(m_dir / "fw.bin", Pattern(256));
        seams.QueueFile((m_dir / "fw.bin").string());
        CStrayProgress progress;
        progress.m_bStrayAck = c.when == BeforeEachBlock;
        CRj45Thread* pThread = nullptr;
        DWORD dwThreadId = 0;
        CFirmwareUpdate update(progress, pThread, dwThreadId);
        if (c.when == BeforeConnect)
            SetEvent(g_hLinkAckEvent);

        update.UpdateProgram();

        EXPECT_EQ(seams.Texts(), c.texts);
        if (c.nReceived == 0)
            EXPECT_TRUE(NothingReceived()) << m_pSim->Output();
        else
            EXPECT_EQ(Received().size(), c.nReceived) << m_pSim->Output();
        EXPECT_EQ(pThread, nullptr);
    }
}

} // namespace
