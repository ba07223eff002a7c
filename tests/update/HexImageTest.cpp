// The flash page image built from HEX files: which records are stored, where,
// and how long the image is.
#include "ConfirmFlashPageFile.h"
#include "HexPairToByte.h"
#include "LoadHexImage.h"
#include "ScriptedSeams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

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

// One record line with a correct checksum, upper case.
std::string Line(int nAddress, const std::vector<BYTE>& data, int nType = 0) {
    std::string s = ":";
    unsigned nSum = 0;
    auto put = [&](int b) {
        char sz[3];
        snprintf(sz, sizeof sz, "%02X", b & 0xFF);
        s += sz;
        nSum += b & 0xFF;
    };
    put(static_cast<int>(data.size()));
    put(nAddress >> 8);
    put(nAddress);
    put(nType);
    for (BYTE b : data)
        put(b);
    put(0x100 - (nSum & 0xFF));
    return s;
}

std::string Data(const CRecord& r) {
    return Line(r.nAddress, r.data);
}

const std::string kEof = ":00000001FF";

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// A checksum one off.
std::string Corrupt(std::string s) {
    char& c = s[s.size() - 1];
    c = c == '0' ? '1' : '0';
    return s;
}

std::vector<CRecord> Sequential(int nRecords) {
    std::vector<CRecord> v;
    for (int i = 0; i < nRecords; ++i)
        v.push_back({i * 16, Bytes(16, i)});
    return v;
}

struct CHexCase {
    const char* name;
    std::vector<std::string> lines;
    const char* lineEnd;
    int nExpectedLength;
    std::vector<CRecord> stored; // in the order they land in the image
    bool bLastLineEnded = true;
};

void PrintTo(const CHexCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<std::string> Lines(const std::vector<CRecord>& records,
                               std::vector<std::string> tail = {}) {
    std::vector<std::string> v;
    for (const CRecord& r : records)
        v.push_back(Data(r));
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
}

const CRecord kAt0{0x0000, Bytes(16, 1)};
const CRecord kAt100{0x0100, Bytes(16, 2)};
const CRecord kAtF0{0x00F0, Bytes(16, 3)};
const CRecord kAtF8{0x00F8, Bytes(16, 4)};
const CRecord kLast8{0xFFF8, Bytes(8, 5)};
const CRecord kWide{0x0040, Bytes(32, 6)};
const CRecord kMax{0x0200, Bytes(255, 7)};

std::vector<CHexCase> Cases() {
    const std::vector<CRecord> four = Sequential(4);
    std::vector<std::string> badFifth = Lines(Sequential(4));
    badFifth.push_back(Corrupt(Data({64, Bytes(16, 9)})));
    badFifth.push_back(Data({80, Bytes(16, 10)}));

    std::string shortLine = Data({64, Bytes(16, 9)});
    shortLine.resize(shortLine.size() - 1); // the checksum's last digit missing
    std::string nonHex = Data({64, Bytes(16, 9)});
    nonHex[12] = 'G';
    std::string spaceInData = Data({64, Bytes(16, 9)});
    spaceInData[9] = ' ';

    std::vector<CHexCase> cases = {
        {"EofFirst", {kEof, Data(kAt0)}, "\n", 0, {}},
        {"ExtendedAddressFirst", {":020000040000FA", Data(kAt0), kEof}, "\n", 0, {}},
        {"OneHundredTwentyEightRecords", Lines(Sequential(128), {kEof}), "\r\n", 2048,
         Sequential(128)},
        {"AscendingGap", Lines({kAt0, kAt100}, {kEof}), "\n", 0x110, {kAt0, kAt100}},
        {"DescendingGap", Lines({kAt100, kAt0}, {kEof}), "\n", 0x110, {kAt100, kAt0}},
        {"OverlappingTailKept", Lines({kAtF0, kAtF8}), "\n", 0x108, {kAtF0, kAtF8}},
        {"BadChecksumOnLineFive", badFifth, "\n", 64, four},
        {"CrLfLineEnds", Lines(four, {kEof}), "\r\n", 64, four},
        {"LfLineEnds", Lines(four, {kEof}), "\n", 64, four},
        {"NoLineEndAtEnd", Lines(four), "\n", 64, four, false},
        {"LowerCase", {Lower(Data(kAt0)), Lower(Data(kAt100)), kEof}, "\n", 0x110, {kAt0, kAt100}},
        {"TextAfterChecksumIgnored", {Data(kAt0) + "  ; comment"}, "\n", 16, {kAt0}},
        {"ShortLineEndsReading", Lines(four, {shortLine, Data(kAt100)}), "\n", 64, four},
        {"CountBeyondLineEndsReading", {Data(kAt0), ":FF0100001122"}, "\n", 16, {kAt0}},
        {"MarkOnlyEndsReading", {Data(kAt0), ":"}, "\n", 16, {kAt0}},
        {"NonHexDigitEndsReading", Lines(four, {nonHex, Data(kAt100)}), "\n", 64, four},
        {"SpaceInDataEndsReading", Lines(four, {spaceInData}), "\n", 64, four},
        {"BlankLineEndsReading", Lines(four, {"", Data(kAt100)}), "\n", 64, four},
        {"RecordBeyondPageEndsReading",
         {Data(kAt0), Line(0xFFF8, Bytes(16, 8)), Data(kAt100)},
         "\n",
         16,
         {kAt0}},
        {"RecordEndingAtPageEndStored", {Data(kAt0), Data(kLast8)}, "\n", 65536, {kAt0, kLast8}},
        {"ThirtyTwoByteRecords", {Data(kWide)}, "\n", 0x60, {kWide}},
        {"TwoHundredFiftyFiveByteRecord", {Data(kMax)}, "\n", 0x2FF, {kMax}},
        {"EmptyFile", {}, "\n", 0, {}},
    };
    return cases;
}

class CHexImageTest : public ::testing::TestWithParam<CHexCase> {
protected:
    void SetUp() override {
        m_path = std::filesystem::temp_directory_path() /
                 ("orvex-hex-" + std::to_string(getpid()) + "-" + GetParam().name + ".hex");
    }
    void TearDown() override { std::filesystem::remove(m_path); }
    std::filesystem::path m_path;
};

TEST_P(CHexImageTest, LoadHexImage_StoresLeadingRecordsAndLargestEnd) {
    const CHexCase& c = GetParam();
    {
        std::ofstream out(m_path, std::ios::binary);
        for (size_t i = 0; i < c.lines.size(); ++i)
            out << c.lines[i] << (i + 1 < c.lines.size() || c.bLastLineEnded ? c.lineEnd : "");
    }
    CScriptedSeams seams;
    // Guard bytes on both sides catch a write outside the page.
    std::vector<BYTE> buffer(kFlashPageSize + 2 * 64, 0xA5);
    BYTE* pImage = buffer.data() + 64;
    std::fill(pImage, pImage + kFlashPageSize, 0xFF);

    EXPECT_EQ(LoadHexImage(m_path.string(), pImage), c.nExpectedLength);

    std::vector<BYTE> expected(kFlashPageSize, 0xFF);
    for (const CRecord& r : c.stored)
        std::copy(r.data.begin(), r.data.end(), expected.begin() + r.nAddress);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), pImage)) << "image differs";
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.begin() + 64, [](BYTE b) { return b == 0xA5; }));
    EXPECT_TRUE(std::all_of(buffer.end() - 64, buffer.end(), [](BYTE b) { return b == 0xA5; }));
    EXPECT_TRUE(seams.Texts().empty()) << "no message for any line of a readable file";
}

