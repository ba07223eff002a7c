#include "TempProfile.h"

#include "Profile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

CTempProfile::CTempProfile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvex-profile-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
        m_folder = pattern;
    else
        std::abort(); // never fall back to the user's own profile
    SetProfileFolder(m_folder);
}

CTempProfile::~CTempProfile() {
    SetProfileFolder("");
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

std::string CTempProfile::Contents() const {
    std::ifstream in(GetProfileFileName());
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
