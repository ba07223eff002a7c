// orvex list --where: the shell pattern and the conditions over a row.
#include "RowFilter.h"

#include <gtest/gtest.h>

TEST(RowFilterTest, MatchGlob_ShellPatternsOverTheWholeText) {
    struct CCase {
        const char* pszGlob;
        std::string text;
        bool bMatch;
    };
    const std::vector<CCase> cases = {
        {"", "", true},
        {"", "a", false},
        {"*", "", true},
        {"*v2.2", "Desk v2.2", true},
        {"*v2.2", "Desk v2.21", false},
        {"desk*", "Desk v2.2", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"*a*a*a*a*a*b", std::string(2000, 'a'), false},
        {"[a-c]x", "bx", true},
        {"[a-c]x", "dx", false},
        {"[!a-c]x", "bx", false},
        {"[^a-c]x", "dx", true},
        {"[]]", "]", true},
        {"[!]]", "a", true},
        {"[!]]", "]", false},
        {"[a\\]]x", "]x", true},
        {"[a-]", "-", true},
        {"[abc", "[abc", true},
        {"[abc", "a", false},
        {"\\*", "*", true},
        {"\\*", "a", false},
        {"a\\", "a\\", true},
        {"*\xE2\x80\xA6", "caf\xC3\xA9\xE2\x80\xA6", true},
        {"198.18.0.?", "198.18.0.10", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pszGlob) + " over " + c.text.substr(0, 20));
        EXPECT_EQ(c.bMatch, MatchGlob(c.pszGlob, c.text));
    }
}

TEST(RowFilterTest, Parse_FieldsAndNegation) {
    const PhoneTexts row = {"198.18.0.20", "02-00-00-00-00-20", "Desk v2.2", "", "2001", "Yes",
                            "No"};
    struct CCase {
        const char* pszCondition;
        bool bParsed;
        bool bMatch;
    };
    const std::vector<CCase> cases = {
        {"address=198.18.0.2?", true, true},
        {"address!=198.18.0.2?", true, false},
        {"mac=*-20", true, true},
        {"type-version!=*v2.2", true, false},
        {"ip-type=", true, true},
        {"ip-type!=", true, false},
        {"number=2*", true, true},
        {"logged-on=Yes", true, true},
        {"busy=Yes", true, false},
        {"busy=No=No", true, false},
        {"Busy=No", false, false},
        {"busy", false, false},
        {"=No", false, false},
        {"!=No", false, false},
        {"ip=198.18.0.20", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszCondition);
        CRowFilter filter;
        std::string error;
        EXPECT_EQ(c.bParsed, filter.Parse(c.pszCondition, &error));
        EXPECT_EQ(c.bParsed, error.empty()) << error;
        if (c.bParsed) {
            EXPECT_EQ(c.bMatch, filter.Matches(row));
        }
    }
}
