// orvex's live display in a real pseudo-terminal (tmux with a set size):
// forty phones at 80x24, then the terminal made smaller (45x12) while they
// run.
// Every line fits the width, the live area keeps to the rows, and a phone
// that ends prints its line once, above that area.
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kUpdatingLine[] = "updating: Updating ... please wait until the update led stop on "
                             "and off";
const char kRefusedLine[] = "failed: Can not connect to Quill1";
const char kEllipsis[] = "\xE2\x80\xA6";

// Columns of a line as the terminal shows it: one a character here.
size_t Columns(const std::string& line) {
    size_t n = 0;
    for (char ch : line)
        n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return n;
}

std::string Address(int n) {
    return "127.0.7." + std::to_string(n);
}

// The processes pid has started that still run.
std::vector<int> Children(int pid) {
    std::istringstream text(
        ReadAll("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children"));
    std::vector<int> children;
    int child = 0;
    while (text >> child)
        children.push_back(child);
    return children;
}

// A tmux server of this test's own, one session of a set size.
class CTmux {
public:
    CTmux() : m_socket("orvex-test-" + std::to_string(getpid())) {}
    ~CTmux() { Run({"kill-server"}); }
    std::string Run(std::vector<std::string> args) const {
        args.insert(args.begin(), {"tmux", "-L", m_socket, "-f", "/dev/null"});
        auto pTmux = CChildProcess::Start(args);
        if (!pTmux)
            return "";
        pTmux->Wait(10000);
        return pTmux->Output();
    }
    // The screen (or with bHistory all that scrolled off it too), wrapped
    // rows joined, so a line that wrapped shows as wider than the terminal.
    std::vector<std::string> Capture(bool bHistory = false) const {
        std::vector<std::string> args{"capture-pane", "-p", "-J", "-t", "t"};
        if (bHistory)
            args.insert(args.end(), {"-S", "-", "-E", "-"});
        std::istringstream text(Run(args));
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(text, line)) {
            line.erase(line.find_last_not_of(' ') + 1);
            lines.push_back(line);
        }
        return lines;
    }

    // orvex's status line, once the shell has echoed it (the last one on
    // the screen); empty when none came by until.
    std::string WaitForStatus(Clock::time_point until) const {
        std::string status;
        while (Clock::now() < until && status.empty()) {
            for (const auto& line : Capture())
                if (line.rfind("orvex-status=", 0) == 0)
                    status = line;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return status;
    }

private:
    std::string m_socket;
};

// Lines as a failure shows them, each ended with | so trailing blanks show.
std::string Shown(const std::vector<std::string>& lines) {
    std::ostringstream shown;
    for (const auto& line : lines)
        shown << line << "|\n";
    return shown.str();
}

struct CTotals {
    int nDone = -1, nFailed = -1, nRunning = -1, nWaiting = -1;
};

// The live area as the screen shows it: the totals line (the last line
// that is not empty) and the phones' lines right above it.
struct CLiveArea {
    bool bFound = false;
    CTotals totals;
    std::vector<std::string> phones; // their addresses, top down
    size_t nTop = 0;                 // row of the first phone line
};

CLiveArea FindLiveArea(const std::vector<std::string>& screen) {
    static const std::regex totalsLine(
        R"(^\d+ phones: (\d+) done, (\d+) failed, (\d+) running(, (\d+) waiting(; \d+ bytes sent|.*…)|.*…)$)");
    static const std::regex phoneLine(R"(^(127\.0\.7\.\d+) +\[[#.]+\] +\d+% .*)");
    CLiveArea area;
    size_t nLast = screen.size();
    while (nLast > 0 && screen[nLast - 1].empty())
        --nLast;
    std::smatch match;
    if (nLast == 0 || !std::regex_match(screen[nLast - 1], match, totalsLine))
        return area;
    area.bFound = true;
    // A narrow terminal may have cut the waiting phones off.
    area.totals = {std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3]),
                   match[5].matched ? std::stoi(match[5]) : -1};
    size_t nRow = nLast - 1;
    while (nRow > 0 && std::regex_match(screen[nRow - 1], match, phoneLine)) {
        area.phones.insert(area.phones.begin(), match[1]);
        --nRow;
    }
    area.nTop = nRow;
    return area;
}

