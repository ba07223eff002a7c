// The flash page image built from HEX files: which files are sent, what lands
// in the image, and why a file is refused.
#include "ChildProcess.h"
#include "ConfirmFlashPageFile.h"
#include "HexReport.h"
#include "HexText.h"
#include "LoadHexImage.h"
#include "ScriptedSeams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CRecord {
    int nAddress;
    std::vector<BYTE> data;
};

std::vector<BYTE> Bytes(int nCount, int nSeed) {
    std::vector<BYTE> v;
    for (int i = 0; i < nCount; ++i)
        v.push_back(static_cast<BYTE>(nSeed * 31 + i * 7 + 1));
    return v;
}

std::string Data(const CRecord& r) {
    return HexRecordLine(r.nAddress, r.data);
}

const std::string kEof = ":00000001FF";

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::vector<CRecord> Sequential(int nRecords) {
    std::vector<CRecord> v;
    for (int i = 0; i < nRecords; ++i)
        v.push_back({i * 16, Bytes(16, i)});
    return v;
}

std::vector<std::string> Lines(const std::vector<CRecord>& records,
                               std::vector<std::string> tail = {}) {
    std::vector<std::string> v;
    for (const CRecord& r : records)
        v.push_back(Data(r));
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
}

fs::path TempPath(const std::string& name) {
    return fs::temp_directory_path() / ("orvex-hex-" + std::to_string(getpid()) + "-" + name);
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Loads the file as the update does, into a page with guard bytes on both
// sides; checks that nothing outside the page is touched and nothing shown.
int Load(const fs::path& path, std::vector<BYTE>* pPage) {
    CScriptedSeams seams;
    std::vector<BYTE> buffer(kFlashPageSize + 2 * 64, 0xA5);
    std::fill(buffer.begin() + 64, buffer.end() - 64, 0xFF);
    const int nLength = LoadHexImage(path.string(), buffer.data() + 64);
    pPage->assign(buffer.begin() + 64, buffer.end() - 64);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 64, [](BYTE b) { return b == 0xA5; }));
    EXPECT_TRUE(std::all_of(buffer.end() - 64, buffer.end(), [](BYTE b) { return b == 0xA5; }));
    EXPECT_TRUE(seams.Texts().empty()) << "no message for a file that opens";
    return nLength;
}

struct CHexCase {
    const char* name;
    std::vector<std::string> lines;
    int nLength;                 // 0: refused, nothing may be sent
    std::vector<CRecord> stored; // in the order they land in the image
    int nLine = 0;               // the refused file's line to blame
    std::string reason = "";
    const char* lineEnd = "\n";
    bool bLastLineEnded = true;
};

void PrintTo(const CHexCase& c, std::ostream* os) {
    *os << c.name;
}

const CRecord kAt0{0x0000, Bytes(16, 1)};
const CRecord kAt100{0x0100, Bytes(16, 2)};
const CRecord kAtF0{0x00F0, Bytes(16, 3)};
const CRecord kAtF8{0x00F8, Bytes(16, 4)};
const CRecord kLast8{0xFFF8, Bytes(8, 5)};
const CRecord kMax{0x0200, Bytes(255, 7)};
const std::string kLinearAddress = ":020000040000FA";
const std::string kStartLinear = ":0400000512345678E3";
const std::string kStartSegment = ":0400000300000100F8";
const char* const kAfterEnd = "data record after the end of the data";

