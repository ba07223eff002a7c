// Points the profile at a fresh temporary folder for the life of the object,
// so no test reads or writes the user's own settings.
#pragma once

#include <string>

class CTempProfile {
public:
    CTempProfile();
    ~CTempProfile();
    const std::string& Folder() const { return m_folder; }
    // The whole profile file, or "" when nothing was written yet.
    std::string Contents() const;

private:
    std::string m_folder;
};
