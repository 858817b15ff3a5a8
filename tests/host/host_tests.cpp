// The platform-free code under the sanitizers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cstring.h"
#include "settings/name_list.h"
#include "settings/value_store.h"
#include "ui/dial_timing.h"
#include "shell/link_name.h"
#include "mbcs.h"
#include "vault/hex_text.h"

namespace {

std::vector<std::string> Items(const CNameList& l)
{
    std::vector<std::string> out;
    for (int i = 0; i < l.GetCount(); ++i) out.emplace_back(l.GetAt(i));
    return out;
}

TEST(NameListTest, PositionsAndBounds)
{
    CNameList l;
    EXPECT_EQ(l.GetAt(0), nullptr);
    EXPECT_EQ(l.GetAt(-1), nullptr);
    EXPECT_FALSE(l.RemoveAt(0));
    EXPECT_FALSE(l.InsertAfter(0, "x"));
    EXPECT_TRUE(l.InsertAt(0, "b"));
    EXPECT_TRUE(l.InsertAt(-5, "a"));
    EXPECT_TRUE(l.InsertAt(2, "d"));   // pos == count appends
    EXPECT_FALSE(l.InsertAt(4, "z"));  // count + 1
    EXPECT_TRUE(l.InsertAfter(1, "c"));
    EXPECT_TRUE(l.InsertAfter(-3, "a2"));
    EXPECT_EQ(Items(l), (std::vector<std::string>{"a", "a2", "b", "c", "d"}));
    EXPECT_STREQ(l.GetAt(-1), "a");
    EXPECT_EQ(l.GetAt(5), nullptr);
    EXPECT_FALSE(l.RemoveAt(5));
    EXPECT_FALSE(l.RemoveAt(-1));
    EXPECT_TRUE(l.RemoveAt(1));
    EXPECT_TRUE(l.RemoveAt(3));
    EXPECT_EQ(Items(l), (std::vector<std::string>{"a", "b", "c"}));
    l.RemoveAll();
    EXPECT_EQ(l.GetCount(), 0);
}

TEST(NameListTest, FindNoCase)
{
    CNameList names;
    for (int i = 0; i < 1000; ++i) ASSERT_TRUE(names.Add(("Provider " + std::to_string(i)).c_str()));
    ASSERT_TRUE(names.Add("Twin"));
    ASSERT_TRUE(names.Add("TWIN"));
    EXPECT_EQ(names.FindNoCase("provider 999"), 999);
    EXPECT_EQ(names.FindNoCase("twin"), 1000);  // the first of names equal but for case
    EXPECT_EQ(names.FindNoCase("Provider"), -1);  // a beginning is not a match
    EXPECT_EQ(names.FindNoCase(""), -1);
    EXPECT_EQ(names.FindNoCase(nullptr), -1);
    std::string huge(100000, 'P');
    EXPECT_EQ(names.FindNoCase(huge.c_str()), -1);
    ASSERT_TRUE(names.Add(huge.c_str()));
    huge[0] = 'p';
    EXPECT_EQ(names.FindNoCase(huge.c_str()), 1002);
}

TEST(NameListTest, FromMultiString)
{
    CNameList l;
    ASSERT_TRUE(l.FromMultiString("x\0y\0"));
    EXPECT_EQ(Items(l), (std::vector<std::string>{"x", "y"}));
    ASSERT_TRUE(l.FromMultiString("\0y\0"));
    EXPECT_EQ(Items(l), (std::vector<std::string>{"", "y"}));
    ASSERT_TRUE(l.FromMultiString("x\0\0y\0"));
    EXPECT_EQ(Items(l), (std::vector<std::string>{"x"}));
    ASSERT_TRUE(l.FromMultiString("\0"));
    EXPECT_TRUE(Items(l).empty());
    // Bounded by the data's length: missing terminators end the list there.
    const char unterminated[] = {'a', 'b', 0, 'c', 'd'};
    ASSERT_TRUE(l.FromMultiString(unterminated, sizeof unterminated));
    EXPECT_EQ(Items(l), (std::vector<std::string>{"ab", "cd"}));
    ASSERT_TRUE(l.FromMultiString(unterminated, 0));
    EXPECT_TRUE(Items(l).empty());
    const char lone[] = {0};
    ASSERT_TRUE(l.FromMultiString(lone, 1));
    EXPECT_TRUE(Items(l).empty());
}

TEST(NameListTest, ToMultiString)
{
    CNameList l;
    char buf[8];
    int needed = -1;
    EXPECT_FALSE(l.ToMultiString(buf, 1, &needed));
    EXPECT_EQ(needed, -1);
    EXPECT_TRUE(l.ToMultiString(buf, 2, &needed));
    EXPECT_EQ(needed, 2);
    l.Add("abc");
    std::memset(buf, 'z', sizeof buf);
    EXPECT_FALSE(l.ToMultiString(buf, 4, &needed));
    EXPECT_EQ(needed, 5);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 0);
    EXPECT_TRUE(l.ToMultiString(buf, 5, &needed));
    EXPECT_EQ(std::string(buf, 5), std::string("abc\0\0", 5));
    CNameList ab;
    ab.Add("a");
    ab.Add("b");
    EXPECT_TRUE(ab.ToMultiString(buf, 8, nullptr));
    EXPECT_EQ(std::string(buf, 5), std::string("a\0b\0\0", 5));
}

// The list part of the store; the registry part is tested under Wine.
class MemoryStore : public CValueStore {
public:
    void SetKeyPath(const char*) override {}
    void SetKeyPath(const CString&) override {}
    bool Load() override { return false; }
    bool Save() override { return false; }
};

