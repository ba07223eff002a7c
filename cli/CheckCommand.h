// orvex check FILE: reads a program image or a flash-page HEX file as the
// update would, without a network, and tells what would be sent.
#pragma once

#include <string>

class CInputImage;

// bHexPage: read FILE as update-pflash would; otherwise as update-program.
// 0 the update would send it, 1 it would refuse it, 2 it would refuse it
// before reading it as a page (no file to read, empty, too long).
int RunCheckCommand(const std::string& path, bool bHexPage);

// What the update sends for an image of nLength bytes: the bytes with their
// padding, the blocks and the finishing byte, as one line.
std::string DescribeSent(long long nLength, bool bFlashPage);
// The image length the update sends of input (a program image byte for
// byte, or the flash page LoadHexImage makes of a HEX file); -1 when it
// would refuse it.
long long SentImageLength(const CInputImage& input, bool bFlashPage);
