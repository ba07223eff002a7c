// The product seams' translation of the Win32 file filter.
#include "QtUserSeams.h"

#include <gtest/gtest.h>

TEST(QtUserSeamsTest, ConvertFilter_TurnsPipePairsIntoQtFilters) {
    const struct {
        const char* mfc;
        const char* qt;
    } cases[] = {
        {"A (*.a)|*.a|B (*.*)|*.*||", "A (*.a);;B (*.*)"},
        {"MCS51 hex files|*.hex||", "MCS51 hex files (*.hex)"},
        {"Images|*.bin;*.img|All|*.*||", "Images (*.bin *.img);;All (*.*)"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mfc);
        EXPECT_EQ(c.qt, CQtUserSeams::ConvertFilter(c.mfc).toStdString());
    }
}
