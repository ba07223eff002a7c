// --phones-from as outside input: bounded in bytes and phones, a leading
// byte order mark, and repeated phones, through the reader and through the
// real orvex binary against simulators on loopback.
#include "OrvexRun.h"
#include "PhoneListReader.h"
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const char kBom[] = "\xEF\xBB\xBF";

// orvex ($0) through sh, so a case can give it standard input.
COrvexRun RunShell(const std::string& script, int nMs = 60000) {
    return RunToEnd({"sh", "-c", script, ORVEX_PATH}, nMs);
}

int Lines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class CPhonesFromTest : public CSimFolderTest {
protected:
    CPhonesFromTest() : CSimFolderTest("orvex-phones") {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CSimFolderTest::SetUp());
        m_image = File("image.bin", std::string(300, 'i')).string();
    }

    std::string m_image;
};

} // namespace

TEST(PhoneListReaderTest, ReadPhoneList_ByteOrderMark_SkippedOnlyAtTheStart) {
    struct CCase {
        std::string text;
        bool bRead;
        std::vector<DWORD> phones;
    };
    const std::vector<CCase> cases = {
        {std::string(kBom) + "10.0.0.1\n10.0.0.2\n", true, {0x0A000001, 0x0A000002}},
        {std::string(kBom) + "[{\"ip\": \"10.0.0.3\"}, \"10.0.0.4\"]",
         true,
         {0x0A000003, 0x0A000004}},
        {std::string(kBom) + "  \n[\"10.0.0.5\"]\n", true, {0x0A000005}},
        {std::string(kBom), true, {}},
        {"10.0.0.1\n" + std::string(kBom) + "10.0.0.2\n", false, {}},
        {std::string(kBom) + kBom + "10.0.0.1\n", false, {}},
        {"\xEF\xBB"
         "10.0.0.1\n",
         false,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<DWORD> phones;
        std::string error;
        EXPECT_EQ(c.bRead, ReadPhoneList(c.text, &phones, &error)) << error;
        EXPECT_EQ(c.phones, phones);
    }
}

TEST(PhoneListReaderTest, RemoveRepeatedPhones_KeepsFirstOccurrencesInOrder) {
    struct CCase {
        std::vector<DWORD> given;
        std::vector<DWORD> phones;
        std::vector<DWORD> repeated;
    };
    const std::vector<CCase> cases = {
        {{}, {}, {}},
        {{7}, {7}, {}},
        {{5, 3, 5, 5, 9, 3, 1}, {5, 3, 9, 1}, {5, 3}},
        {{9, 8, 7, 7, 8, 9}, {9, 8, 7}, {9, 8, 7}},
        {{0xFFFFFFFF, 0, 0xFFFFFFFF}, {0xFFFFFFFF, 0}, {0xFFFFFFFF}},
    };
    for (const auto& c : cases) {
        std::vector<DWORD> repeated{42};
        EXPECT_EQ(c.phones, RemoveRepeatedPhones(c.given, &repeated));
        EXPECT_EQ(c.repeated, repeated);
    }

    // Against the plain quadratic rule, on a list with many repeats.
    std::mt19937 random(17);
    std::vector<DWORD> given(3000);
    for (DWORD& dwPhone : given)
        dwPhone = random() % 1000;
    std::vector<DWORD> expected;
    std::vector<DWORD> expectedRepeated;
    for (size_t i = 0; i < given.size(); ++i) {
        const auto itFirst = std::find(given.begin(), given.end(), given[i]);
        if (itFirst != given.begin() + static_cast<std::ptrdiff_t>(i))
            continue;
        expected.push_back(given[i]);
        if (std::count(given.begin(), given.end(), given[i]) > 1)
            expectedRepeated.push_back(given[i]);
    }
    std::vector<DWORD> repeated;
    EXPECT_EQ(expected, RemoveRepeatedPhones(given, &repeated));
    EXPECT_EQ(expectedRepeated, repeated);
}

// Too many bytes or too many phones: one line on standard error, status 2,
// nothing sent, and a source without end is not read to its end.
TEST_F(CPhonesFromTest, PhonesFrom_BeyondTheBounds_OneLineStatus2) {
    std::string many;
    for (DWORD dw = 0; dw <= kMaxPhones; ++dw)
        many += "10." + std::to_string(dw >> 16) + "." + std::to_string((dw >> 8) & 0xFF) + "." +
                std::to_string(dw & 0xFF) + "\n";
    const std::string tooMany = File("too-many.txt", many);
    const std::string padding(kMaxPhoneListBytes - 12, '#');
    const std::string tooLong = File("too-long.txt", padding + "\n127.0.0.1\n#\n");
    ASSERT_EQ(kMaxPhoneListBytes + 1, fs::file_size(tooLong));
    struct CCase {
        std::string script;
        std::string error;
    };
    const std::vector<CCase> cases = {
        {"exec \"$0\" update-program " + m_image + " --phones-from /dev/zero",
         "orvex: /dev/zero: longer than 16 MiB\n"},
        {"exec \"$0\" update-program " + m_image + " --phones-from - < /dev/zero",
         "orvex: standard input: longer than 16 MiB\n"},
        {"exec \"$0\" update-program " + m_image + " --phones-from " + tooLong,
         "orvex: " + tooLong + ": longer than 16 MiB\n"},
        {"exec \"$0\" update-program " + m_image + " --phones-from " + tooMany,
         "orvex: 65537 phones given; one run takes at most 65536\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        const COrvexRun result = RunShell(c.script, 20000);
        EXPECT_EQ(2, result.nStatus);
        EXPECT_EQ("", result.out);
        EXPECT_EQ(c.error, result.err);
    }
}

// At the bounds a list is taken: the phone in a list of exactly 16 MiB, led by
// a byte order mark, is updated; so is the one of a JSON list with a mark.
TEST_F(CPhonesFromTest, PhonesFrom_AtTheBoundWithByteOrderMark_PhoneUpdated) {
    const std::string saved = (m_dir / "got.bin").string();
    auto pSim = StartPhoneSimOn("127.0.8.1", {"--save", saved, "--update-busy-ms", "1000"});
    ASSERT_TRUE(pSim);
    const std::string tail = "\n127.0.8.1\n";
    const std::string atBound =
        File("at-bound.txt", kBom + std::string(kMaxPhoneListBytes - 3 - tail.size(), '#') + tail);
    ASSERT_EQ(kMaxPhoneListBytes, fs::file_size(atBound));
    const std::string json = File("phones.json", kBom + std::string("[{\"ip\":\"127.0.8.1\"}]\n"));
    for (const std::string& list : {atBound, json}) {
        SCOPED_TRACE(list);
        fs::remove(saved);
        const COrvexRun result = RunShell("exec \"$0\" update-program " + m_image +
                                          " --check-timeout 300 --phones-from - < " + list);
        EXPECT_EQ(0, result.nStatus) << result.err;
        EXPECT_EQ("", result.err);
        std::ifstream got(saved, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(got)),
                                std::istreambuf_iterator<char>());
        EXPECT_EQ(std::string(300, 'i') + std::string(212, '\xFF') + '\x81', bytes);
        ASSERT_TRUE(pSim->WaitForOutput("update done", 15000, pSim->Output().size()))
            << pSim->Output();
    }
}

// A phone given more than once is updated once and named once; a list given
// twice over names ten phones and counts the rest in one line.
TEST_F(CPhonesFromTest, PhonesFrom_Repeats_NamedOnceAndCapped) {
    std::vector<std::unique_ptr<CChildProcess>> sims;
    for (const char* pszAddress : {"127.0.8.2", "127.0.8.3"}) {
        sims.push_back(StartPhoneSimOn(pszAddress, {"--update-busy-ms", "2000"}));
        ASSERT_TRUE(sims.back());
    }
    const std::string twice = File("twice.txt", "127.0.8.2\n127.0.8.3\n127.0.8.2\n127.0.8.2\n");
    COrvexRun result =
        RunShell("exec \"$0\" update-program " + m_image +
                 " --json --check-timeout 300 --phone 127.0.8.3 --phones-from " + twice);
    EXPECT_EQ(0, result.nStatus) << result.err;
    EXPECT_EQ("orvex: 127.0.8.3 is given more than once; it is updated once\n"
              "orvex: 127.0.8.2 is given more than once; it is updated once\n",
              result.err);
    for (const auto& pSim : sims)
        EXPECT_TRUE(pSim->WaitForOutput("finishing byte 0x81", 5000)) << pSim->Output();
    EXPECT_EQ(std::string::npos, result.out.find("\"phones\":3"));
    EXPECT_NE(std::string::npos, result.out.find("\"phones\":2")) << result.out;

    // Twelve phones where nothing listens, each given twice.
    std::string list;
    for (int nRound = 0; nRound < 2; ++nRound)
        for (int i = 0; i < 12; ++i)
            list += "127.77.0." + std::to_string(200 + i) + "\n";
    const std::string doubled = File("doubled.txt", list);
    result = RunShell("exec \"$0\" update-program " + m_image +
                      " --connect-timeout 500 --phones-from " + doubled);
    EXPECT_EQ(1, result.nStatus);
    ASSERT_EQ(11, Lines(result.err)) << result.err;
    EXPECT_EQ(0u, result.err.find("orvex: 127.77.0.200 is given more than once"));
    EXPECT_NE(std::string::npos, result.err.find("orvex: 127.77.0.209 is given more than once"));
    EXPECT_EQ(std::string::npos, result.err.find("127.77.0.210"));
    EXPECT_NE(std::string::npos,
              result.err.find("orvex: 2 more phones are given more than once; each is updated "
                              "once\n"));
}
