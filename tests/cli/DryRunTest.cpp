// --dry-run against the real run: the real orvex binary with simulators on
// loopback. The dry run names the phones in the order the real run starts
// them and the bytes each receives, refuses what the real run refuses with
// the same words, and connects to no phone.
#include "OrvexRun.h"
#include "PhoneSim.h"
#include "SimFolderTest.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

COrvexRun RunOrvex(std::vector<std::string> args) {
    args.insert(args.begin(), ORVEX_PATH);
    return RunToEnd(args);
}

// The lines after the line "Phone" of a dry run.
std::vector<std::string> DryRunPhones(const std::string& out) {
    std::vector<std::string> phones;
    std::istringstream lines(out.substr(std::min(out.size(), out.find("\nPhone\n") + 7)));
    std::string line;
    while (std::getline(lines, line))
        phones.push_back(line);
    return phones;
}

class CDryRunTest : public CSimFolderTest {
protected:
    CDryRunTest() : CSimFolderTest("orvex-dry") {}
};

} // namespace

TEST_F(CDryRunTest, DryRun_AgainstRealRun_SamePhonesSameBytesNothingSent) {
    const std::vector<std::string> addresses = {"127.0.11.3", "127.0.11.1", "127.0.11.2"};
    std::vector<std::unique_ptr<CChildProcess>> sims;
    for (const auto& address : addresses) {
        sims.push_back(StartPhoneSimOn(address, {"--update-busy-ms", "60000", "--save",
                                                 (m_dir / (address + ".bin")).string()}));
        ASSERT_TRUE(sims.back()) << address;
    }
    const std::string image = File("image.bin", std::string(1000, 'd'));
    // Repeats across --phone and --phones-from, given in another order.
    const std::string list = File("phones.txt", "127.0.11.1\n127.0.11.3\n127.0.11.2\n");
    const std::vector<std::string> given = {
        "update-program", image, "--phone", "127.0.11.3", "--phone",         "127.0.11.1",
        "--phones-from",  list,  "-j",      "1",          "--check-timeout", "1000"};

    std::vector<std::string> dryArgs = given;
    dryArgs.push_back("--dry-run");
    const COrvexRun dry = RunOrvex(dryArgs);
    EXPECT_EQ(0, dry.nStatus) << dry.err;
    EXPECT_EQ(addresses, DryRunPhones(dry.out)) << dry.out;
    EXPECT_NE(std::string::npos,
              dry.out.find("each phone gets  1024 bytes in 8 blocks of 128 (24 bytes of 0xFF "
                           "padding), then the finishing byte 0x81\n"))
        << dry.out;
    EXPECT_NE(std::string::npos, dry.out.find("options          -j 1, --retries 0, "
                                              "--connect-timeout 2000 ms, --ack-timeout 10000 "
                                              "ms, --check-timeout 1000 ms\n"))
        << dry.out;
    for (size_t i = 0; i < addresses.size(); ++i) {
        EXPECT_EQ("", ReadAll(m_dir / (addresses[i] + ".bin"))) << addresses[i];
        EXPECT_FALSE(sims[i]->WaitForOutput("received", 10)) << sims[i]->Output();
    }

    std::vector<std::string> realArgs = given;
    realArgs.push_back("--json");
    const COrvexRun real = RunOrvex(realArgs);
    EXPECT_EQ(0, real.nStatus) << real.err;
    EXPECT_EQ(dry.err, real.err) << "the repeats are told alike";
    std::vector<std::string> started;
    std::istringstream lines(real.out);
    std::string line;
    while (std::getline(lines, line)) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (event.value("event").toString() == "start")
            started.push_back(event.value("phone").toString().toStdString());
    }
    EXPECT_EQ(addresses, started);
    for (const auto& address : addresses)
        EXPECT_EQ(std::string(1000, 'd') + std::string(24, '\xFF') + '\x81',
                  ReadAll(m_dir / (address + ".bin")))
            << address;
}

// What the real run refuses before any connection, the dry run refuses with
// the same line and status; what it accepts, the dry run accepts.
TEST_F(CDryRunTest, DryRun_BadInput_RefusedAsTheRealRunRefusesIt) {
    const std::string image = File("image.bin", "abc");
    const std::string empty = File("empty.bin", "");
    const std::string hex = File("demo.hex", ":0100000001FE\n:00000001FF\n");
    const std::string report = File("report.json", "[{\"address\":\"127.0.11.9\",\"ok\":true}]");
    const std::vector<std::vector<std::string>> cases = {
        {"update-program", empty, "--phone", "127.0.11.9"},
        {"update-program", image, "--phone", "127.0.0.300"},
        {"update-program", image},
        {"update-program", image, "--phone", "127.0.11.9", "--report",
         (m_dir / "none" / "r.json").string()},
        {"update-pflash", hex, "--phone", "127.0.11.9"},
        {"update-program", image, "--phones-from", report, "--only-failed"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[1] + " " + args.back());
        // The real run refuses these before it connects, so it is safe to run.
        const COrvexRun real = RunOrvex(args);
        std::vector<std::string> dryArgs = args;
        dryArgs.push_back("--dry-run");
        const COrvexRun dry = RunOrvex(dryArgs);
        EXPECT_NE(1, real.nStatus);
        EXPECT_EQ(real.nStatus, dry.nStatus);
        EXPECT_EQ(real.err, dry.err);
        EXPECT_EQ("", dry.out);
    }
}
