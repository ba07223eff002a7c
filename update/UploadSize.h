// How long an image the block upload can send, in one place, so the program
// update, orvex's reading of its input and `orvex check` refuse the same
// files.
#pragma once

#include <cstdint>

// Uploads are sent in whole multiples of this, the tail padded with 0xFF.
constexpr int64_t kUploadUnit = 256;
// The rounded length is a signed 32-bit count: 0x7FFFFF00 is the largest
// multiple of the unit that fits, so no longer image can be sent.
constexpr int64_t kMaxUploadLength = 0x7FFFFF00;

inline int64_t RoundedUploadLength(int64_t nLength) {
    return (nLength + kUploadUnit - 1) / kUploadUnit * kUploadUnit;
}