TEST(ValueStoreTest, RemoveDuringWalkAndCursorReset)
{
    MemoryStore s;
    for (const char* n : {"a", "b", "a", "c"}) {
        s.SelectName(n);
        s.AddValue(std::string(n).append("1").c_str());
        s.AddValue(std::string(n).append("2").c_str());
    }
    s.SelectName("a");
    s.RemoveName();
    s.Rewind();
    CString name, value;
    int pairs = 0;
    while (s.GetNextPair(name, value)) {
        EXPECT_STRNE(name, "a");
        ++pairs;
    }
    EXPECT_EQ(pairs, 4);
    s.SelectName("b");
    EXPECT_TRUE(s.HasValue("b1"));
    EXPECT_TRUE(s.GetNextValue(value));  // HasValue leaves the cursor at the start
    EXPECT_STREQ(value, "b2");
    s.Clear();
    s.Rewind();
    EXPECT_FALSE(s.GetNextPair(name, value));
}

TEST(HexTextTest, WrittenUpperReadLeniently)
{
    const unsigned char bytes[] = {0x00, 0x0f, 0xa5, 0xff};
    EXPECT_STREQ(ToHexText(bytes, 4), "000FA5FF");
    unsigned char out[4];
    FromHexText("000fa5ff", 8, out);
    EXPECT_EQ(std::memcmp(out, bytes, 4), 0);
    EXPECT_EQ(HexTextBytes(9), 4u);  // an odd last character is ignored
    FromHexText("zz1G", 4, out);     // other characters count as 0
    EXPECT_EQ(out[0], 0x00);
    EXPECT_EQ(out[1], 0x10);
    unsigned char two[2];
    FromHexText("null", 4, two);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[1], 0);
}

TEST(DialTimingTest, PerAttemptAndAcrossTheWrap)
{
    EXPECT_FALSE(DialTimedOut(119999, 0, 120));
    EXPECT_TRUE(DialTimedOut(120000, 0, 120));
    EXPECT_TRUE(DialTimedOut(500000, 0, 120));
    // The tick count wraps during the attempt: 119.9 s still goes on.
    uint32_t start = 0xFFFFFFFFu - 50000u;
    EXPECT_FALSE(DialTimedOut(start + 119900u, start, 120));
    EXPECT_TRUE(DialTimedOut(start + 120000u, start, 120));
    EXPECT_FALSE(DialTimedOut(5, 0xFFFFFFF0u, 120));
}

TEST(CStringTest, EditingAndAppendingToItself)
{
    CString s("secret-password");
    s.TrimRight();
    s.Delete(0, 7);
    EXPECT_STREQ(s, "password");
    s.Format("%s %d %s", "a", 42, "b");
    EXPECT_STREQ(s, "a 42 b");
    s = "";
    EXPECT_TRUE(s.IsEmpty());
    CString t("x");
    t += t;
    t += t.c_str();
    EXPECT_STREQ(t, "xxxx");
}

// In a double-byte code page the second byte of a character may be a
// backslash or a bar: names and paths are cut between characters only.
TEST(CStringTest, DoubleByteCharactersStayWhole)
{
    struct CodePage {
        int cp;
        const char* table;  // "表" (0x95 0x5C) and "−" (0x81 0x7C) in 932; two such characters elsewhere
    };
    for (CodePage c : {CodePage{932, "\x95\x5C" "\x81\x7C"}, CodePage{936, "\xB1\x5C" "\xC4\x7C"},
                       CodePage{949, "\x81\x5C" "\x82\x7C"}, CodePage{950, "\xA5\x5C" "\xA1\x7C"}}) {
        SCOPED_TRACE(c.cp);
        g_hostCodePage = c.cp;
        std::string name = std::string("Kelvane Pendro! - ") + c.table + "|<x>";
        EXPECT_EQ(std::string(CleanLinkName(name.c_str()).c_str()), std::string("Kelvane Pendro! - ") + c.table + "x");
        std::string path = std::string("C:\\Programme\\") + c.table + "\\Pendro.exe";
        EXPECT_EQ(CString(path.c_str()).ReverseFind('\\'), 17);
        EXPECT_EQ(CString((std::string("C:\\") + c.table).c_str()).ReverseFind('\\'), 2);
        EXPECT_FALSE(MbsEndsWith((std::string("C:\\") + c.table).c_str(), '\\'));
        EXPECT_TRUE(MbsEndsWith((std::string("C:\\") + c.table + "\\").c_str(), '\\'));
    }
    g_hostCodePage = 0;
    EXPECT_EQ(CString("a\\\x95\x5C").ReverseFind('\\'), 3);  // a single-byte code page has no pairs
}

// A link's argument, as the C runtime's parser must read it back: fixed
// texts, not a rebuild of the escaping.
TEST(LinkArgumentTest, QuotedAsTheRuntimeParsesIt)
{
    struct Row {
        int cp;
        const char *text, *quoted;
    };
    for (Row r : {Row{0, "My ISP", "\"My ISP\""}, Row{0, "My \"Best\" ISP", "\"My \\\"Best\\\" ISP\""},
                  Row{0, "a\\\\\"b", "\"a\\\\\\\\\\\"b\""}, Row{0, "end\\", "\"end\\\\\""},
                  Row{0, "a\\b", "\"a\\b\""}, Row{0, "", "\"\""},
                  // ソ is 83 5C: its second byte is no backslash, before a quote or at the end.
                  Row{932, "\x83\x5C\"", "\"\x83\x5C\\\"\""}, Row{932, "\x83\x5C", "\"\x83\x5C\""},
                  Row{0, "\x83\x5C", "\"\x83\x5C\\\""}}) {
        SCOPED_TRACE(r.text);
        g_hostCodePage = r.cp;
        EXPECT_STREQ(QuoteArgument(r.text).c_str(), r.quoted);
    }
    g_hostCodePage = 0;
}

}  // namespace
