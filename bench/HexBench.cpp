#include "HexBench.h"

#include "BenchTable.h"
#include "LoadHexImage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr int kRecordBytes = 16;
// Loads for at least this long, so the clock's grain does not show.
constexpr double kMinSeconds = 1.0;

using Clock = std::chrono::steady_clock;

// 4096 data records of 16 bytes covering the page, then the end record.
std::string PageFile() {
    std::string text;
    char sz[64];
    for (int nAddress = 0; nAddress < kFlashPageSize; nAddress += kRecordBytes) {
        unsigned nSum = kRecordBytes + (nAddress >> 8) + (nAddress & 0xFF);
        int n = snprintf(sz, sizeof sz, ":%02X%04X00", kRecordBytes, nAddress);
        text.append(sz, static_cast<size_t>(n));
        for (int i = 0; i < kRecordBytes; ++i) {
            const unsigned nByte = static_cast<unsigned>(nAddress + i * 7) & 0xFF;
            nSum += nByte;
            n = snprintf(sz, sizeof sz, "%02X", nByte);
            text.append(sz, static_cast<size_t>(n));
        }
        n = snprintf(sz, sizeof sz, "%02X\r\n", (0x100 - (nSum & 0xFF)) & 0xFF);
        text.append(sz, static_cast<size_t>(n));
    }
    return text + ":00000001FF\r\n";
}
} // namespace

void RunHexBench(CBenchTable* pTable) {
    char path[] = "/tmp/orvex-bench-page0-XXXXXX";
    const int fd = mkstemp(path);
    const std::string text = PageFile();
    const bool bWritten =
        fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0)
        close(fd);
    std::vector<BYTE> image(kFlashPageSize);
    int nLoads = 0;
    bool bOk = bWritten;
    const auto start = Clock::now();
    double dSeconds = 0;
    while (bOk && dSeconds < kMinSeconds) {
        memset(image.data(), 0xFF, image.size());
        bOk = LoadHexImage(path, image.data()) == kFlashPageSize;
        ++nLoads;
        dSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    unlink(path);
    if (!bOk) {
        pTable->Add({"HEX", "64 KiB page file into the image", "-", 0, "", "", "error"});
        pTable->Note("HEX: the page file did not load as a full 64 KiB image");
        return;
    }
    const double dMBps = static_cast<double>(kFlashPageSize) * nLoads / dSeconds / 1e6;
    pTable->Add(
        {"HEX",
         "64 KiB page file (" + std::to_string(text.size() / 1024) + " KiB of text) into the image",
         Fixed(dMBps, 1), dMBps, "MB/s of image", "", ""});
}