INSTANTIATE_TEST_SUITE_P(Files, CHexImageTest, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<CHexCase>& info) {
                             return info.param.name;
                         });

TEST(LoadHexImageTest, LoadHexImage_MissingFileOrFolder_SaysCanNotOpenAndGivesZero) {
    for (const std::string& path : {std::string("/nonexistent/orvex/page0.hex"),
                                    std::filesystem::temp_directory_path().string()}) {
        CScriptedSeams seams;
        std::vector<BYTE> image(kFlashPageSize, 0xFF);
        EXPECT_EQ(LoadHexImage(path, image.data()), 0) << path;
        ASSERT_EQ(seams.Messages().size(), 1u) << path;
        EXPECT_EQ(seams.Messages()[0].text, "can not open hex file");
        EXPECT_EQ(seams.Messages()[0].nType, MB_OK);
    }
}

TEST(HexPairToByteTest, HexPairToByte_DigitsOfEitherCase_GiveTheirValue) {
    const struct {
        char high, low;
        int value;
    } cases[] = {{'0', '0', 0x00}, {'0', '9', 0x09}, {'A', 'F', 0xAF},
                 {'f', 'f', 0xFF}, {'7', 'c', 0x7C}, {'B', '0', 0xB0}};
    for (const auto& c : cases)
        EXPECT_EQ(HexPairToByte(c.high, c.low), c.value) << c.high << c.low;
    for (char c : {'G', 'g', ' ', ':', '/', '@', '\0'})
        EXPECT_EQ(HexDigitValue(c), -1) << static_cast<int>(c);
}

struct CPageNameCase {
    const char* path;
    bool bAsks;
    int nAnswer;
    bool bGoesOn;
};

class CPageNameTest : public ::testing::TestWithParam<CPageNameCase> {};

TEST_P(CPageNameTest, ConfirmFlashPageFile_AsksUnlessNameHoldsPage0) {
    const CPageNameCase& c = GetParam();
    CScriptedSeams seams;
    seams.QueueAnswer(c.nAnswer);
    EXPECT_EQ(ConfirmFlashPageFile(c.path), c.bGoesOn);
    if (c.bAsks) {
        ASSERT_EQ(seams.Messages().size(), 1u);
        EXPECT_EQ(seams.Messages()[0].text, "Are you sure about flash page?");
        EXPECT_EQ(seams.Messages()[0].nType, MB_YESNO | MB_ICONQUESTION);
    } else {
        EXPECT_TRUE(seams.Messages().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, CPageNameTest,
    ::testing::Values(CPageNameCase{"/tmp/x/page0.hex", false, IDNO, true},
                      CPageNameCase{"/tmp/x/Page0.HEX", false, IDNO, true},
                      CPageNameCase{"/tmp/x/flash_page0.hex", false, IDNO, true},
                      CPageNameCase{"page0.hex", false, IDNO, true},
                      // Only the file's own name counts, not its folder.
                      CPageNameCase{"/tmp/page0.hex/demo.hex", true, IDNO, false},
                      CPageNameCase{"/tmp/x/page1.hex", true, IDNO, false},
                      CPageNameCase{"/tmp/x/page1.hex", true, IDYES, true},
                      CPageNameCase{"/tmp/x/demo.hex", true, IDNO, false},
                      CPageNameCase{"/tmp/x/demo.hex", true, IDYES, true}));

} // namespace
