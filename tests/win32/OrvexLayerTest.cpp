// orvex.exe's process and terminal layer on the real Win32 calls: workers
// through CreateProcess, their pipes, their stop event and the job object,
// the image handed over as a handle, a closed reader, the report file
// replaced in one step. The workers are this program started again.
#include "AtomicFile.h"
#include "Console.h"
#include "InputImage.h"
#include "OrvexLayerWorker.h"
#include "OutputQueue.h"
#include "WorkerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <io.h>
#include <iterator>
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;

// Every line the worker writes until it has written nLines or its output
// ends, waiting at most nMilliseconds in all.
std::vector<std::string> ReadLines(CWorkerProcess& worker, size_t nLines, int nMilliseconds,
                                   bool* pbEnded = nullptr) {
    CStopRequest stop;
    std::vector<std::string> lines;
    const auto end = Clock::now() + std::chrono::milliseconds(nMilliseconds);
    bool bOpen = true;
    while (bOpen && lines.size() < nLines && Clock::now() < end) {
        std::vector<bool> ready;
        CWorkerProcess::WaitAny({&worker}, stop, 200, &ready);
        if (ready[0])
            bOpen = worker.Read(&lines);
    }
    if (pbEnded != nullptr)
        *pbEnded = !bOpen;
    return lines;
}

std::string TempName(const char* pszStem) {
    char szFolder[MAX_PATH + 1];
    GetTempPathA(sizeof szFolder, szFolder);
    return std::string(szFolder) + pszStem + std::to_string(GetCurrentProcessId());
}

void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

TEST(OrvexLayerTest, Worker_StoppedThroughItsEvent_EndsItsOwnWayWithItsStatus) {
    auto pWorker = CWorkerProcess::Start({"worker", "lines"});
    ASSERT_TRUE(pWorker);
    EXPECT_EQ(ReadLines(*pWorker, 2, 10000), (std::vector<std::string>{"one", "two"}));
    pWorker->Stop();
    bool bEnded = false;
    EXPECT_EQ(ReadLines(*pWorker, 2, 10000, &bEnded), std::vector<std::string>{"stopped"});
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(pWorker->Wait(), " (status 3)");
}

TEST(OrvexLayerTest, Worker_Killed_OutputEndsAndItIsReaped) {
    auto pWorker = CWorkerProcess::Start({"worker", "hang"});
    ASSERT_TRUE(pWorker);
    ASSERT_EQ(ReadLines(*pWorker, 1, 10000).size(), 1u);
    pWorker->Kill();
    bool bEnded = false;
    EXPECT_TRUE(ReadLines(*pWorker, 1, 10000, &bEnded).empty());
    EXPECT_TRUE(bEnded);
    EXPECT_EQ(pWorker->Wait(), " (status 1)");
}

TEST(OrvexLayerTest, WorkerWait_StopEndsTheWaitAsATimeoutButAnAnswerCounts) {
    struct {
        const char* pszMode;
        const char* pszResult;
    } const cases[] = {{"wait", "timeout"}, {"answer", "answer"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszMode);
        auto pWorker = CWorkerProcess::Start({"worker", c.pszMode});
        ASSERT_TRUE(pWorker);
        ASSERT_EQ(ReadLines(*pWorker, 1, 10000), std::vector<std::string>{"waiting"});
        pWorker->Stop();
        const auto lines = ReadLines(*pWorker, 1, 15000);
        ASSERT_EQ(lines.size(), 1u);
        int nWaitMs = -1, nAllMs = -1;
        char szResult[16] = "";
        ASSERT_EQ(sscanf(lines[0].c_str(), "%15s %d %d", szResult, &nWaitMs, &nAllMs), 3);
        EXPECT_STREQ(szResult, c.pszResult);
        // Neither the 20 s wait nor the 20 s pause after it ran out.
        EXPECT_LT(nAllMs, 15000);
    }
}

