#include "PhoneReply.h"
#include "ResolveHostAddress.h"
#include "SocketApi.h"

#include <gtest/gtest.h>
#include <vector>

namespace {
// A 63-byte record with the given fields; texts are copied without limit
// checks so a test can fill a field to its end.
std::vector<BYTE> Record(std::vector<BYTE> ip, std::vector<BYTE> mac, const std::string& type,
                         const std::string& number, BYTE ipType, BYTE loggedOn, BYTE busy) {
    std::vector<BYTE> r(63, 0);
    std::copy(ip.begin(), ip.end(), r.begin());
    std::copy(mac.begin(), mac.end(), r.begin() + 4);
    std::copy(type.begin(), type.end(), r.begin() + 10);
    std::copy(number.begin(), number.end(), r.begin() + 40);
    r[60] = ipType;
    r[61] = loggedOn;
    r[62] = busy;
    return r;
}
} // namespace

TEST(PhoneReplyTest, Decode_GivesTheSevenTexts) {
    struct CCase {
        std::vector<BYTE> bytes;
        PhoneTexts texts;
    };
    const std::string type30(30, 'T');
    const std::string number20(20, '7');
    std::vector<BYTE> longer = Record({10, 0, 0, 5}, {0, 0, 0, 0, 0, 0}, "x", "1", 3, 0, 255);
    longer.push_back('!'); // bytes after the record are ignored
    const std::vector<CCase> table = {
        {Record({192, 168, 0, 20}, {0, 9, 69, 16, 171, 205}, "VoIP v2.3", "2001", 2, 1, 0),
         {"192.168.0.20", "00-09-45-10-ab-cd", "VoIP v2.3", "pppoe", "2001", "Yes", "No"}},
        {Record({255, 0, 7, 1}, {255, 255, 255, 255, 255, 255}, "", "", 4, 2, 1),
         {"255.0.7.1", "ff-ff-ff-ff-ff-ff", "", "", "", "No", "Yes"}},
        {Record({1, 2, 3, 4}, {1, 2, 3, 4, 5, 6}, "a", "b", 0, 0, 0),
         {"1.2.3.4", "01-02-03-04-05-06", "a", "static", "b", "No", "No"}},
        {Record({1, 2, 3, 4}, {1, 2, 3, 4, 5, 6}, "a", "b", 1, 1, 1),
         {"1.2.3.4", "01-02-03-04-05-06", "a", "dhcp", "b", "Yes", "Yes"}},
        // Fields without their zero byte end at the field's end.
        {Record({1, 2, 3, 4}, {1, 2, 3, 4, 5, 6}, type30, number20, 3, 1, 0),
         {"1.2.3.4", "01-02-03-04-05-06", type30, "modem", number20, "Yes", "No"}},
        {longer, {"10.0.0.5", "00-00-00-00-00-00", "x", "modem", "1", "No", "No"}},
    };
    for (const CCase& c : table) {
        PhoneTexts texts;
        ASSERT_TRUE(DecodePhoneReply(c.bytes.data(), c.bytes.size(), &texts));
        EXPECT_EQ(c.texts, texts);
    }
}

TEST(PhoneReplyTest, ShortReply_IsIgnored) {
    std::vector<BYTE> full = Record({192, 168, 0, 20}, {0, 9, 69, 16, 171, 205}, "t", "n", 0, 1, 1);
    for (size_t n : {size_t(0), size_t(1), size_t(62)}) {
        // Exactly n bytes on the heap, so the sanitizer sees any read past them.
        std::vector<BYTE> shortReply(full.begin(), full.begin() + static_cast<long>(n));
        PhoneTexts texts{"untouched"};
        EXPECT_FALSE(DecodePhoneReply(shortReply.data(), n, &texts));
        EXPECT_EQ("untouched", texts[0]);
    }
}

TEST(ResolveHostAddressTest, TextsResolveToNetworkOrder) {
    struct CCase {
        std::string text;
        const char* pszExpected;
    };
    const std::vector<CCase> table = {
        {"192.168.1.20", "192.168.1.20"},
        {"10.0.0.5", "10.0.0.5"},
        {"localhost", "127.0.0.1"},                  // a name goes through the look-up
        {"no-such-host.invalid", "255.255.255.255"}, // both fail: all ones
    };
    for (const CCase& c : table)
        EXPECT_EQ(InetAddr(c.pszExpected), ResolveHostAddress(c.text)) << c.text;
}
