// The password cipher on Wine's CryptoAPI, and the password store in the registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"
#include "vault/password_store.h"
#include "vault/pwd_cipher.h"

namespace {

const char kPhrase[] = "WindowGlassTide";
const char kPwdKey[] = "Software\\Kelvane\\Pendro\\Pwd";

std::vector<BYTE> Encrypt(const std::string& password, CPwdCipher& c)
{
    std::vector<BYTE> out(password.size() + 24);
    DWORD cap = static_cast<DWORD>(out.size());
    EXPECT_TRUE(c.EncryptString(kPhrase, password.c_str(), out.data(), &cap));
    EXPECT_FALSE(c.HoldsHandles());
    out.resize(cap);
    return out;
}

TEST(CipherTest, BlockSizesAndRoundTrip)
{
    CPwdCipher c;
    EXPECT_EQ(Encrypt("", c).size(), 8u);
    EXPECT_EQ(Encrypt("1234567", c).size(), 8u);
    EXPECT_EQ(Encrypt("12345678", c).size(), 16u);
    for (const std::string& pw : std::vector<std::string>{"", "a", "pass word", std::string(100, 'x'), "\xE4\xF6\xFC"}) {
        auto ct = Encrypt(pw, c);
        CString back("unchanged");
        ASSERT_TRUE(c.DecryptString(kPhrase, ct.data(), static_cast<DWORD>(ct.size()), back));
        EXPECT_EQ(std::string(back.c_str()), pw);
        EXPECT_FALSE(c.HoldsHandles());
    }
}

TEST(CipherTest, FailuresChangeNothing)
{
    CPwdCipher c;
    BYTE small[4];
    DWORD cap = sizeof small;
    EXPECT_FALSE(c.EncryptString(kPhrase, "longer than four", small, &cap));
    EXPECT_EQ(cap, 16u);  // the input's length
    EXPECT_FALSE(c.HoldsHandles());

    auto ct = Encrypt("secret", c);
    CString out("unchanged");
    EXPECT_FALSE(c.DecryptString("AnotherPhrase", ct.data(), static_cast<DWORD>(ct.size()), out));
    EXPECT_STREQ(out, "unchanged");
    EXPECT_FALSE(c.DecryptString(kPhrase, ct.data(), 7, out));  // not a multiple of 8
    EXPECT_STREQ(out, "unchanged");
    EXPECT_FALSE(c.HoldsHandles());
}

TEST(CipherTest, SameInputSameCiphertext)
{
    CPwdCipher a, b;
    EXPECT_EQ(Encrypt("repeatable", a), Encrypt("repeatable", b));
}

class PasswordStoreTest : public testing::Test {
protected:
    void SetUp() override { testutil::DeleteKey("Software\\Kelvane"); }
    void TearDown() override { testutil::DeleteKey("Software\\Kelvane"); }
};

TEST_F(PasswordStoreTest, SaveWritesHexTextAndLoadReadsItBack)
{
    CString pw;
    bool none = true, unreadable = true;
    EXPECT_FALSE(LoadProviderPassword("Alpha", pw, none, &unreadable));  // no key yet: none stored
    EXPECT_FALSE(none);
    EXPECT_FALSE(unreadable);
    ASSERT_TRUE(SaveProviderPassword("Alpha", "12345678", false));
    auto v = testutil::ReadValue(kPwdKey, "Alpha");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    std::string hex = v.data.c_str();
    EXPECT_EQ(hex.size(), 32u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    ASSERT_TRUE(LoadProviderPassword("Alpha", pw, none));
    EXPECT_STREQ(pw, "12345678");
    EXPECT_FALSE(none);

    ASSERT_TRUE(SaveProviderPassword("Empty", "", false));
    EXPECT_EQ(std::string(testutil::ReadValue(kPwdKey, "Empty").data.c_str()).size(), 16u);
    ASSERT_TRUE(LoadProviderPassword("Empty", pw, none));
    EXPECT_TRUE(pw.IsEmpty());
    EXPECT_FALSE(none);

    // Lower case reads the same; an odd last character is ignored.
    std::string lower = hex;
    for (char& ch : lower) ch = static_cast<char>(tolower(ch));
    testutil::WriteValue(kPwdKey, "Lower", REG_SZ, lower + "7" + '\0');
    ASSERT_TRUE(LoadProviderPassword("Lower", pw, none));
    EXPECT_STREQ(pw, "12345678");
}

TEST_F(PasswordStoreTest, NoPasswordMarkerAndDamagedValues)
{
    ASSERT_TRUE(SaveProviderPassword("Alpha", "secret", false));
    ASSERT_TRUE(SaveProviderPassword("Alpha", "ignored", true));
    EXPECT_EQ(testutil::ReadValue(kPwdKey, "Alpha").data, std::string("NULL", 5));
    CString pw("x");
    bool none = false;
    ASSERT_TRUE(LoadProviderPassword("Alpha", pw, none));
    EXPECT_TRUE(none);
    EXPECT_TRUE(pw.IsEmpty());
    for (const char* damaged : {"null", "0123", "ZZZZZZZZZZZZZZZZ", ""}) {
        testutil::WriteValue(kPwdKey, "Beta", REG_SZ, std::string(damaged) + '\0');
        pw = "x";
        none = true;
        bool unreadable = false;
        EXPECT_FALSE(LoadProviderPassword("Beta", pw, none, &unreadable)) << damaged;
        EXPECT_TRUE(pw.IsEmpty());
        EXPECT_FALSE(none);
        EXPECT_TRUE(unreadable) << damaged;
    }
    // The entry's name in another letter case finds the value, as the
    // registry finds it, and a save under it is what the next load reads.
    ASSERT_TRUE(SaveProviderPassword("alpha", "renamed", false));
    ASSERT_TRUE(LoadProviderPassword("ALPHA", pw, none));
    EXPECT_STREQ(pw, "renamed");
    EXPECT_EQ(testutil::ValueNames(kPwdKey), (std::vector<std::string>{"Alpha", "Beta"}));
}

TEST_F(PasswordStoreTest, SavingOneEntryLeavesTheOthers)
{
    ASSERT_TRUE(SaveProviderPassword("One", "first", false));
    ASSERT_TRUE(SaveProviderPassword("Two", "second", false));
    testutil::WriteValue(kPwdKey, "Three", REG_SZ, std::string("NULL", 5));
    auto one = testutil::ReadValue(kPwdKey, "One").data;
    ASSERT_TRUE(SaveProviderPassword("Two", "changed", false));
    EXPECT_EQ(testutil::ReadValue(kPwdKey, "One").data, one);
    EXPECT_EQ(testutil::ReadValue(kPwdKey, "Three").data, std::string("NULL", 5));
    CString pw;
    bool none;
    ASSERT_TRUE(LoadProviderPassword("Two", pw, none));
    EXPECT_STREQ(pw, "changed");
}

TEST_F(PasswordStoreTest, FailedSaveReportsFalseAndKeepsTheOldValue)
{
    // A volatile parent refuses a lasting subkey: the store cannot be written.
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Kelvane", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &k, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(k);
    EXPECT_FALSE(SaveProviderPassword("Alpha", "secret", false));
    EXPECT_FALSE(testutil::KeyExists(kPwdKey));
}

TEST_F(PasswordStoreTest, UnreadableStoreIsNotOverwritten)
{
    ASSERT_TRUE(SaveProviderPassword("One", "first", false));
    ASSERT_TRUE(SaveProviderPassword("Two", "second", false));
    auto one = testutil::ReadValue(kPwdKey, "One").data;
    {
        testutil::ImportHook hook("advapi32.dll", "RegEnumValueA", &testutil::RegEnumValueFailingAtSecond,
                                  &testutil::realRegEnumValueA);
        ASSERT_TRUE(hook.Installed());
        EXPECT_FALSE(SaveProviderPassword("Three", "third", false));
        // What was not read is not taken for "none stored"; what was, is used.
        CString pw;
        bool none = false, unreadable = false;
        EXPECT_FALSE(LoadProviderPassword("Two", pw, none, &unreadable));
        EXPECT_TRUE(unreadable);
        EXPECT_TRUE(LoadProviderPassword("One", pw, none, &unreadable));
        EXPECT_STREQ(pw, "first");
    }
    EXPECT_EQ(testutil::ReadValue(kPwdKey, "One").data, one);
    EXPECT_TRUE(testutil::ReadValue(kPwdKey, "Two").exists);
    EXPECT_FALSE(testutil::ReadValue(kPwdKey, "Three").exists);
}

}  // namespace