TEST(OrvexLayerTest, Image_HandedOverAsAHandle_WorkerReadsTheBytesNobodyMayChange) {
    const std::string source = TempName("orvex-layer-src");
    WriteFileText(source, std::string("\x01\x02\xff", 3) + "fw");
    std::string tempPath;
    {
        CInputImage image;
        std::string error;
        ASSERT_TRUE(image.Read(source, false, &error)) << error;
        EXPECT_EQ(image.Length(), 5);
        // Changed after the read: nothing that is handed over changes.
        WriteFileText(source, "changed");
        tempPath = image.Path();
        ASSERT_FALSE(tempPath.empty());
        // Nobody else may write or delete the image while it is held.
        const HANDLE hWriter = CreateFileA(tempPath.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(hWriter, INVALID_HANDLE_VALUE);
        if (hWriter != INVALID_HANDLE_VALUE)
            CloseHandle(hWriter);
        EXPECT_FALSE(DeleteFileA(tempPath.c_str()));

        auto pWorker =
            CWorkerProcess::Start({"worker", "image", std::to_string(image.Fd())}, image.Fd());
        ASSERT_TRUE(pWorker);
        EXPECT_EQ(ReadLines(*pWorker, 1, 10000), std::vector<std::string>{"5 0102ff6677"});
        EXPECT_EQ(pWorker->Wait(), " (status 0)");
    }
    EXPECT_FALSE(Exists(tempPath)) << tempPath;
    DeleteFileA(source.c_str());
}

TEST(OrvexLayerTest, Image_RefusedInputs_OneLineReasonAsOnLinux) {
    const std::string empty = TempName("orvex-layer-empty");
    WriteFileText(empty, "");
    char szFolder[MAX_PATH + 1];
    GetTempPathA(sizeof szFolder, szFolder);
    const std::string missing = TempName("orvex-layer-missing");
    struct {
        std::string path;
        std::string error;
    } const cases[] = {{empty, empty + ": is empty"},
                       {szFolder, std::string(szFolder) + ": is a folder, not a file"},
                       {missing, missing + ": No such file or directory"}};
    for (const auto& c : cases) {
        CInputImage image;
        std::string error;
        EXPECT_FALSE(image.Read(c.path, false, &error));
        EXPECT_EQ(error, c.error);
    }
    DeleteFileA(empty.c_str());
}

TEST(OrvexLayerTest, JobObject_ParentKilled_ItsWorkersEndWithIt) {
    auto pParent = CWorkerProcess::Start({"worker", "spawn"});
    ASSERT_TRUE(pParent);
    const auto lines = ReadLines(*pParent, 1, 10000);
    ASSERT_EQ(lines.size(), 1u);
    DWORD dwPid = 0;
    ASSERT_EQ(sscanf(lines[0].c_str(), "pid %lu", &dwPid), 1) << lines[0];
    const HANDLE hGrandchild = OpenProcess(SYNCHRONIZE, FALSE, dwPid);
    ASSERT_NE(hGrandchild, nullptr);
    pParent->Kill();
    pParent->Wait();
    EXPECT_EQ(WaitForSingleObject(hGrandchild, 10000), WAIT_OBJECT_0);
    CloseHandle(hGrandchild);
}

TEST(OrvexLayerTest, ClosedReader_WriteFailsAndTheQueueSaysSoOnce) {
    HANDLE hRead = nullptr;
    HANDLE hWrite = nullptr;
    ASSERT_TRUE(CreatePipe(&hRead, &hWrite, nullptr, 0));
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(hWrite), _O_WRONLY);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(WriteAllTo(fd, "live\n", 5));
    CloseHandle(hRead);
    EXPECT_FALSE(WriteAllTo(fd, "gone\n", 5));
    {
        COutputQueue queue(fd, nullptr);
        queue.Add("start\n");
        queue.Finish();
        EXPECT_TRUE(queue.Closed());
    }
    _close(fd);
}

TEST(OrvexLayerTest, AtomicFile_ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    const std::string path = TempName("orvex-layer-report") + ".json";
    WriteFileText(path, "yesterday");
    {
        CAtomicFile file(path);
        std::string reason;
        ASSERT_TRUE(file.Open(&reason)) << reason;
        // Until it is committed the old report stays as it was.
        EXPECT_EQ(ReadFileText(path), "yesterday");
        ASSERT_TRUE(file.Commit("[\n]\n", &reason)) << reason;
    }
    EXPECT_EQ(ReadFileText(path), "[\n]\n");
    {
        CAtomicFile file(path);
        std::string reason;
        ASSERT_TRUE(file.Open(&reason)) << reason;
    } // never committed: the old file stays, the temporary file goes
    EXPECT_EQ(ReadFileText(path), "[\n]\n");
    WIN32_FIND_DATAA found;
    const HANDLE hFind = FindFirstFileA((path + ".*.tmp").c_str(), &found);
    EXPECT_EQ(hFind, INVALID_HANDLE_VALUE) << found.cFileName;
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
    DeleteFileA(path.c_str());

    CAtomicFile nowhere(TempName("orvex-layer-no-folder") + "\\report.csv");
    std::string reason;
    EXPECT_FALSE(nowhere.Open(&reason));
    EXPECT_EQ(reason, "No such file or directory");
}

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "worker") == 0)
        return RunLayerTestWorker(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
