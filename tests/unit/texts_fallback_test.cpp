// Built without the program's string table: every text falls back to the
// built-in English one.
#include <gtest/gtest.h>

#include "ras/ras_texts.h"

TEST(TextsFallbackTest, BuiltInTextsWhenTheStringTableLacksThem)
{
    CString probe;
    ASSERT_FALSE(probe.LoadString(193));
    EXPECT_STREQ(ConnStateText(0), "Open port...");
    // Where the table and the fallback differ, the fallback is what shows.
    EXPECT_STREQ(ConnStateText(6), "Authentication notify.");
    EXPECT_STREQ(ConnStateText(8), "Authentication callback.");
    EXPECT_STREQ(ConnStateText(9), "Change authentication password.");
    EXPECT_STREQ(ConnStateText(10), "Authenticate project...");
    EXPECT_STREQ(ConnStateText(11), "Authenticate link speed...");
    EXPECT_STREQ(ConnStateText(13), "Re-authenticate...");
    EXPECT_STREQ(ConnStateText(22), "Sub-entry connected.");
    EXPECT_STREQ(ConnStateText(23), "Sub-entry disconnected.");
    EXPECT_STREQ(ConnStateText(0x2001), "Disconnected.");
    EXPECT_STREQ(ConnStateText(4100), "Unknown connection state. (4100)");
    EXPECT_STREQ(RasErrorText(4242), "Unknown RAS error. (0x00001092)");
}
