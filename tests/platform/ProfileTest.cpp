#include "Profile.h"
#include "TempProfile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>

TEST(Profile, Int_RoundTripsFull32BitRangeAndDefaultsOtherwise) {
    CTempProfile profile;
    struct Case {
        const char* key;
        const char* stored; // raw text in the store, or null to write nValue
        int nValue;
        UINT expected;
    };
    const Case cases[] = {
        {"Address", nullptr, static_cast<int>(3232235777u), 3232235777u},
        {"Zero", nullptr, 0, 0u},
        {"AllOnes", nullptr, -1, 0xFFFFFFFFu},
        {"Text", "abc", 0, 77u},
        {"Empty", "", 0, 77u},
        {"TooBig", "4294967296", 0, 77u},
        {"Negative", "-5", 0, static_cast<UINT>(-5)},
        {"Spaces", " 42 ", 0, 42u},
    };
    for (const Case& c : cases) {
        if (c.stored != nullptr)
            WriteProfileString("S", c.key, c.stored);
        else
            WriteProfileInt("S", c.key, c.nValue);
        EXPECT_EQ(GetProfileInt("S", c.key, 77), c.expected) << c.key;
    }
    EXPECT_EQ(GetProfileInt("S", "Absent", 8739), 8739u);
    EXPECT_EQ(GetProfileInt("Absent", "Absent", -1), 0xFFFFFFFFu);
}

TEST(Profile, String_DefaultWhenAbsentAndKeepsUtf8Paths) {
    CTempProfile profile;
    EXPECT_EQ(GetProfileString("ProgramUpdate", "SrcName", "demo.bin"), "demo.bin");
    WriteProfileString("ProgramUpdate", "SrcName", "/tmp/prüfung/äpfel.bin");
    EXPECT_EQ(GetProfileString("ProgramUpdate", "SrcName", "demo.bin"), "/tmp/prüfung/äpfel.bin");
}

TEST(Profile, Store_LivesInTheFolderGivenWithSectionsAndKeys) {
    CTempProfile profile;
    WriteProfileInt("Peer", "IPAddress", static_cast<int>(3232235777u));
    const std::string file = GetProfileFileName();
    EXPECT_EQ(file, profile.Folder() + "/Quillmark Communications/OrvexToolKit.conf");
    const std::string text = profile.Contents();
    EXPECT_NE(text.find("[Peer]"), std::string::npos) << text;
    EXPECT_NE(text.find("IPAddress=3232235777"), std::string::npos) << text;
}