std::vector<CHexCase> Cases() {
    const std::vector<CRecord> four = Sequential(4);
    std::string shortLine = Data({64, Bytes(16, 9)});
    shortLine.resize(shortLine.size() - 1); // the checksum's last digit missing
    std::string nonHex = Data({64, Bytes(16, 9)});
    nonHex[12] = 'G';
    std::string spaceInData = Data({64, Bytes(16, 9)});
    spaceInData[9] = ' ';
    return {
        // Sent.
        {"OneHundredTwentyEightRecords", Lines(Sequential(128), {kEof}), 2048, Sequential(128), 0,
         "", "\r\n"},
        {"AscendingGap", Lines({kAt0, kAt100}, {kEof}), 0x110, {kAt0, kAt100}},
        {"DescendingGap", Lines({kAt100, kAt0}, {kEof}), 0x110, {kAt100, kAt0}},
        {"OverlappingTailKept", Lines({kAtF0, kAtF8}), 0x108, {kAtF0, kAtF8}},
        {"NoEndRecordNoLineEnd", Lines(four), 64, four, 0, "", "\n", false},
        {"LowerCase", {Lower(Data(kAt0)), Lower(Data(kAt100)), Lower(kEof)}, 0x110, {kAt0, kAt100}},
        {"SpacesTabsAfterChecksum", {Data(kAt0) + " \t ", kEof}, 16, {kAt0}},
        {"MacLineEnds", Lines(four, {kEof}), 64, four, 0, "", "\r"},
        {"MixedLineEnds", Lines(four, {kEof}), 64, four, 0, "", "\r\n"},
        // Ctrl-Z begins the text-mode end of a file: nothing after it counts.
        {"CtrlZEndsTheFile", Lines(four, {"\x1A:junk", Data(kAt100)}), 64, four},
        {"CtrlZAfterLastLineEnd", Lines(four, {"\x1A"}), 64, four, 0, "", "\n", false},
        {"StartRecordsBeforeEnd", Lines(four, {kStartSegment, kStartLinear, kEof}), 64, four},
        {"TrailingBlankLinesAndAnythingAfterEnd",
         Lines(four, {kEof, Data(kAt100), "junk", "", "  "}), 64, four},
        {"BlankLinesAtTheEnd", Lines(four, {"", "\t"}), 64, four},
        {"RecordEndingAtPageEnd", {Data(kAt0), Data(kLast8)}, 65536, {kAt0, kLast8}},
        {"TwoHundredFiftyFiveByteRecord", {Data(kMax)}, 0x2FF, {kMax}},
        // An extended address of zero keeps the data on this page.
        {"ZeroAddressRecordsPassedOver",
         {kLinearAddress, Data(kAt0), ":020000020000FC", Data(kAt100), kEof},
         0x110,
         {kAt0, kAt100}},
        // Nothing to send.
        {"EofFirst", {kEof, Data(kAt0)}, 0, {}, 0, "no data"},
        {"EmptyFile", {}, 0, {}, 0, "no data"},
        // Damaged before the end record.
        {"ExtendedAddressFirst", {":020000040001F9", Data(kAt0), kEof}, 0, {}, 2, kAfterEnd},
        {"AddressRecordBetweenData",
         Lines(four, {":020000040001F9", Data(kAt100)}),
         0,
         {},
         6,
         kAfterEnd},
        {"BlankLineBetweenData", Lines(four, {"", Data(kAt100), kEof}), 0, {}, 6, kAfterEnd},
        {"BadChecksumOnLineFive",
         Lines(four, {":0300300002337A1F", Data(kAt100)}),
         0,
         {},
         5,
         "checksum 1F, expected 1E"},
        {"BadEndRecordChecksum",
         Lines(four, {":00000001FE"}),
         0,
         {},
         5,
         "checksum FE, expected FF"},
        {"ShortLine", Lines(four, {shortLine, kEof}), 0, {}, 5, "line too short"},
        {"CountBeyondLine", {Data(kAt0), ":FF0100001122"}, 0, {}, 2, "line too short"},
        {"MarkOnly", {Data(kAt0), ":"}, 0, {}, 2, "line too short"},
        {"NonHexDigit", Lines(four, {nonHex}), 0, {}, 5, "non-hex character"},
        {"SpaceInData", Lines(four, {spaceInData}), 0, {}, 5, "non-hex character"},
        {"NoRecordMark", {Data(kAt0), "0000000000", kEof}, 0, {}, 2, "no record mark"},
        {"CtrlZInsideALine", {Data(kAt0), " \x1A", Data(kAt100)}, 0, {}, 2, "no record mark"},
        {"TextAfterChecksum", {Data(kAt0) + "  ; comment"}, 0, {}, 1, "text after the checksum"},
        // A lost line end: the second record must not vanish.
        {"TwoRecordsJoined",
         {Data(kAt0) + Data(kAt100), kEof},
         0,
         {},
         1,
         "text after the checksum"},
        {"LongestRecordThenASpace", {Data(kAt0), Data(kMax) + " "}, 0, {}, 2, "line too long"},
        {"UnknownRecordType",
         {Data(kAt0), ":00000006FA", kEof},
         0,
         {},
         2,
         "unknown record type 06"},
        {"RecordBeyondPage",
         {Data(kAt0), HexRecordLine(0xFFF8, Bytes(16, 8))},
         0,
         {},
         2,
         "record runs past the 64 KiB page"},
    };
}

