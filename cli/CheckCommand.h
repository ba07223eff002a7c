// orvex check FILE: reads a program image or a flash-page HEX file as the
// update would, without a network, and tells what would be sent.
#pragma once

#include <string>

// 0 the update would send it, 1 it would refuse it, 2 no file to read.
int RunCheckCommand(const std::string& path);
