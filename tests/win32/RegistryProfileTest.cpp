// The profile in the registry, run under Wine in a prefix of its own, so the
// key it writes is the user's real one. Wine's reg.exe reads it back as a
// second opinion on where the values are and of which type.
#include "MemoryProfileStore.h"
#include "Profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char kProfileKey[] = "HKEY_CURRENT_USER\\Software\\Quillmark Communications\\OrvexToolKit";

// What `reg query KEY /v VALUE` prints, or "" when it fails.
std::string RegQuery(const std::string& key, const std::string& value) {
    const std::string command = "reg query \"" + key + "\" /v " + value + " 2>nul";
    FILE* pPipe = _popen(command.c_str(), "r");
    if (pPipe == nullptr)
        return "";
    std::string out;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pPipe) != nullptr)
        out += buffer;
    return _pclose(pPipe) == 0 ? out : "";
}

// Each case starts from a user who never ran the tool, also when the suite
// runs again in the same prefix.
class RegistryProfile : public ::testing::Test {
protected:
    void SetUp() override {
        std::system((std::string("reg delete \"") + kProfileKey + "\" /f >nul 2>nul").c_str());
    }
};

} // namespace

TEST_F(RegistryProfile, Int_RoundTripsFull32BitRangeAndDefaultsWhenAbsentOrNotADword) {
    struct Case {
        const char* pszKey;
        const char* pszStored; // written as a string, or null to write nValue
        int nValue;
        UINT nExpected;
    };
    const Case cases[] = {
        {"Address", nullptr, static_cast<int>(3232235777u), 3232235777u},
        {"Zero", nullptr, 0, 0u},
        {"AllOnes", nullptr, -1, 0xFFFFFFFFu},
        // A string value is not an integer, whatever it says.
        {"Text", "42", 0, 77u},
    };
    for (const Case& c : cases) {
        if (c.pszStored != nullptr)
            ASSERT_TRUE(WriteProfileString("IntCases", c.pszKey, c.pszStored));
        else
            ASSERT_TRUE(WriteProfileInt("IntCases", c.pszKey, c.nValue));
        EXPECT_EQ(GetProfileInt("IntCases", c.pszKey, 77), c.nExpected) << c.pszKey;
    }
    EXPECT_EQ(GetProfileInt("IntCases", "Absent", 8739), 8739u);
    EXPECT_EQ(GetProfileInt("AbsentSection", "Absent", -1), 0xFFFFFFFFu);
}

TEST_F(RegistryProfile, String_DefaultsWhenAbsentOrNotAStringAndKeepsPaths) {
    EXPECT_EQ(GetProfileString("ProgramUpdate", "SrcName", "demo.bin"), "demo.bin");
    ASSERT_TRUE(WriteProfileString("ProgramUpdate", "SrcName", "C:\\Firmware\\phone 2.bin"));
    EXPECT_EQ(GetProfileString("ProgramUpdate", "SrcName", "demo.bin"),
              "C:\\Firmware\\phone 2.bin");
    ASSERT_TRUE(WriteProfileString("ProgramUpdate", "Empty", ""));
    EXPECT_EQ(GetProfileString("ProgramUpdate", "Empty", "demo.bin"), "");
    ASSERT_TRUE(WriteProfileInt("ProgramUpdate", "Number", 5));
    EXPECT_EQ(GetProfileString("ProgramUpdate", "Number", "demo.bin"), "demo.bin");
}

TEST_F(RegistryProfile, Values_LieInTheUsersKeyAsDwordAndString) {
    ASSERT_EQ(GetProfileFileName(), kProfileKey);
    ASSERT_TRUE(WriteProfileInt("Peer", "IPAddress", static_cast<int>(3232235777u)));
    ASSERT_TRUE(WriteProfileString("PFlashUpdate", "SrcName", "C:\\pages\\demo.hex"));
    const std::string address = RegQuery(std::string(kProfileKey) + "\\Peer", "IPAddress");
    EXPECT_NE(address.find("REG_DWORD"), std::string::npos) << address;
    EXPECT_NE(address.find("0xc0a80101"), std::string::npos) << address;
    const std::string name = RegQuery(std::string(kProfileKey) + "\\PFlashUpdate", "SrcName");
    EXPECT_NE(name.find("REG_SZ"), std::string::npos) << name;
    EXPECT_NE(name.find("C:\\pages\\demo.hex"), std::string::npos) << name;
}

TEST_F(RegistryProfile, Folder_MovesTheProfileBelowAnotherKeyAndBack) {
    SetProfileFolder("Software\\OrvexTests");
    EXPECT_EQ(GetProfileFileName(),
              "HKEY_CURRENT_USER\\Software\\OrvexTests\\Quillmark Communications\\OrvexToolKit");
    ASSERT_TRUE(WriteProfileInt("Comm", "Type", 0));
    EXPECT_EQ(GetProfileInt("Comm", "Type", 1), 0u);
    SetProfileFolder("");
    EXPECT_EQ(GetProfileInt("Comm", "Type", 1), 1u) << "the user's own profile was left alone";
    EXPECT_NE(RegQuery("HKEY_CURRENT_USER\\Software\\OrvexTests\\Quillmark "
                       "Communications\\OrvexToolKit\\Comm",
                       "Type")
                  .find("REG_DWORD"),
              std::string::npos);
}

TEST(MemoryProfile, Int_ParsesStoredTextAsOnLinux) {
    CMemoryProfileStore store;
    SetProfileStore(&store);
    struct Case {
        const char* pszStored;
        UINT nExpected;
    };
    const Case cases[] = {
        {"3232235777", 3232235777u},
        {"abc", 77u},
        {"", 77u},
        {"4294967296", 77u},
        {"-5", static_cast<UINT>(-5)},
        {" 42 ", 42u},
        {"-2147483648", 0x80000000u},
        {"-2147483649", 77u},
        {"4 2", 77u},
        {"-0", 77u},
        {"\u00A042", 42u},
        {"\uFEFF6", 6u},
    };
    for (const Case& c : cases) {
        WriteProfileString("S", "K", c.pszStored);
        EXPECT_EQ(GetProfileInt("S", "K", 77), c.nExpected) << "'" << c.pszStored << "'";
    }
    SetProfileStore(nullptr);
}
