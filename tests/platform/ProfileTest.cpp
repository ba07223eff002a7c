#include "Profile.h"
#include "TempProfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

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

// Stored text reads as it did through QString, on both platforms alike.
TEST(Profile, ParseProfileInt_ReadsTextAsQStringDoes) {
    using namespace std::string_literals;
    struct Case {
        std::string text;
        UINT expected;
    };
    const Case cases[] = {
        {"+7", 7u},
        {"007", 7u},
        {"-0", 77u},
        {"-2147483648", 0x80000000u},
        {"-2147483649", 77u},
        {"4294967295", 0xFFFFFFFFu},
        {"\t\r\n9\v\f", 9u},
        {"\u00A05\u3000", 5u}, // no-break and ideographic spaces
        {"\u200B5", 77u},      // a zero-width space is no blank
        {"\uFEFF6", 6u},       // a leading byte order mark
        {" \uFEFF6", 77u},     // elsewhere it is a character
        {"3\xC2", 77u},        // not UTF-8
        {"8 \0junk\xFF"s, 8u}, // the number ends at a NUL
        {"8\xC2\xA0\0"s, 77u},
        {"\08"s, 77u},   // a NUL, then 8
        {"\uFF15", 77u}, // a full-width digit
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseProfileInt(c.text, 77), c.expected) << "'" << c.text << "'";
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
