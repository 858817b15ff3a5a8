// The registry value store against the real (Wine) registry, read back with
// RegQueryValueExA rather than with the store itself.
#include <gtest/gtest.h>

#include <string>

#include "settings/name_list.h"
#include "settings/reg_value_store.h"
#include "test_util.h"

using testutil::Multi;
using testutil::ReadValue;
using testutil::WriteValue;

namespace {

const char kKey[] = "Software\\PendroTest\\Store";

class StoreTest : public testing::Test {
protected:
    void SetUp() override { testutil::DeleteKey("Software\\PendroTest"); }
    void TearDown() override { testutil::DeleteKey("Software\\PendroTest"); }
    static std::vector<std::string> Values(CValueStore& s, const char* name)
    {
        std::vector<std::string> out;
        s.SelectName(name);
        CString v;
        while (s.GetNextValue(v)) out.emplace_back(v.c_str());
        return out;
    }
};

TEST_F(StoreTest, ListOperations)
{
    CRegValueStore s;
    EXPECT_FALSE(s.AddValue("x"));  // no name selected
    s.SelectName("set");
    EXPECT_TRUE(s.AddValue("a"));
    EXPECT_TRUE(s.AddValue("b"));
    EXPECT_TRUE(s.AddValue("c"));
    EXPECT_FALSE(s.AddValue("b"));  // the pair exists
    s.SelectName("other");
    EXPECT_TRUE(s.AddValue("a"));  // the same value under another name is another pair
    EXPECT_EQ(Values(s, "set"), (std::vector<std::string>{"c", "b", "a"}));
    // After the last value the next search starts again from the newest.
    s.SelectName("set");
    CString v;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(s.GetNextValue(v));
    EXPECT_FALSE(s.GetNextValue(v));
    EXPECT_TRUE(s.GetNextValue(v));
    EXPECT_STREQ(v, "c");

    s.SelectName("none");
    v = "left over";
    EXPECT_FALSE(s.GetNextValue(v));
    EXPECT_TRUE(v.IsEmpty());

    s.SelectName("set");
    EXPECT_TRUE(s.HasValue("b"));
    EXPECT_FALSE(s.HasValue("B"));  // exact comparison
    EXPECT_TRUE(s.SetValue("only"));
    EXPECT_EQ(Values(s, "set"), (std::vector<std::string>{"only"}));
    s.RemoveName();
    EXPECT_TRUE(Values(s, "set").empty());
    EXPECT_EQ(Values(s, "other"), (std::vector<std::string>{"a"}));
    EXPECT_FALSE(s.RemoveCurrent());

    s.Rewind();
    CString n;
    EXPECT_TRUE(s.GetNextPair(n, v));
    EXPECT_STREQ(n, "other");
    EXPECT_FALSE(s.GetNextPair(n, v));
}

TEST_F(StoreTest, LoadOfMissingOrEmptyKey)
{
    CRegValueStore s;
    s.SelectName("kept");
    s.AddValue("v");
    EXPECT_FALSE(s.Load());  // no key path
    s.SetKeyPath(kKey);
    EXPECT_FALSE(s.Load());  // no such key: the list stays
    EXPECT_EQ(Values(s, "kept").size(), 1u);
    WriteValue(kKey, "", REG_SZ, std::string("default", 8));  // the unnamed value is not loaded
    EXPECT_TRUE(s.Load());
    EXPECT_TRUE(Values(s, "kept").empty());
}

TEST_F(StoreTest, SingleValueIsSzSeveralAreMultiSz)
{
    CRegValueStore s;
    s.SetKeyPath(kKey);
    s.SelectName("one");
    s.SetValue("alpha");
    s.SelectName("empty");
    s.SetValue("");
    s.SelectName("many");
    s.AddValue("x");
    s.AddValue("yy");
    ASSERT_TRUE(s.Save());

    auto one = ReadValue(kKey, "one");
    EXPECT_EQ(one.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(one.data, std::string("alpha", 6));
    auto empty = ReadValue(kKey, "empty");
    EXPECT_EQ(empty.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(empty.data, std::string(1, '\0'));  // one NUL byte
    auto many = ReadValue(kKey, "many");
    EXPECT_EQ(many.type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(many.data, Multi({"yy", "x"}));  // newest first

    CRegValueStore back;
    back.SetKeyPath(kKey);
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(Values(back, "empty"), (std::vector<std::string>{""}));
    back.SelectName("many");
    back.SetValue("single");
    ASSERT_TRUE(back.Save());
    auto single = ReadValue(kKey, "many");
    EXPECT_EQ(single.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(single.data, std::string("single", 7));
}

TEST_F(StoreTest, RoundTripReversesMultiStringAndDropsOtherTypes)
{
    WriteValue(kKey, "abc", REG_MULTI_SZ, Multi({"a", "b", "c"}));
    WriteValue(kKey, "number", REG_DWORD, std::string("\x2a\0\0\0", 4));
    WriteValue(kKey, "expand", REG_EXPAND_SZ, std::string("%PATH%", 7));
    WriteValue(kKey, "", REG_SZ, std::string("unnamed", 8));
    WriteValue((std::string(kKey) + "\\Sub").c_str(), "deep", REG_SZ, std::string("d", 2));
    WriteValue(kKey, "dup", REG_MULTI_SZ, Multi({"p", "q", "p"}));

    CRegValueStore s;
    s.SetKeyPath(kKey);
    ASSERT_TRUE(s.Load());
    EXPECT_EQ(Values(s, "dup"), (std::vector<std::string>{"q", "p"}));
    ASSERT_TRUE(s.Save());

    EXPECT_EQ(ReadValue(kKey, "abc").data, Multi({"c", "b", "a"}));
    EXPECT_FALSE(ReadValue(kKey, "number").exists);
    EXPECT_FALSE(ReadValue(kKey, "expand").exists);
    EXPECT_FALSE(ReadValue(kKey, "").exists);
    EXPECT_TRUE(ReadValue((std::string(kKey) + "\\Sub").c_str(), "deep").exists);  // subkeys stay
}

TEST_F(StoreTest, RemoveNameDeletesTheValue)
{
    WriteValue(kKey, "gone", REG_MULTI_SZ, Multi({"1", "2", "3"}));
    WriteValue(kKey, "stays", REG_SZ, std::string("s", 2));
    CRegValueStore s;
    s.SetKeyPath(kKey);
    ASSERT_TRUE(s.Load());
    s.SelectName("gone");
    s.RemoveName();
    ASSERT_TRUE(s.Save());
    EXPECT_FALSE(ReadValue(kKey, "gone").exists);
    EXPECT_TRUE(ReadValue(kKey, "stays").exists);
}

TEST_F(StoreTest, SaveCreatesMissingComponentsAndRefusesEmptyPath)
{
    WriteValue("Software\\PendroTest", "marker", REG_SZ, std::string("m", 2));
    CRegValueStore s;
    s.SelectName("v");
    s.SetValue("deep");
    EXPECT_FALSE(s.Save());  // empty key path: nothing touched
    s.SetKeyPath("Software\\PendroTest\\Two\\Three");
    ASSERT_TRUE(s.Save());
    EXPECT_TRUE(testutil::KeyExists("Software\\PendroTest\\Two"));
    EXPECT_EQ(ReadValue("Software\\PendroTest\\Two\\Three", "v").data, std::string("deep", 5));
    EXPECT_TRUE(ReadValue("Software\\PendroTest", "marker").exists);
}

TEST_F(StoreTest, NamesDifferingOnlyInCase)
{
    CRegValueStore s;
    s.SetKeyPath(kKey);
    s.SelectName("Name");
    s.AddValue("first");
    s.SelectName("NAME");
    s.AddValue("second");
    // One name, as in the registry, spelt as first met from the front.
    EXPECT_EQ(Values(s, "name"), (std::vector<std::string>{"second", "first"}));
    ASSERT_TRUE(s.Save());
    auto names = testutil::ValueNames(kKey);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0], "NAME");
    EXPECT_EQ(ReadValue(kKey, "NAME").data, Multi({"second", "first"}));

    // A value stored under another case is the one read, replaced and kept:
    // the registry keeps the old spelling of a name written over.
    testutil::DeleteKey(kKey);
    WriteValue(kKey, "myisp", REG_SZ, std::string("old", 4));
    CRegValueStore t;
    t.SetKeyPath(kKey);
    ASSERT_TRUE(t.Load());
    EXPECT_EQ(Values(t, "MyISP"), (std::vector<std::string>{"old"}));
    t.SelectName("MyISP");
    ASSERT_TRUE(t.SetValue("new"));
    EXPECT_EQ(Values(t, "myisp"), (std::vector<std::string>{"new"}));
    ASSERT_TRUE(t.Save());
    EXPECT_EQ(testutil::ValueNames(kKey), (std::vector<std::string>{"myisp"}));
    ASSERT_TRUE(t.Load());
    EXPECT_EQ(Values(t, "MYISP"), (std::vector<std::string>{"new"}));
}

TEST_F(StoreTest, DamagedDataReadsWithinItsLength)
{
    WriteValue(kKey, "noterm", REG_SZ, std::string("abc"));             // no NUL at all
    WriteValue(kKey, "multi_noterm", REG_MULTI_SZ, std::string("x\0yz", 4));  // no final NULs
    WriteValue(kKey, "zero", REG_SZ, std::string());
    WriteValue(kKey, "zero_multi", REG_MULTI_SZ, std::string());
    WriteValue(kKey, "big", REG_SZ, std::string(65535, 'b') + '\0');
    std::string longName(255, 'n');
    WriteValue(kKey, longName.c_str(), REG_SZ, std::string("long", 5));

    CRegValueStore s;
    s.SetKeyPath(kKey);
    ASSERT_TRUE(s.Load());
    EXPECT_EQ(Values(s, "noterm"), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(Values(s, "multi_noterm"), (std::vector<std::string>{"yz", "x"}));
    EXPECT_EQ(Values(s, "zero"), (std::vector<std::string>{""}));
    EXPECT_EQ(Values(s, "big")[0].size(), 65535u);
    EXPECT_EQ(Values(s, longName.c_str()), (std::vector<std::string>{"long"}));
    ASSERT_TRUE(s.Save());
    // Every readable value survives the load and save.
    EXPECT_EQ(ReadValue(kKey, "noterm").data, std::string("abc", 4));
    EXPECT_EQ(ReadValue(kKey, "multi_noterm").data, Multi({"yz", "x"}));
    EXPECT_EQ(ReadValue(kKey, "big").data.size(), 65536u);
    EXPECT_TRUE(ReadValue(kKey, longName.c_str()).exists);
}

TEST_F(StoreTest, ThousandsOfValues)
{
    CRegValueStore s;
    s.SetKeyPath(kKey);
    for (int i = 0; i < 3000; ++i) {
        s.SelectName(("v" + std::to_string(i)).c_str());
        s.AddValue(std::to_string(i).c_str());
    }
    ASSERT_TRUE(s.Save());
    EXPECT_EQ(testutil::ValueNames(kKey).size(), 3000u);
    CRegValueStore back;
    back.SetKeyPath(kKey);
    ASSERT_TRUE(back.Load());
    EXPECT_EQ(Values(back, "v2999"), (std::vector<std::string>{"2999"}));
    back.Clear();
    ASSERT_TRUE(back.Save());
    EXPECT_TRUE(testutil::ValueNames(kKey).empty());
}

TEST(KeyHandleTest, OpenCloseAndQuery)
{
    testutil::DeleteKey("Software\\PendroTest");
    WriteValue("Software\\PendroTest", "s", REG_SZ, std::string("text", 5));
    WriteValue("Software\\PendroTest", "raw", REG_BINARY, std::string("xy", 2));
    CRegKeyHandle k;
    EXPECT_NE(k.Open(HKEY_CURRENT_USER, "Software\\PendroTest\\Missing", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(k.Get(), nullptr);
    ASSERT_EQ(k.Open(HKEY_CURRENT_USER, "Software\\PendroTest", KEY_READ), ERROR_SUCCESS);
    CString out;
    EXPECT_EQ(k.QueryStringValue(out, CString("s")), ERROR_SUCCESS);
    EXPECT_STREQ(out, "text");
    EXPECT_EQ(k.QueryStringValue(out, CString("raw")), ERROR_SUCCESS);  // the type is not examined
    EXPECT_STREQ(out, "xy");
    EXPECT_EQ(k.QueryStringValue(out, CString("absent")), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ(k.Close(), ERROR_SUCCESS);
    EXPECT_EQ(k.Close(), ERROR_SUCCESS);
    testutil::DeleteKey("Software\\PendroTest");
}

// A load that stops part-way must not let a save delete what it did not read:
// another entry's password or the "DialEntryOK" list would be gone.
LONG WINAPI InfoFails(HKEY, LPSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                      PFILETIME)
{
    return ERROR_ACCESS_DENIED;
}

TEST_F(StoreTest, LoadThatStopsPartWaySavesNothing)
{
    struct Fault {
        const char* function;
        void* replacement;
        void** original;
    };
    void* unused = nullptr;
    for (Fault f : {Fault{"RegEnumValueA", reinterpret_cast<void*>(&testutil::RegEnumValueFailingAtSecond),
                          reinterpret_cast<void**>(&testutil::realRegEnumValueA)},
                    Fault{"RegQueryInfoKeyA", reinterpret_cast<void*>(&InfoFails), &unused}}) {
        SCOPED_TRACE(f.function);
        testutil::DeleteKey("Software\\PendroTest");
        WriteValue(kKey, "first", REG_SZ, std::string("1", 2));
        WriteValue(kKey, "second", REG_MULTI_SZ, Multi({"a", "b"}));
        WriteValue(kKey, "third", REG_SZ, std::string("3", 2));
        CRegValueStore s;
        s.SetKeyPath(kKey);
        {
            testutil::ImportHook hook("advapi32.dll", f.function, f.replacement, f.original);
            ASSERT_TRUE(hook.Installed());
            EXPECT_FALSE(s.Load());
        }
        s.SelectName("added");
        s.SetValue("x");
        EXPECT_FALSE(s.Save());
        EXPECT_EQ(testutil::ValueNames(kKey).size(), 3u);
        EXPECT_FALSE(ReadValue(kKey, "added").exists);
        ASSERT_TRUE(s.Load());  // read whole again: saving works again
        EXPECT_TRUE(s.Save());
        EXPECT_EQ(ReadValue(kKey, "second").data, Multi({"b", "a"}));
    }
}

// The value grows between the size query and the read: the read fails with the
// new, larger size, and nothing beyond the buffer may be touched.
LONG(WINAPI* g_realQuery)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
LONG WINAPI QueryWhileItGrows(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (data) {
        std::string big(4 << 20, 'g');
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(big.c_str()),
                       static_cast<DWORD>(big.size() + 1));
    }
    return g_realQuery(key, name, reserved, type, data, size);
}

TEST(KeyHandleTest, ValueThatGrowsBetweenTheCalls)
{
    testutil::DeleteKey("Software\\PendroTest");
    WriteValue("Software\\PendroTest", "s", REG_SZ, std::string("tiny", 5));
    CRegKeyHandle k;
    ASSERT_EQ(k.Open(HKEY_CURRENT_USER, "Software\\PendroTest", KEY_ALL_ACCESS), ERROR_SUCCESS);
    CString out("left over");
    {
        testutil::ImportHook hook("advapi32.dll", "RegQueryValueExA", &QueryWhileItGrows, &g_realQuery);
        ASSERT_TRUE(hook.Installed());
        EXPECT_EQ(k.QueryStringValue(out, CString("s")), ERROR_MORE_DATA);
    }
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ(ReadValue("Software\\PendroTest", "s").data.size(), (4u << 20) + 1);  // it did grow
    k.Close();
    testutil::DeleteKey("Software\\PendroTest");
}

}  // namespace
