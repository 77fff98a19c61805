#include "log/DebugLog.h"

#include <gtest/gtest.h>

using namespace kv;

TEST(DebugLog, LineLayoutTagAndFileField)
{
    EXPECT_STREQ(CDebugLog::TagFor(LEVEL_NOTI), "LEVEL_NOTI");
    EXPECT_STREQ(CDebugLog::TagFor(3), "LEVEL_SUM ");
    EXPECT_EQ(CDebugLog::BaseNameField("C:\\src\\Dialer_oneDlg.cpp"), "Dialer_oneDlg.cpp   ");
    EXPECT_EQ(CDebugLog::ComposeLine("12:00:01", LEVEL_DM, 42, "a.cpp", "hello"),
              "12:00:01 LEVEL_DM  :    42  a.cpp  hello");
}