class CHexImageTest : public ::testing::TestWithParam<CHexCase> {};

TEST_P(CHexImageTest, LoadHexImage_SendsWholeFilesOnly) {
    const CHexCase& c = GetParam();
    const fs::path path = TempPath(std::string(c.name) + ".hex");
    std::string text;
    for (size_t i = 0; i < c.lines.size(); ++i)
        text += c.lines[i] + (i + 1 < c.lines.size() || c.bLastLineEnded ? c.lineEnd : "");
    WriteFile(path, text);

    std::vector<BYTE> page;
    EXPECT_EQ(Load(path, &page), c.nLength);
    if (c.nLength > 0) {
        std::vector<BYTE> expected(kFlashPageSize, 0xFF);
        for (const CRecord& r : c.stored)
            std::copy(r.data.begin(), r.data.end(), expected.begin() + r.nAddress);
        EXPECT_TRUE(page == expected) << "image differs";
    }
    const CHexReport report = ReadHexReport(path.string(), nullptr);
    EXPECT_EQ(report.bAccepted, c.nLength > 0);
    EXPECT_EQ(report.nLength, c.nLength);
    EXPECT_EQ(report.nLine, c.nLine);
    EXPECT_EQ(report.reason, c.reason);
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Files, CHexImageTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CHexCase>& info) {
                             return info.param.name;
                         });

TEST(HexReportTest, ReadHexReport_CountsRecordsAndMergesRanges) {
    const fs::path path = TempPath("ranges.hex");
    // Out of order, overlapping, touching, and one empty record.
    std::string text;
    for (const std::string& line :
         Lines({kAt100, kAtF8, kAt0, {0x0110, Bytes(4, 1)}, kAtF0, {0x0300, {}}}, {kEof}))
        text += line + "\n";
    WriteFile(path, text);
    const CHexReport report = ReadHexReport(path.string(), nullptr);
    EXPECT_TRUE(report.bAccepted);
    EXPECT_EQ(report.nRecords, 6);
    ASSERT_EQ(report.ranges.size(), 2u);
    EXPECT_EQ(report.ranges[0].nFirst, 0x0000);
    EXPECT_EQ(report.ranges[0].nEnd, 0x0010);
    EXPECT_EQ(report.ranges[1].nFirst, 0x00F0);
    EXPECT_EQ(report.ranges[1].nEnd, 0x0114);
    EXPECT_EQ(report.nLength, 0x0300);
    fs::remove(path);
}

// Files made by real HEX writers go through whole.
TEST(HexWritersTest, LoadHexImage_WritersOutput_LandsByteForByte) {
    std::vector<BYTE> program = Bytes(1000, 42);
    const fs::path bin = TempPath("program.bin");
    {
        std::ofstream out(bin, std::ios::binary);
        out.write(reinterpret_cast<const char*>(program.data()),
                  static_cast<std::streamsize>(program.size()));
    }
    const fs::path hex = TempPath("program.hex");
    const struct {
        std::vector<std::string> argv;
        bool bSent;
    } writers[] = {
        {{"objcopy", "-I", "binary", "-O", "ihex", bin, hex}, true},
        // A start address: a type-05 record before the end record.
        {{"objcopy", "-I", "binary", "-O", "ihex", "--set-start=0x12345678", bin, hex}, true},
        {{"srec_cat", bin, "-binary", "-o", hex, "-intel", "-obs=32", "-address-length=2"}, true},
        // Its default output begins with an extended address of zero.
        {{"srec_cat", bin, "-binary", "-o", hex, "-intel", "-obs=32"}, true},
        // Data above 64 KiB begins with an address record that is not zero:
        // not this page.
        {{"srec_cat", bin, "-binary", "-offset", "0x10000", "-o", hex, "-intel", "-obs=32"}, false},
    };
    for (const auto& w : writers) {
        std::string command;
        for (const std::string& arg : w.argv)
            command += arg + " ";
        SCOPED_TRACE(command);
        auto pWriter = CChildProcess::Start(w.argv);
        ASSERT_TRUE(pWriter);
        ASSERT_EQ(pWriter->Wait(10000), 0) << pWriter->Output();
        std::vector<BYTE> page;
        EXPECT_EQ(Load(hex, &page), w.bSent ? 1000 : 0);
        if (w.bSent) {
            EXPECT_TRUE(std::equal(program.begin(), program.end(), page.begin()));
        }
    }
    fs::remove(bin);
    fs::remove(hex);
}

