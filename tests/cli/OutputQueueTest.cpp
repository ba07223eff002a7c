// orvex's output classes on real pipes: a reader that stalls never holds up
// the caller, progress coalesces while nothing else is lost, and lines are
// cut to a terminal's columns.
#include "OutputQueue.h"
#include "TextTable.h"
#include "TextWidth.h"
#include "WorkerOutput.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <sstream>
#include <unistd.h>

namespace {

// A pipe whose buffer is full, as behind a reader that has stopped reading:
// the next write blocks.
class CFullPipe {
public:
    CFullPipe() {
        EXPECT_EQ(0, pipe2(m_fds, O_CLOEXEC));
        const int nFlags = fcntl(m_fds[1], F_GETFL);
        fcntl(m_fds[1], F_SETFL, nFlags | O_NONBLOCK);
        const std::string filler(4096, '#');
        ssize_t n;
        while ((n = write(m_fds[1], filler.data(), filler.size())) > 0 || (n < 0 && errno == EINTR))
            m_nFiller += n > 0 ? static_cast<size_t>(n) : 0;
        while ((n = write(m_fds[1], filler.data(), 1)) > 0)
            m_nFiller += 1;
        fcntl(m_fds[1], F_SETFL, nFlags);
    }
    ~CFullPipe() {
        CloseWriteEnd();
        close(m_fds[0]);
    }
    int WriteEnd() const { return m_fds[1]; }
    void CloseWriteEnd() {
        if (m_fds[1] >= 0)
            close(m_fds[1]);
        m_fds[1] = -1;
    }
    // Everything that came after the filler, up to the end of the pipe.
    std::string ReadToEnd() {
        std::string all;
        char buf[4096];
        ssize_t n;
        while ((n = read(m_fds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
            all.append(buf, n > 0 ? static_cast<size_t>(n) : 0);
        return all.size() >= m_nFiller ? all.substr(m_nFiller) : std::string();
    }

private:
    int m_fds[2] = {-1, -1};
    size_t m_nFiller = 0;
};

std::string Field(const std::string& line, const char* pszKey) {
    const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    return event.value(pszKey).toVariant().toString().toStdString();
}

} // namespace

TEST(TextWidthTest, FitToWidth_CountsColumnsNotBytes) {
    struct CCase {
        std::string text;
        size_t nColumns;
        std::string fitted;
        size_t nWidth; // of the text as given
    };
    const std::vector<CCase> cases = {
        {"127.0.0.1", 20, "127.0.0.1", 9},
        {"abcdefgh", 8, "abcdefgh", 8},
        {"abcdefgh", 5, "abcd\xE2\x80\xA6", 8},
        {"abcdefgh", 1, "\xE2\x80\xA6", 8},
        {"abcdefgh", 0, "", 8},
        {"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4", 3, "\xC3\xA4\xC3\xA4\xE2\x80\xA6", 4},
        {"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4", 4, "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4", 4},
        // Two columns a character.
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 5, "\xE6\x97\xA5\xE6\x9C\xAC\xE2\x80\xA6", 6},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 4, "\xE6\x97\xA5\xE2\x80\xA6", 6},
        // A combining mark takes no column of its own.
        {"e\xCC\x81x", 2, "e\xCC\x81x", 2},
        {"a\tb\r\n", 10, "a b  ", 5},
        {"a\xFF"
         "b",
         10, "a?b", 3},
        {"\xE2\x80", 10, "??", 2}, // a sequence cut short
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " in " + std::to_string(c.nColumns));
        EXPECT_EQ(c.fitted, FitToWidth(c.text, c.nColumns));
        EXPECT_EQ(c.nWidth, DisplayWidth(c.text));
        EXPECT_LE(DisplayWidth(FitToWidth(c.text, c.nColumns)), c.nColumns);
    }
}

TEST(TextWidthTest, FormatTextTable_LastColumnGivesWayToTheWidth) {
    const std::vector<TextRow> rows = {
        {"Phone", "Message"}, {"127.0.0.1", "Updating ... please wait"}, {"10.0.0.2", "ok"}};
    EXPECT_EQ((std::vector<std::string>{"Phone      Message", "127.0.0.1  Updating ... please wait",
                                        "10.0.0.2   ok"}),
              FormatTextTable(rows));
    EXPECT_EQ((std::vector<std::string>{"Phone      Message", "127.0.0.1  Updating\xE2\x80\xA6",
                                        "10.0.0.2   ok"}),
              FormatTextTable(rows, 20));
}

TEST(OutputQueueTest, StalledReader_CallerGoesOnProgressCoalescesNothingElseLost) {
    CFullPipe pipe;
    auto pQueue = std::make_unique<COutputQueue>(pipe.WriteEnd(), nullptr);
    pQueue->Add("start 1\n"); // the writer waits in write() with this line
    pQueue->AddProgress(1, "progress 1 a\n");
    pQueue->Add("start 2\n");
    pQueue->AddProgress(2, "progress 2 a\n");
    pQueue->AddProgress(1, "progress 1 b\n");
    pQueue->Add("done 2\n");
    pQueue->AddProgress(1, "progress 1 c\n");
    pQueue->Add("done 1\n");
    EXPECT_FALSE(pQueue->Idle());

    auto finished = std::async(std::launch::async, [&] {
        pQueue->Finish();
        pipe.CloseWriteEnd();
    });
    EXPECT_EQ("start 1\nstart 2\nprogress 2 a\ndone 2\nprogress 1 c\ndone 1\n", pipe.ReadToEnd());
    finished.wait();
    EXPECT_TRUE(pQueue->Idle());
    EXPECT_FALSE(pQueue->Closed());
}

TEST(OutputQueueTest, ReaderGone_ClosedAndNothingWaits) {
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
    close(fds[0]);
    struct sigaction ignore {};
    struct sigaction old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old);
    {
        COutputQueue queue(fds[1], nullptr);
        queue.Add("lost\n");
        queue.Finish();
        EXPECT_TRUE(queue.Closed());
        queue.AddProgress(1, "after\n");
        queue.Add("after\n");
        EXPECT_TRUE(queue.Idle());
    }
    sigaction(SIGPIPE, &old, nullptr);
    close(fds[1]);
}

TEST(WorkerOutputTest, ParentNotReading_ReportsNeverBlockTheProcedure) {
    CFullPipe pipe;
    FILE* pOut = fdopen(dup(pipe.WriteEnd()), "w");
    ASSERT_NE(nullptr, pOut);
    pipe.CloseWriteEnd();
    std::promise<void> reported;
    auto worker = std::async(std::launch::async, [&] {
        {
            CWorkerOutput output(pOut);
            output.State("connecting");
            output.State("sending");
            for (int i = 1; i <= 1000; ++i)
                output.Progress(i * 128, 128000, i / 100.0);
            output.State("finishing");
            output.Done("updating", "Updating", 128000, true);
            reported.set_value();
        } // the outcome is written before the worker ends
        fclose(pOut);
    });
    const bool bReported =
        reported.get_future().wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    EXPECT_TRUE(bReported) << "a report waited for the parent";
    std::istringstream lines(pipe.ReadToEnd());
    worker.wait();
    std::vector<std::string> seen;
    std::string line;
    while (std::getline(lines, line))
        seen.push_back(Field(line, "event") + " " + Field(line, "state") + Field(line, "bytes") +
                       Field(line, "outcome"));
    EXPECT_EQ((std::vector<std::string>{"state connecting", "state sending", "progress 128000",
                                        "state finishing", "done 128000updating"}),
              seen);
}
