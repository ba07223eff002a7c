// orvex's JSON, byte for byte: reply texts and numbers as every line and
// report has always written them, and the --phones-from JSON it has always
// taken or refused, with the same reasons. The expected bytes are what the
// earlier writer and reader gave.
#include "JsonText.h"
#include "PhoneListReader.h"
#include "ReportFile.h"
#include "WorkerOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace std::string_literals;

const std::string kDeep1024 = std::string(1024, '[') + std::string(1024, ']');
const std::string kDeep1025 = std::string(1025, '[') + std::string(1025, ']');

std::string Printable(const std::string& text) {
    std::string shown;
    for (unsigned char c : text) {
        char sz[8];
        snprintf(sz, sizeof sz, c < 0x20 || c >= 0x7F ? "\\x%02X" : "%c", c);
        shown += sz;
    }
    return shown;
}

// n replacement characters (U+FFFD), what each byte that is no UTF-8 becomes.
std::string Replaced(int n) {
    std::string text;
    while (n-- > 0)
        text += "\xEF\xBF\xBD";
    return text;
}

// What a worker writes to its standard output for the calls of write.
template <typename Write> std::string WorkerLines(Write write) {
    FILE* pFile = tmpfile();
    {
        CWorkerOutput out(pFile);
        write(out);
    }
    std::string text(4096, '\0');
    const ssize_t nRead = pread(fileno(pFile), text.data(), text.size(), 0);
    fclose(pFile);
    text.resize(nRead > 0 ? static_cast<size_t>(nRead) : 0);
    return text;
}

} // namespace

