// The checks a file from the command line passes before anything is sent.
#pragma once

#include <string>

// False with a one-line reason when path is missing, a folder, unreadable
// or, when bNonEmpty, empty.
bool CheckInputFile(const std::string& path, bool bNonEmpty, std::string* pError);
// A flash-page HEX file that the update would refuse: the line and why.
bool CheckHexPage(const std::string& path, std::string* pError);
// By its name: ".hex" in any case.
bool IsHexFileName(const std::string& path);
