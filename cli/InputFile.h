// The checks a file from the command line passes before anything is sent.
#pragma once

#include <string>

// False with a one-line reason when path is missing, a folder, unreadable
// or, when bNonEmpty, empty.
bool CheckInputFile(const std::string& path, bool bNonEmpty, std::string* pError);
// False for a flash-page HEX file that the update would refuse, with the
// line and why. The page is read from readPath; path names it for the user.
bool CheckHexPage(const std::string& path, const std::string& readPath, std::string* pError);
// By its name: ".hex" in any case.
bool IsHexFileName(const std::string& path);