// A phone's reply text may hold control characters, a byte order mark or
// bytes that are no UTF-8.
TEST(JsonTextTest, ReplyTexts_EscapedAndMadeValidAsBefore) {
    struct CCase {
        std::string text;
        std::string json;
    };
    const std::vector<CCase> cases = {
        {"plain", "{\"text\":\"plain\"}"},
        {"tab\there\nline\r\x01\x1F\x7F\b\f\0"s,
         "{\"text\":\"tab\\there\\nline\\r\\u0001\\u001f\x7F\\b\\f\\u0000\"}"},
        {"quote\" back\\ slash/", "{\"text\":\"quote\\\" back\\\\ slash/\"}"},
        {"caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80",
         "{\"text\":\"caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80\"}"},
        {"bad \xFF\xFE end", "{\"text\":\"bad " + Replaced(2) + " end\"}"},
        {"cut \xE4\xB8", "{\"text\":\"cut " + Replaced(2) + "\"}"},
        {"overlong \xC0\xAF", "{\"text\":\"overlong " + Replaced(2) + "\"}"},
        {"surrogate \xED\xA0\x80", "{\"text\":\"surrogate " + Replaced(3) + "\"}"},
        {"past \xF4\x90\x80\x80", "{\"text\":\"past " + Replaced(4) + "\"}"},
        {"\xEF\xBB\xBF"
         "bom \xEF\xBB\xBF",
         "{\"text\":\"bom \xEF\xBB\xBF\"}"},
        {"nul \0 in"s, "{\"text\":\"nul \\u0000 in\"}"},
        {"stray \x80\xBF", "{\"text\":\"stray " + Replaced(2) + "\"}"},
        {"overlong3 \xE0\x80\xAF", "{\"text\":\"overlong3 " + Replaced(3) + "\"}"},
        {"overlong4 \xF0\x80\x80\xAF", "{\"text\":\"overlong4 " + Replaced(4) + "\"}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Printable(CompactJson({{"text", JsonText(c.text)}})), Printable(c.json))
            << Printable(c.text);
}

TEST(JsonTextTest, Numbers_ShortestFormAsBefore) {
    struct CCase {
        double dValue;
        std::string json;
    };
    const std::vector<CCase> cases = {
        {0, "{\"n\":0}"},
        {0.001, "{\"n\":0.001}"},
        {0.10000000000000001, "{\"n\":0.1}"},
        {1.5, "{\"n\":1.5}"},
        {1234.5, "{\"n\":1234.5}"},
        {1.0000000000000001e-05, "{\"n\":1e-05}"},
        {0.0001, "{\"n\":1e-04}"},
        {1.4999999999999999e-07, "{\"n\":1.5e-07}"},
        {1024, "{\"n\":1024}"},
        {1000000, "{\"n\":1000000}"},
        {9007199254740992, "{\"n\":9007199254740992}"},
        {9007199254740994, "{\"n\":9007199254740994}"},
        {2.5e+18, "{\"n\":2.5e+18}"},
        {1.4626538958784109e+20, "{\"n\":146265389587841090000}"},
        {-3.9840730058163845e+18, "{\"n\":-3984073005816384500}"},
        {1e+21, "{\"n\":1e+21}"},
        {123456789012.345, "{\"n\":123456789012.345}"},
        {6.5295934543756564e+47, "{\"n\":6.529593454375656e+47}"},
        {-0.25, "{\"n\":-0.25}"},
        {4.9406564584124654e-324, "{\"n\":5e-324}"},
        {std::nan(""), "{\"n\":null}"},
        {HUGE_VAL, "{\"n\":null}"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CompactJson({{"n", JsonNumber(c.dValue)}}), c.json) << c.dValue;
}

// The writers themselves: keys in ascending order, compact, one a line.
TEST(JsonTextTest, ReportRowAndWorkerLines_ByteForByte) {
    CPhoneRun run;
    run.address = "10.0.0.1";
    run.outcome = "failed";
    run.text = "No answer \x01\xFF";
    run.nBytes = 1024;
    run.dSeconds = 12.5004;
    run.nAttempt = 2;
    run.versionBefore = "IP Phone v1.0";
    const std::string row =
        "{\"address\":\"10.0.0.1\",\"attempts\":2,\"bytes\":1024,\"ok\":false,\"outcome\":"
        "\"failed\",\"seconds\":12.5,\"text\":\"No answer "
        "\\u0001\xEF\xBF\xBD\",\"versionAfter\":\"\",\"versionBefore\":\"IP Phone v1.0\"}";
    EXPECT_EQ(Printable(CReportFile::Json({run, run})),
              Printable("[\n  " + row + ",\n  " + row + "\n]\n"));
    EXPECT_EQ(CReportFile::Json({}), "[]\n");

    EXPECT_EQ(
        Printable(WorkerLines([](CWorkerOutput& out) {
            out.State("sending");
            out.Progress(1024, 4096, 0.0001);
            out.Done("failed", "Tab\there \xC3", 1024, false);
        })),
        Printable(
            "{\"event\":\"state\",\"state\":\"sending\"}\n{\"bytes\":1024,\"event\":\"progress\","
            "\"seconds\":1e-04,\"total\":4096}\n{\"bytes\":1024,\"event\":\"done\",\"finished\":"
            "false,\"outcome\":\"failed\",\"text\":\"Tab\\there \xEF\xBF\xBD\"}\n"));
}

// What --phones-from takes and refuses in JSON, plain and with --only-failed.
TEST(JsonReaderTest, ReadPhoneList_JsonTakenAndRefusedAsBefore) {
    struct CRead {
        bool bRead;
        std::vector<DWORD> phones;
        std::string error;
    };
    struct CCase {
        std::string text;
        CRead plain;
        CRead onlyFailed;
    };
    // The JSON that --report writes: --only-failed takes the failed phones.
    std::vector<CCase> cases = {
        {"[{\"address\": \"10.0.0.1\", \"ok\": true}, {\"address\": \"10.0.0.2\", \"ok\": false}]",
         {true, {167772161u, 167772162u}, ""},
         {true, {167772162u}, ""}},
    };
    // Refused alike with --only-failed and without.
    const std::pair<std::string, std::string> refused[] = {
        {"[1e999]", "line 1: illegal number"},
        {"[2e-324]", "line 1: illegal number"},
        {"[-]", "line 1: illegal number"},
        {"[1e]", "line 1: illegal number"},
        {"[01]", "line 1: missing value separator"},
        {"[1", "line 1: invalid termination by number"},
        {"[\"10.0.0.1\",]", "line 1: object is missing after a comma"},
        {"[\"10.0.0.1\" \"10.0.0.2\"]", "line 1: missing value separator"},
        {"[{\"ip\" \"10.0.0.1\"}]", "line 1: missing name separator"},
        {"[{\"ip\": \"10.0.0.1\",}]", "line 1: object is missing after a comma"},
        {"[{\"ip\": \"10.0.0.1\"", "line 1: unterminated string"},
        {"[\"10.0.0.1\"", "line 1: unterminated string"},
        {"[\"10.0.0.1", "line 1: unterminated string"},
        {"[nul]", "line 1: illegal value"},
        {"[tru]", "line 1: illegal value"},
        {"[\"a\\u12\"]", "line 1: invalid escape sequence"},
        {"[\"\xFF\"]", "line 1: invalid UTF8 string"},
        {"[\"\xED\xA0\x80\"]", "line 1: invalid UTF8 string"},
        {"[\"10.0.0.1\"] x", "line 1: garbage at the end of the document"},
        {"\x0A\x0A[\x0A\"10.0.0.1\",\x0A\x0A\"x\xC3\"]", "line 6: invalid UTF8 string"},
        {"[\x0C\"10.0.0.1\"]", "line 1: illegal number"},
        {"\x0C[\"10.0.0.1\"]", "line 1: illegal value"},
        {"[\"10.0.0.1\"]\x0C", "line 1: garbage at the end of the document"},
        {"[{:}]", "line 1: unterminated object"},
        {"[,]", "line 1: illegal value"},
        {"[{\"a\":,}]", "line 1: illegal value"},
        {kDeep1025, "line 1: too deeply nested document"},
        {"[null", "line 1: illegal value"},
        {"[true", "line 1: illegal value"},
        {"[false", "line 1: illegal value"},
    };
    for (const auto& [text, error] : refused)
        cases.push_back({text, {false, {}, error}, {false, {}, error}});
    // Without "ok", which --only-failed needs.
    const CRead noOk = {
        false, {}, "entry 1: no \"ok\" (--only-failed reads the JSON that --report writes)"};
    const std::pair<std::string, CRead> withoutOk[] = {
        {"[\"10.0.0.1\", {\"ip\": \"10.0.0.2\"}, {\"address\": \"10.0.0.3\", \"ok\": false}]",
         {true, {167772161u, 167772162u, 167772163u}, ""}},
        {"[{\"ip\": \"10.0.0.1\", \"ip\": \"10.0.0.2\"}]", {true, {167772162u}, ""}},
        {"[{\"address\": \"10.0.0.9\", \"ip\": \"10.0.0.1\"}]", {true, {167772161u}, ""}},
        {"[\"\\u0031\\u0030.0.0.1\", \"10.0.0.\\u0032\"]", {true, {167772161u, 167772162u}, ""}},
        {"[\"\xEF\xBB\xBF"
         "10.0.0.1\"]",
         {true, {167772161u}, ""}},
        {"[\"\\ufeff10.0.0.1\"]",
         {false,
          {},
          "entry 1: \"\xEF\xBB\xBF"
          "10.0.0.1\" is not an IPv4 address"}},
        {"[{\"\xEF\xBB\xBFip\": \"10.0.0.1\"}]", {false, {}, "entry 1: no \"ip\" address"}},
        {"[\"10.0.0.1\", {\"ok\": true, \"n\": [1, 2.5e3, -0, .5, 1., null, {}]}]",
         {false, {}, "entry 2: no \"ip\" address"}},
        {"[\"\\x10.0.0.1\"]", {false, {}, "entry 1: \"x10.0.0.1\" is not an IPv4 address"}},
        {"[\"\\ud800\\t\"]", {false, {}, "entry 1: \"??\" is not an IPv4 address"}},
        {"[\"tab\x09here\"]", {false, {}, "entry 1: \"tab?here\" is not an IPv4 address"}},
        {"[5e-324, \"1.2.3.4\"]", {false, {}, "entry 1: no \"ip\" address"}},
        {"[null]", {false, {}, "entry 1: no \"ip\" address"}},
        {"[true ]", {false, {}, "entry 1: no \"ip\" address"}},
        {"[\"10.0.0.1\"]\x0A\x0A", {true, {167772161u}, ""}},
        {"[\"\\/10.0.0.1\"]", {false, {}, "entry 1: \"/10.0.0.1\" is not an IPv4 address"}},
        {kDeep1024, {false, {}, "entry 1: no \"ip\" address"}},
        {"[{\"address\": \"10.0.0.1\", \"ok\": 0}]", {true, {167772161u}, ""}},
        {"[\"10.0.0.1\"]", {true, {167772161u}, ""}},
        {"[{\"ip\": 10}]", {false, {}, "entry 1: no \"ip\" address"}},
        {"[\"01234567890123456789012345678901234567890123456789\"]",
         {false,
          {},
          "entry 1: \"0123456789012345678901234567890123456789...\" is not an IPv4 address"}},
        {"[\"\\udc00x\"]", {false, {}, "entry 1: \"?x\" is not an IPv4 address"}},
        {"[\"a\\\\\"]", {false, {}, "entry 1: \"a\\\" is not an IPv4 address"}},
        {"[\"\\uD83D\\uDE00\"]",
         {false, {}, "entry 1: \"\xF0\x9F\x98\x80\" is not an IPv4 address"}},
    };
    for (const auto& [text, plain] : withoutOk)
        cases.push_back({text, plain, noOk});
    for (const CCase& c : cases) {
        for (bool bOnlyFailed : {false, true}) {
            const CRead& expected = bOnlyFailed ? c.onlyFailed : c.plain;
            std::vector<DWORD> phones;
            std::string error;
            EXPECT_EQ(ReadPhoneList(c.text, &phones, &error, bOnlyFailed), expected.bRead)
                << Printable(c.text.substr(0, 80)) << " " << bOnlyFailed;
            EXPECT_EQ(phones, expected.phones) << Printable(c.text.substr(0, 80));
            EXPECT_EQ(Printable(error), Printable(expected.error))
                << Printable(c.text.substr(0, 80)) << " " << bOnlyFailed;
        }
    }
}