// The screen once redrawn after a resize to nColumns, or as it is after 5 s.
// Redrawn at the new size: the totals line (the last that is not empty)
// fits it; all the rest must fit by then too.
std::vector<std::string> WaitForRedraw(const CTmux& tmux, size_t nColumns) {
    std::vector<std::string> screen;
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < until) {
        screen = tmux.Capture();
        size_t nLast = screen.size();
        while (nLast > 0 && screen[nLast - 1].empty())
            --nLast;
        if (FindLiveArea(screen).bFound && Columns(screen[nLast - 1]) <= nColumns)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return screen;
}

// What must hold for any screen while the phones run.
void CheckRunningScreen(const std::vector<std::string>& screen, size_t nColumns, size_t nRows) {
    SCOPED_TRACE(Shown(screen));
    EXPECT_EQ(nRows, screen.size());
    for (const auto& line : screen)
        EXPECT_LE(Columns(line), nColumns) << line;
    const CLiveArea area = FindLiveArea(screen);
    ASSERT_TRUE(area.bFound);
    if (area.totals.nWaiting >= 0) {
        EXPECT_EQ(40, area.totals.nDone + area.totals.nFailed + area.totals.nRunning +
                          area.totals.nWaiting);
    }
    EXPECT_EQ(static_cast<size_t>(std::min<int>(area.totals.nRunning, nRows - 2)),
              area.phones.size());
    EXPECT_EQ(area.phones.size(),
              std::set<std::string>(area.phones.begin(), area.phones.end()).size());
    // Above the area: finished phones, none of them still in it.
    for (size_t i = 0; i < area.nTop; ++i) {
        const auto& line = screen[i];
        const std::string address = line.substr(0, line.find(':'));
        if (line.find(": ") == std::string::npos)
            continue;
        EXPECT_EQ(area.phones.end(), std::find(area.phones.begin(), area.phones.end(), address))
            << address << " ended but is still in the live area";
    }
}

// line as the display shows text: whole, or cut with the ellipsis.
bool IsShownAs(const std::string& line, const std::string& text, size_t nColumns) {
    if (line == text)
        return Columns(text) <= nColumns;
    const size_t nCut = line.size() - (sizeof kEllipsis - 1);
    return line.size() > sizeof kEllipsis - 1 && line.substr(nCut) == kEllipsis &&
           text.compare(0, nCut, line, 0, nCut) == 0 && Columns(line) == nColumns;
}

} // namespace

class COrvexTerminalTest : public CSimFolderTest {
protected:
    COrvexTerminalTest() : CSimFolderTest("orvex-term") {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CSimFolderTest::SetUp());
        File("image.bin", std::string(40000, 'z'));
    }
    fs::path Saved(int n) const { return m_dir / (Address(n) + ".bin"); }

    // The shell command tmux runs: orvex for the phones numbered, then its
    // status; phones in refusing refuse, the others take a few seconds.
    std::string StartPhones(const std::vector<int>& numbers, const std::set<int>& refusing) {
        std::string command = std::string("'") + ORVEX_PATH + "' update-program '" +
                              (m_dir / "image.bin").string() + "' --check-timeout 300";
        for (int n : numbers) {
            m_sims.push_back(StartPhoneSimOn(
                Address(n),
                refusing.count(n)
                    ? std::vector<std::string>{"--refuse"}
                    : std::vector<std::string>{"--ack-delay", "20", "--save", Saved(n).string()}));
            EXPECT_TRUE(m_sims.back()) << Address(n);
            command += " --phone " + Address(n);
        }
        return command + "; echo orvex-status=$?; sleep 600";
    }

    std::vector<std::unique_ptr<CChildProcess>> m_sims;
};

