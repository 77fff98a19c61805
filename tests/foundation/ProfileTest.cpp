#include "settings/Profile.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

using namespace kv;

TEST(Profile, MissingFileGivesDefaultsAndWriteKeepsOtherKeys)
{
    kvtest::TempSettings cfg;
    EXPECT_EQ(GetProfileString("baudrate", "num", "115200", 64, "teal_dialer.ini"), "115200");
    EXPECT_EQ(GetProfileInt("batsound", "num", 1, "teal_dialer.ini"), 1);

    cfg.WriteFile("teal_dialer.ini", "[Top]\r\nnum=1\r\n[chv1]\r\nnum=123456789\r\n");
    ASSERT_TRUE(WriteProfileString("batsound", "num", "0", "teal_dialer.ini"));
    EXPECT_EQ(GetProfileInt("BATSOUND", "NUM", 1, "teal_dialer.ini"), 0);
    EXPECT_EQ(GetProfileInt("top", "num", 0, "teal_dialer.ini"), 1);
    // A buffer of 9 holds at most 8 characters.
    EXPECT_EQ(GetProfileString("chv1", "num", "9352", 9, "teal_dialer.ini"), "12345678");
    EXPECT_NE(cfg.ReadFile("teal_dialer.ini").find("\r\n"), std::string::npos);
}
