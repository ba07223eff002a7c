// orvex check FILE: reads a program image or a flash-page HEX file as the
// update would, without a network, and tells what would be sent.
#pragma once

#include <string>

// bHexPage: read FILE as update-pflash would; otherwise as update-program.
// 0 the update would send it, 1 it would refuse it, 2 it would refuse it
// before reading it as a page (no file to read, empty, too long).
int RunCheckCommand(const std::string& path, bool bHexPage);