TEST(LoadHexImageTest, LoadHexImage_MissingFileOrFolder_SaysCanNotOpenAndGivesZero) {
    for (const std::string& path :
         {std::string("/nonexistent/orvex/page0.hex"), fs::temp_directory_path().string()}) {
        CScriptedSeams seams;
        std::vector<BYTE> image(kFlashPageSize, 0xFF);
        EXPECT_EQ(LoadHexImage(path, image.data()), 0) << path;
        ASSERT_EQ(seams.Messages().size(), 1u) << path;
        EXPECT_EQ(seams.Messages()[0].text, "can not open hex file");
        EXPECT_EQ(seams.Messages()[0].nType, MB_OK);
    }
}

// Sources a file dialog's "All files" can pick: a file that never ends a
// line, and a FIFO, which gives its bytes to the first reader only.
TEST(LoadHexImageTest, LoadHexImage_EndlessLineAndFifo_ReadOnceWithinBounds) {
    std::vector<BYTE> page;
    EXPECT_EQ(Load("/dev/zero", &page), 0);

    const fs::path fifo = TempPath("fifo.hex");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Each reader that lets the FIFO go is an event here.
    const int fdNotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(inotify_add_watch(fdNotify, fifo.c_str(), IN_CLOSE_NOWRITE), 0);
    std::string text;
    for (const std::string& line : Lines(Sequential(4), {kEof}))
        text += line + "\n";
    // One writer, as a shell's `cat > fifo` is. A reader that opened the
    // FIFO again would wait for a second one: it gets an empty one instead.
    signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> bRead{false};
    std::thread writer([&] {
        std::ofstream(fifo, std::ios::binary) << text;
        while (!bRead) {
            const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    EXPECT_EQ(Load(fifo, &page), 64);
    bRead = true;
    writer.join();
    int nReaders = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(fdNotify, events, sizeof events)) > 0;)
        for (char* p = events; p < events + n;
             p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
            ++nReaders;
    EXPECT_EQ(nReaders, 1) << "the FIFO was opened more than once";
    close(fdNotify);
    fs::remove(fifo);
}

TEST(ConfirmFlashPageFileTest, ConfirmFlashPageFile_AsksUnlessNameHoldsPage0) {
    const struct {
        const char* path;
        int nAnswer; // 0: not asked
        bool bGoesOn;
    } cases[] = {
        {"/tmp/x/page0.hex", 0, true},
        {"/tmp/x/Page0.HEX", 0, true},
        {"/tmp/x/flash_page0.hex", 0, true},
        {"page0.hex", 0, true},
        // Only the file's own name counts, not its folder.
        {"/tmp/page0.hex/demo.hex", IDNO, false},
        {"/tmp/x/page1.hex", IDNO, false},
        {"/tmp/x/page1.hex", IDYES, true},
        {"/tmp/x/demo.hex", IDNO, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        CScriptedSeams seams;
        seams.QueueAnswer(c.nAnswer != 0 ? c.nAnswer : IDNO);
        EXPECT_EQ(ConfirmFlashPageFile(c.path), c.bGoesOn);
        if (c.nAnswer != 0) {
            ASSERT_EQ(seams.Messages().size(), 1u);
            EXPECT_EQ(seams.Messages()[0].text, "Are you sure about flash page?");
            EXPECT_EQ(seams.Messages()[0].nType, MB_YESNO | MB_ICONQUESTION);
        } else {
            EXPECT_TRUE(seams.Messages().empty());
        }
    }
}

} // namespace