TEST_F(COrvexTerminalTest, FortyPhonesAt80x24_LinesFitAndEndedPhonesLeaveTheLiveArea) {
    // Every tenth phone refuses.
    std::vector<int> numbers;
    std::set<int> refusing;
    for (int n = 1; n <= 40; ++n) {
        numbers.push_back(n);
        if (n % 10 == 1)
            refusing.insert(n);
    }
    const std::string command = StartPhones(numbers, refusing);
    ASSERT_FALSE(HasFailure());

    CTmux tmux;
    tmux.Run({"new-session", "-d", "-s", "t", "-x", "80", "-y", "24", command});

    // At 80x24: at most 22 phones, and the refusing phones above the area
    // once they have failed.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    std::vector<std::string> screen;
    CLiveArea area;
    while (Clock::now() < deadline) {
        screen = tmux.Capture();
        area = FindLiveArea(screen);
        if (area.bFound && area.totals.nFailed == 4 && area.totals.nRunning == 36)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(area.bFound && area.totals.nRunning == 36) << "no screen with 36 phones at work";
    CheckRunningScreen(screen, 80, 24);
    EXPECT_EQ(22u, area.phones.size());
    // Above it, scrolled off the screen by now, each refusing phone once;
    // and no earlier drawing of the area left behind.
    const std::vector<std::string> scrolled = tmux.Capture(true);
    for (int n : refusing)
        EXPECT_EQ(1, std::count(scrolled.begin(), scrolled.end(), Address(n) + ": " + kRefusedLine))
            << Address(n);
    EXPECT_EQ(1, std::count_if(scrolled.begin(), scrolled.end(), [](const std::string& line) {
                  return line.find(" running, ") != std::string::npos;
              }));
    EXPECT_EQ(22, std::count_if(scrolled.begin(), scrolled.end(), [](const std::string& line) {
                  return line.find(" blk/s ") != std::string::npos;
              }));

    // Made smaller while they run: the next drawing follows.
    tmux.Run({"resize-window", "-t", "t", "-x", "45", "-y", "12"});
    screen = WaitForRedraw(tmux, 45);
    area = FindLiveArea(screen);
    ASSERT_TRUE(area.bFound && area.totals.nRunning > 0) << "the phones ended before the resize\n"
                                                         << Shown(screen);
    CheckRunningScreen(screen, 45, 12);

    const auto ended = Clock::now() + std::chrono::seconds(30);
    EXPECT_EQ("orvex-status=1", tmux.WaitForStatus(ended));

    // Everything shown: each phone's line once, then the summary table cut
    // to the width, and no live area left.
    const std::vector<std::string> all = tmux.Capture(true);
    SCOPED_TRACE(Shown(all));
    const auto header = std::find_if(all.begin(), all.end(), [](const std::string& line) {
        return line.rfind("Phone  ", 0) == 0;
    });
    ASSERT_NE(all.end(), header);
    for (int n = 1; n <= 40; ++n) {
        SCOPED_TRACE(Address(n));
        const std::string text =
            Address(n) + ": " + (refusing.count(n) ? kRefusedLine : kUpdatingLine);
        EXPECT_EQ(1, std::count_if(all.begin(), header, [&](const std::string& line) {
                      return line.rfind(Address(n) + ": ", 0) == 0 &&
                             (IsShownAs(line, text, 80) || IsShownAs(line, text, 45));
                  }));
        EXPECT_EQ(1, std::count_if(all.begin(), header, [&](const std::string& line) {
                      return line.rfind(Address(n) + ":", 0) == 0;
                  }));
        const auto row = std::find_if(header, all.end(), [&](const std::string& line) {
            return line.rfind(Address(n) + " ", 0) == 0;
        });
        ASSERT_NE(all.end(), row);
        EXPECT_LE(Columns(*row), 45u) << *row;
        if (!refusing.count(n)) {
            EXPECT_EQ(kEllipsis, row->substr(row->size() - 3)) << *row;
        }
    }
    for (auto it = header; it != all.end(); ++it) {
        EXPECT_LE(Columns(*it), 45u) << *it;
        EXPECT_EQ(std::string::npos, it->find(" running, ")) << *it;
    }
    EXPECT_NE(all.end(), std::find_if(header, all.end(), [](const std::string& line) {
                  return line.rfind("40 phones, 36 succeeded, 4 did not, in ", 0) == 0;
              }));
}

// A few phones on a terminal made narrower: its lines wrapped onto more
// rows, and the next drawing starts above all of them.
TEST_F(COrvexTerminalTest, ThreePhonesNarrowed_NoWrappedRowsLeftBehind) {
    const std::string command = StartPhones({101, 102, 103}, {});
    ASSERT_FALSE(HasFailure());
    CTmux tmux;
    tmux.Run({"new-session", "-d", "-s", "t", "-x", "80", "-y", "24", command});
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    CLiveArea area;
    while (Clock::now() < deadline && area.phones.size() != 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        area = FindLiveArea(tmux.Capture());
    }
    ASSERT_EQ(3u, area.phones.size());
    tmux.Run({"resize-window", "-t", "t", "-x", "45", "-y", "24"});
    const std::vector<std::string> screen = WaitForRedraw(tmux, 45);
    area = FindLiveArea(screen);
    ASSERT_EQ(3, area.totals.nRunning) << "the phones ended before the resize";
    for (const auto& line : screen)
        EXPECT_LE(Columns(line), 45u) << line;
    EXPECT_EQ(3u, area.phones.size()) << Shown(screen);
}

// Ctrl-S stops the terminal's output while the phones run: they finish
// meanwhile, and after Ctrl-Q every phone's line is shown once.
TEST_F(COrvexTerminalTest, CtrlSWhileRunning_PhonesFinishAndEveryLineShowsAfterCtrlQ) {
    const std::vector<int> numbers{111, 112, 113, 114};
    const std::string command = StartPhones(numbers, {});
    ASSERT_FALSE(HasFailure());
    CTmux tmux;
    tmux.Run({"new-session", "-d", "-s", "t", "-x", "80", "-y", "24", command});
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    CLiveArea area;
    while (Clock::now() < deadline && area.phones.size() != numbers.size()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        area = FindLiveArea(tmux.Capture());
    }
    ASSERT_EQ(numbers.size(), area.phones.size());
    tmux.Run({"send-keys", "-t", "t", "C-s"});

    // The shell in the pane runs orvex, which runs a worker per phone.
    std::istringstream panePid(tmux.Run({"list-panes", "-t", "t", "-F", "#{pane_pid}"}));
    int nShell = 0;
    panePid >> nShell;
    const std::vector<int> shellChildren = Children(nShell);
    ASSERT_EQ(1u, shellChildren.size());
    const int nOrvex = shellChildren[0];
    const std::string received = std::string(40192, 'z').replace(40000, 192, 192, '\xFF') + '\x81';
    const auto ended = Clock::now() + std::chrono::seconds(30);
    auto finished = [&] {
        for (int n : numbers)
            if (ReadAll(Saved(n)) != received)
                return false;
        return Children(nOrvex).empty();
    };
    while (Clock::now() < ended && !finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(finished()) << "a phone waited for the terminal";
    EXPECT_EQ(std::vector<int>{nOrvex}, Children(nShell)) << "orvex did not wait for the terminal";

    tmux.Run({"send-keys", "-t", "t", "C-q"});
    EXPECT_EQ("orvex-status=0", tmux.WaitForStatus(ended + std::chrono::seconds(10)));
    const std::vector<std::string> all = tmux.Capture(true);
    SCOPED_TRACE(Shown(all));
    for (int n : numbers)
        EXPECT_EQ(1, std::count_if(all.begin(), all.end(), [&](const std::string& line) {
                      return IsShownAs(line, Address(n) + ": " + kUpdatingLine, 80);
                  }));
    EXPECT_EQ(0, std::count_if(all.begin(), all.end(), [](const std::string& line) {
                  return line.find(" running, ") != std::string::npos;
              }));
    EXPECT_EQ(1, std::count_if(all.begin(), all.end(), [](const std::string& line) {
                  return line.rfind("4 phones, 4 succeeded, 0 did not, in ", 0) == 0;
              }));
}
