// What file bytes reach the phone: orvex reads its input once, from wherever
// a shell can point it, and `check` approves exactly what the update sends.
// The real binary through a shell, against phone simulators on loopback.
#include "HexText.h"
#include "InputImage.h"
#include "OrvexRun.h"
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kEof = ":00000001FF";

std::string Pattern(size_t n, int nSeed) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(i * 7 + static_cast<size_t>(nSeed));
    return bytes;
}

std::vector<BYTE> PageBytes(int nFirst, int nCount) {
    std::vector<BYTE> v;
    for (int i = 0; i < nCount; ++i)
        v.push_back(static_cast<BYTE>(nFirst + i));
    return v;
}

// 32 bytes 0x00..0x1F at address 0, as two records.
std::string Record(int n) {
    return HexRecordLine(16 * n, PageBytes(16 * n, 16));
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// A command line through bash, as a script would run it.
COrvexRun RunShell(const std::string& command) {
    return RunToEnd({"/bin/bash", "-c", command});
}

// How the input reaches orvex: the shell text that stands for it, with
// whatever must run beside (a FIFO's writer) in front of the command.
enum class ESource { File, Fifo, StdinPipe, StdinRedirect, ProcessSubstitution, Symlink };

struct CInputCase {
    const char* pszName;
    bool bHexPage;
    std::string content;
    ESource source;
    std::string sent; // what the phone must receive; empty: nothing, refused
    const char* pszCheckSays = "";
    const char* pszFileName = nullptr; // the name on the command line, when it matters
};

// The program image padded with 0xFF to a multiple of 256, then 0x81.
std::string ProgramSent(const std::string& image) {
    return image + std::string((256 - image.size() % 256) % 256, '\xFF') + '\x81';
}

// The page's first nLength bytes, padded likewise, then 0x00.
std::string PageSent(int nLength) {
    std::string page;
    for (BYTE b : PageBytes(0, nLength))
        page += static_cast<char>(b);
    return page + std::string((256 - page.size() % 256) % 256, '\xFF') + '\x00';
}

class COrvexInputTest : public CSimFolderTest {
protected:
    COrvexInputTest() : CSimFolderTest("orvex-input") {}
    void TearDown() override {
        // A process still waiting to open a FIFO (a failed run) gets its
        // other end, and so an end of its own.
        for (const auto& entry : fs::recursive_directory_iterator(m_dir)) {
            if (!entry.is_fifo())
                continue;
            const int fd = open(entry.path().c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                close(fd);
        }
        CSimFolderTest::TearDown();
    }

    // The file, FIFO or link a case reads, and the shell words for it: what
    // runs before orvex, the path to name, and what follows orvex.
    struct CShellInput {
        std::string before, path, after;
    };
    CShellInput Prepare(const CInputCase& c, const std::string& tag) {
        const fs::path dir = m_dir / tag;
        fs::create_directories(dir);
        const std::string name =
            c.pszFileName ? c.pszFileName : (c.bHexPage ? "page0.hex" : "image.bin");
        const fs::path source = dir / ("source-" + name);
        if (c.content == "huge") {
            std::ofstream(source, std::ios::binary).close();
            fs::resize_file(source, 0x7FFFFF01); // one byte past what can be sent
        } else {
            std::ofstream(source, std::ios::binary) << c.content;
        }
        const fs::path path = dir / name;
        switch (c.source) {
        case ESource::File:
            // By its bare name, as typed: "-fw.bin" must not read as an option.
            fs::rename(source, path);
            return {"cd " + Quote(dir) + " && ", Quote(name), ""};
        case ESource::Fifo:
            if (!fs::exists(path))
                mkfifo(path.c_str(), 0600);
            return {"cat " + Quote(source) + " > " + Quote(path) + " & ", Quote(path), ""};
        case ESource::StdinPipe:
            return {"cat " + Quote(source) + " | ", "/dev/stdin", ""};
        case ESource::StdinRedirect:
            return {"", "/dev/stdin", " < " + Quote(source)};
        case ESource::ProcessSubstitution:
            return {"", "<(cat " + Quote(source) + ")", ""};
        case ESource::Symlink:
            fs::remove(path);
            fs::create_symlink(c.content, path);
            return {"", Quote(path), ""};
        }
        return {};
    }
};

// For every input, check says yes exactly when the update sends it, and the
// phone gets the bytes that were read, whatever kind of file gave them.
TEST_F(COrvexInputTest, CheckAndUpdate_SameInputs_AgreeAndThePhoneGetsTheBytesRead) {
    const std::string image = Pattern(5000, 3);
    const std::string good = Record(0) + "\n" + Record(1) + "\n" + kEof + "\n";
    const std::string cut = Record(0) + "\n" + Record(1) + "\n";
    const std::vector<CInputCase> cases = {
        {"ProgramFile", false, image, ESource::File, ProgramSent(image), "5120 bytes in 40 blocks"},
        {"ProgramNamedLikeAnOption", false, image, ESource::File, ProgramSent(image), "",
         "-fw.bin"},
        {"ProgramFromFifo", false, image, ESource::Fifo, ProgramSent(image)},
        {"ProgramStdinPipe", false, image, ESource::StdinPipe, ProgramSent(image)},
        {"ProgramStdinRedirect", false, image, ESource::StdinRedirect, ProgramSent(image)},
        {"ProgramProcessSubstitution", false, image, ESource::ProcessSubstitution,
         ProgramSent(image)},
        {"ProgramEmptyFile", false, "", ESource::File, "", "image.bin: is empty"},
        {"ProgramEmptyPipe", false, "", ESource::StdinPipe, "", "/dev/stdin: is empty"},
        {"ProgramTooLong", false, "huge", ESource::File, "",
         "is longer than 2147483392 bytes, more than an update can send"},
        {"PageFile", true, good, ESource::File, PageSent(32), "end record    line 3"},
        {"PageMacLineEnds", true, Record(0) + "\r" + Record(1) + "\r" + kEof + "\r", ESource::Fifo,
         PageSent(32)},
        {"PageWithoutEndRecord", true, cut, ESource::StdinPipe, PageSent(32),
         "end record    missing"},
        {"PageCtrlZEnds", true, cut + "\x1A" + "garbage\n" + Record(2) + "\n", ESource::File,
         PageSent(32)},
        {"PageRecordsJoined", true, Record(0) + Record(1) + "\n" + kEof + "\n", ESource::File, "",
         "line 1: text after the checksum"},
        {"PageBadChecksum", true, Record(0) + "\n:0100200000DE\n", ESource::File, "",
         "line 2: checksum DE, expected DF"},
        {"PageDevZero", true, "/dev/zero", ESource::Symlink, "", "line 1: line too long"},
        {"PageEmpty", true, "", ESource::File, "", "page0.hex: is empty"},
        {"PageCtrlZFirst", true, "\x1A" + good, ESource::File, "", "no data"},
    };
    struct CResult {
        COrvexRun check, update;
        std::string received;
    };
    std::vector<std::future<CResult>> results;
    for (size_t i = 0; i < cases.size(); ++i) {
        const CInputCase& c = cases[i];
        const std::string address = "127.0.0." + std::to_string(140 + i);
        const std::string tag = std::to_string(i);
        const fs::path saved = m_dir / ("received-" + tag);
        // Each check and update reads a fresh FIFO or pipe.
        const CShellInput forCheck = Prepare(c, tag + "-check");
        const CShellInput forUpdate = Prepare(c, tag + "-update");
        results.push_back(std::async(std::launch::async, [=]() {
            CResult result;
            result.check = RunShell(forCheck.before + Quote(ORVEX_PATH) + " check --as " +
                                    (c.bHexPage ? "pflash" : "program") + " -- " + forCheck.path +
                                    forCheck.after);
            auto pSim = StartPhoneSimOn(address, {"--save", saved.string()});
            if (!pSim)
                return result;
            result.update =
                RunShell(forUpdate.before + Quote(ORVEX_PATH) +
                         (c.bHexPage ? " update-pflash --yes" : " update-program") + " --phone " +
                         address + " --check-timeout 300 -- " + forUpdate.path + forUpdate.after);
            result.received = ReadAll(saved);
            return result;
        }));
    }
    for (size_t i = 0; i < cases.size(); ++i) {
        const CInputCase& c = cases[i];
        SCOPED_TRACE(c.pszName);
        const CResult result = results[i].get();
        const bool bSent = !c.sent.empty();
        EXPECT_EQ(bSent, result.check.nStatus == 0) << result.check.out << result.check.err;
        EXPECT_EQ(bSent ? 0 : 2, result.update.nStatus) << result.update.out << result.update.err;
        EXPECT_TRUE(result.received == c.sent)
            << "the phone got " << result.received.size() << " bytes, not " << c.sent.size();
        EXPECT_NE(std::string::npos, (result.check.out + result.check.err).find(c.pszCheckSays))
            << result.check.out << result.check.err;
        if (!bSent) {
            // The update gives check's reason, in one line.
            const std::string& why = result.update.err;
            EXPECT_EQ(1, std::count(why.begin(), why.end(), '\n')) << why;
            EXPECT_NE(std::string::npos, why.find(c.pszCheckSays)) << why;
        }
    }
}

// A file rewritten while the phones are updated: each phone, the later ones
// too, gets the bytes that were read and checked at the start.
TEST_F(COrvexInputTest, UpdateProgram_FileChangedDuringRun_EveryPhoneGetsTheBytesChecked) {
    const std::vector<std::string> addresses = {"127.0.0.131", "127.0.0.132"};
    std::vector<std::unique_ptr<CChildProcess>> sims;
    for (size_t i = 0; i < addresses.size(); ++i) {
        // The first phone answers slowly, so the rewrite falls within its transfer.
        std::vector<std::string> args{"--save", (m_dir / ("saved" + std::to_string(i))).string()};
        if (i == 0)
            args.insert(args.end(), {"--ack-delay", "20"});
        sims.push_back(StartPhoneSimOn(addresses[i], args));
        ASSERT_TRUE(sims.back());
    }
    const fs::path path = m_dir / "image.bin";
    const std::string image = Pattern(16 * 1024, 5);
    std::ofstream(path, std::ios::binary) << image;
    // -j 1: the second phone's worker starts after the rewrite.
    auto pRun = CChildProcess::StartApart({ORVEX_PATH, "update-program", "--json", "-j", "1",
                                           "--check-timeout", "300", "--phone", addresses[0],
                                           "--phone", addresses[1], path.string()});
    ASSERT_TRUE(pRun && pRun->WaitForOutput("\"event\":\"progress\"", 20000)) << pRun->Output();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << Pattern(700, 9);
    EXPECT_EQ(0, ExitStatus(pRun->Wait(60000))) << pRun->Output() << pRun->Errors();
    for (size_t i = 0; i < addresses.size(); ++i)
        EXPECT_TRUE(ReadAll(m_dir / ("saved" + std::to_string(i))) == ProgramSent(image))
            << addresses[i];
}

// What the workers are handed cannot change under them: sealed against
// writes and resizing, and against removing the seals; a HEX page keeps
// only what the reader can reach.
TEST_F(COrvexInputTest, InputImage_Read_SealedCopyOfWhatTheReaderReaches) {
    const fs::path path = m_dir / "image.bin";
    const std::string image = Pattern(70000, 1);
    std::ofstream(path, std::ios::binary) << image;
    CInputImage input;
    std::string error;
    ASSERT_TRUE(input.Read(path.string(), false, &error)) << error;
    EXPECT_GT(input.Fd(), STDERR_FILENO);
    EXPECT_EQ(F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL,
              fcntl(input.Fd(), F_GET_SEALS));
    EXPECT_EQ(-1, pwrite(input.Fd(), "x", 1, 0));
    EXPECT_EQ(-1, ftruncate(input.Fd(), 1));
    EXPECT_EQ(70000, input.Length());
    EXPECT_TRUE(ReadAll(input.Path()) == image);

    // /dev/zero as a page: one character past the longest line, then no more.
    CInputImage zero;
    ASSERT_TRUE(zero.Read("/dev/zero", true, &error)) << error;
    EXPECT_EQ(522, zero.Length());
    CInputImage ended;
    std::ofstream(m_dir / "ended.hex", std::ios::binary) << Record(0) << "\r\n\x1A" << Record(1);
    ASSERT_TRUE(ended.Read((m_dir / "ended.hex").string(), true, &error)) << error;
    EXPECT_EQ(static_cast<int64_t>(Record(0).size() + 2), ended.Length());
}

// A FIFO gives its bytes once; a retry still sends them, from the start.
TEST_F(COrvexInputTest, UpdateProgram_FifoRetried_EachAttemptSendsTheImageFromItsStart) {
    const std::string address = "127.0.0.135";
    const fs::path saved = m_dir / "saved";
    // Answers two blocks of each connection, then nothing.
    auto pSim = StartPhoneSimOn(address, {"--stop-after", "2", "--save", saved.string()});
    ASSERT_TRUE(pSim);
    const std::string image = Pattern(4096, 11);
    const fs::path source = m_dir / "source.bin";
    std::ofstream(source, std::ios::binary) << image;
    const fs::path fifo = m_dir / "image.bin";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    const COrvexRun run = RunShell("cat " + Quote(source) + " > " + Quote(fifo) + " & " +
                                   Quote(ORVEX_PATH) + " update-program --json --retries 1 " +
                                   "--ack-timeout 500 --phone " + address + " -- " + Quote(fifo));
    EXPECT_EQ(1, run.nStatus) << run.out << run.err;
    EXPECT_NE(std::string::npos, run.out.find("\"attempts\":2")) << run.out;
    // What the second connection got: the image's first blocks.
    const std::string got = ReadAll(saved);
    EXPECT_GE(got.size(), 256u);
    EXPECT_TRUE(got.size() < image.size() && image.compare(0, got.size(), got) == 0)
        << got.size() << " bytes that are not the image's beginning";
}

} // namespace
