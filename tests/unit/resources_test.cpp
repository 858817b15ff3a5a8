// The resources as Wine's resource loader finds them, in both languages.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "resource.h"

namespace {

constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

struct Text {
    UINT id;
    const char* en;
    const char* de;
};

// Typed from the product's text catalogue; the resources must match it exactly.
const Text kStrings[] = {
    {101, "&About Kelvane Pendro!", "Inf&o über Kelvane Pendro!"},
    {102, "Kelvane Pendro!", "Kelvane Pendro!"},
    {103, "DefaultEntry", "DefaultEntry"},
    {152, "Error", "Fehler"},
    {165, "Error during connection process", "Fehler beim Verbindungsaufbau"},
    {171, "Dial timeout exceeded.", "Das Zeitlimit für den Verbindungsaufbau wurde überschritten."},
    {193, "Open port...", "Öffne Anschluss..."},
    {194, "Port opened.", "Anschluss geöffnet."},
    {195, "Connect device...", "Verbindungsaufbau..."},
    {196, "Device connected.", "Verbindung aufgebaut."},
    {197, "All devices connected.", "Alle Verbindungen aufgebaut."},
    {198, "Authenticate...", "Anmeldung..."},
    {199, "Authentication notification.", "Anmeldungsnachricht."},
    {200, "Retry authenticate...", "Erneuter Anmeldeversuch..."},
    {201, "Authenticate callback...", "Rückrufanmeldung..."},
    {202, "Client requests to change password.", "Passwort ändern."},
    {203, "Authenticate projection...", "Projektionsanmeldung..."},
    {204, "Authenticate link-speed...", "Geschwindigkeit vereinbaren..."},
    {205, "Authentication acknowledged.", "Anmeldung bestätigt."},
    {206, "Reauthentication...", "Neuanmeldung..."},
    {207, "Authenticated.", "Angemeldet."},
    {208, "Prepare for callback...", "Vorbereitung auf Rückruf..."},
    {209, "Wait for modem reset...", "Warte auf Modem..."},
    {210, "Wait for callback...", "Warte auf Rückruf..."},
    {211, "Projected.", "Projiziert."},
    {212, "Start authentication...", "Beginne Anmeldung..."},
    {213, "Callback complete.", "Rückrufvorgang beendet."},
    {214, "Logon network...", "Netzwerkanmeldung..."},
    {215, "Subentry connected.", "Untereintrag verbunden."},
    {216, "Subentry disconnected.", "Untereintrag getrennt."},
    {217, "Interactive.", "Interaktiv."},
    {218, "Retry authentication...", "Erneuter Anmeldeversuch..."},
    {219, "Callback set by caller.", "Anrufer wünscht Rückruf."},
    {220, "Password expired.", "Passwort abgelaufen."},
    {222, "Connected.", "Verbunden."},
    {223, "Disconnected.", "Getrennt."},
    {224, "Software\\Kelvane\\Pendro", "Software\\Kelvane\\Pendro"},
    {225, "DialPrefix", "DialPrefix"},
    {226, "Previous error", "Voriger Fehler"},
    {227, "Thank you!\n\nAs soon as you are connected to the internet\nyou will be redirected to the Kelvane homepage.",
     "Vielen Dank!\n\nSobald Sie mit dem Internet verbunden sind,\nwerden Sie zur Kelvane Homepage weitergeleitet."},
    {228, "Dial attempt %d/%d:", "Anwahl, Versuch %d/%d:"},
    {229, "DialEntryOK", "DialEntryOK"},
    {230,
     "Connection failed.\n\nFor security reasons the automated redialing will not be invoked\nbefore you have at least "
     "once successfully connected to the\nselected provider.\n\nRedial?",
     "Verbindungsaufbau gescheitert.\n\nAus Sicherheitsgründen wird die automatische Wiederwahl\nerst aktiviert, wenn "
     "Sie sich bei diesem Provider einmal\nerfolgreich eingewählt haben.\n\nAnwahl wiederholen?"},
    {231, "Maximum number of dial attempts reached.", "Maximale Anzahl Wahlversuche erreicht."},
    {232, "WindowGlassTide", "WindowGlassTide"},
    {233, "You must first select a provider for which a password is to be specified.",
     "Es muss erst ein Provider ausgewählt werden, zu dem das Passwort eingetragen werden kann."},
    {234,
     "You did not specify a password. Kelvane Pendro! thus assumes\r\nthat the corresponding internet provider does "
     "not need \r\na password.\r\n\r\nIs that correct?",
     "Sie haben kein Passwort angegeben. Kelvane Pendro! nimmt\r\ndaher an, dass der entsprechende Internet-Provider "
     "auch kein\r\nPasswort benötigt.\r\n\r\nIst das so richtig?"},
    {235, "Software\\Kelvane\\Pendro\\Pwd", "Software\\Kelvane\\Pendro\\Pwd"},
    {236, "The password could not be encrypted or saved.",
     "Das Passwort konnte nicht verschlüsselt oder nicht gespeichert werden."},
    {237,
     "Under certain conditions (after a failed connection attempt), Windows 2000 deletes the password for your "
     "internet login. You need to enter your password here only once, so that Kelvane Pendro can restore it.",
     "Windows 2000 löscht unter bestimmten Bedingungen das Zugangs-Passwort zum Internet-Provider, wenn der "
     "Verbindungsaufbau scheitert. Kelvane Pendro! kann in diesem Fall das Passwort wiederherstellen."},
    {238,
     "Please remeber to inform Kelvane Pendro! when your password changes. Your password will be saved in encrypted "
     "form only.",
     "Dazu muss es einmalig hier eingegeben werden (danach nur noch, wenn sich das Zugangs-Passwort zum "
     "Internet-Provider ändert). Das Passwort wird von Kelvane Pendro! verschlüsselt gespeichert."},
    {239,
     "You are already connected over\r\n%s.\r\n\r\nDialing is only possible after the current connection has been  "
     "terminated.\r\n\r\nDo you wish to terminate the current connection now?",
     "Es besteht bereits eine Verbindung über\r\n%s.\r\n\r\nEine Anwahl kann nur durchgeführt werden, wenn "
     "die\r\nbestehende Verbindung getrennt wird.\r\n\r\nMöchten Sie die bestehende Verbindung jetzt trennen?"},
    {240,
     "Create a desktop shortcut for \"Kelvane Pendro!\":\r\n\r\nClick on 'Yes' if you want the desktop shortcut to be "
     "configured so that\r\n\"Kelvane Pendro!\" immediately starts dialing to the current provider\r\n\"%s\"?\r\n(You "
     "can create a desktop shortcut for each provider.)\r\n\r\nClick on 'No' if the desktop shortcut shall just start "
     "the program\r\n\"Kelvane Pendro!\".",
     "Zu \"Kelvane Pendro!\" eine Desktop-Verknüpfung einrichten:\r\n\r\nKlicken Sie auf 'Ja', wenn die Verknüpfung so "
     "hergestellt werden soll,\r\ndass beim Aufruf sofort eine Anwahl zum aktuell gewählten Provider\r\n\"%s\" "
     "durchgeführt wird.\r\n(Sie können zu jedem Provider eine eigene Verknüpfung einrichten.)\r\n\r\nKlicken Sie auf "
     "'Nein', wenn die Desktop-Verknüpfung\r\nlediglich das Programm \"Kelvane Pendro!\" starten soll."},
    {241, "Kelvane Pendro!", "Kelvane Pendro!"},
    {242, " to ", " mit "},
    {243, "Creation of desktop shortcut failed!", "Die Desktop-Verknüpfung konnte nicht eingerichtet werden!"},
    {244, "Unknown connection state.", "Unbekannter Verbindungszustand."},
    {245, "Unknown RAS error.", "Unbekannter RAS-Fehler."},
    {246, "Disconnected while dialing (reason unknown). Aborting automated redial process.",
     "Verbindung während der Anwahl getrennt (Ursache unbekannt). Es erfolgt keine automatische Wiederwahl."},
    {247, "The connection could not be hung up. Aborting automated redial process.",
     "Die Verbindung ließ sich nicht trennen. Es erfolgt keine automatische Wiederwahl."},
};

std::wstring Wide(const char* utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), n);
    w.resize(static_cast<size_t>(n - 1));
    return w;
}

// A string as stored in one language's string-table block; false when absent.
bool StoredString(UINT id, WORD lang, std::wstring& out)
{
    HMODULE mod = GetModuleHandleA(nullptr);
    HRSRC res = FindResourceExA(mod, reinterpret_cast<LPCSTR>(RT_STRING), MAKEINTRESOURCEA((id >> 4) + 1), lang);
    if (!res) return false;
    const WCHAR* p = static_cast<const WCHAR*>(LockResource(LoadResource(mod, res)));
    for (UINT i = 0; i < (id & 15); ++i) p += 1 + *p;
    if (*p == 0) return false;
    out.assign(p + 1, *p);
    return true;
}

TEST(ResourcesTest, EveryStringInBothLanguagesExactly)
{
    for (const Text& t : kStrings) {
        std::wstring en, de;
        ASSERT_TRUE(StoredString(t.id, kEnglish, en)) << "English string " << t.id << " missing";
        ASSERT_TRUE(StoredString(t.id, kGerman, de)) << "German string " << t.id << " missing";
        EXPECT_EQ(en, Wide(t.en)) << "English string " << t.id;
        EXPECT_EQ(de, Wide(t.de)) << "German string " << t.id;
    }
    std::wstring unused;
    EXPECT_FALSE(StoredString(221, kEnglish, unused));  // the state table does not use 221
}

TEST(ResourcesTest, NoStringExistsInOneLanguageOnly)
{
    for (UINT id = 0; id < 4096; ++id) {
        std::wstring en, de;
        EXPECT_EQ(StoredString(id, kEnglish, en), StoredString(id, kGerman, de)) << "string " << id;
    }
}

struct Control {
    std::string cls;
    DWORD style;
    std::wstring text;
    RECT dlu;
};

INT_PTR CALLBACK NullProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// Creates a dialog from one language's template and reads its controls.
std::map<int, Control> DialogControls(UINT id, WORD lang, std::wstring* caption = nullptr, SIZE* size = nullptr)
{
    std::map<int, Control> out;
    HMODULE mod = GetModuleHandleA(nullptr);
    HRSRC res = FindResourceExA(mod, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(id), lang);
    if (!res) return out;
    auto* tpl = static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(mod, res)));
    HWND dlg = CreateDialogIndirectParamW(mod, tpl, nullptr, NullProc, 0);
    if (!dlg) return out;
    if (caption) {
        WCHAR buf[256];
        GetWindowTextW(dlg, buf, 256);
        *caption = buf;
    }
    if (size) {
        RECT r = {0, 0, 4, 8};
        MapDialogRect(dlg, &r);
        RECT client;
        GetClientRect(dlg, &client);
        size->cx = MulDiv(client.right, 4, r.right);
        size->cy = MulDiv(client.bottom, 8, r.bottom);
    }
    RECT unit = {0, 0, 4, 8};
    MapDialogRect(dlg, &unit);
    int statics = -100;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        Control ctl;
        char cls[64];
        GetClassNameA(c, cls, sizeof cls);
        ctl.cls = cls;
        ctl.style = static_cast<DWORD>(GetWindowLongA(c, GWL_STYLE));
        WCHAR text[512] = L"";
        GetWindowTextW(c, text, 512);
        ctl.text = text;
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
        ctl.dlu = {MulDiv(r.left, 4, unit.right), MulDiv(r.top, 8, unit.bottom), MulDiv(r.right - r.left, 4, unit.right),
                   MulDiv(r.bottom - r.top, 8, unit.bottom)};
        int cid = GetDlgCtrlID(c);
        out[cid == 0xFFFF || cid == -1 ? statics-- : cid] = ctl;
    }
    DestroyWindow(dlg);
    return out;
}

std::set<int> Ids(const std::map<int, Control>& m)
{
    std::set<int> s;
    for (const auto& [id, c] : m)
        if (id > 0) s.insert(id);
    return s;
}

TEST(ResourcesTest, BothLanguagesCarryTheSameControls)
{
    for (UINT id : {IDD_ABOUTBOX, IDD_PENDRO_DIALOG, IDD_PASSWORD}) {
        auto en = DialogControls(id, kEnglish), de = DialogControls(id, kGerman);
        ASSERT_FALSE(en.empty()) << id;
        EXPECT_EQ(Ids(en), Ids(de)) << "dialog " << id;
        EXPECT_EQ(en.size(), de.size()) << "dialog " << id;
    }
}

TEST(ResourcesTest, MainWindowTemplate)
{
    std::wstring caption;
    SIZE size;
    auto en = DialogControls(IDD_PENDRO_DIALOG, kEnglish, &caption, &size);
    auto de = DialogControls(IDD_PENDRO_DIALOG, kGerman);
    EXPECT_EQ(caption, L"Kelvane Pendro! - Version 1.0");
    EXPECT_EQ(size.cx, 189);
    EXPECT_EQ(size.cy, 240);

    EXPECT_EQ(en[IDCANCEL].text, L"&Quit");
    EXPECT_EQ(de[IDCANCEL].text, L"&Beenden");
    EXPECT_EQ(en[IDCANCEL].style & 0xF, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(en[IDC_DIAL].text, L"&Dial");
    EXPECT_EQ(de[IDC_DIAL].text, Wide("&Wählen"));
    EXPECT_EQ(en[IDC_CANCEL_DIAL].text, L"&Cancel");
    EXPECT_EQ(de[IDC_CANCEL_DIAL].text, L"&Abbrechen");
    EXPECT_EQ(en[IDC_CLICKHERE].text, L"Click &here!");
    EXPECT_EQ(de[IDC_CLICKHERE].text, L"&Hier klicken!");
    EXPECT_EQ(en[IDC_PASSWORD].text, L"&Password");
    EXPECT_EQ(de[IDC_PASSWORD].text, L"&Passwort");
    EXPECT_EQ(en[IDC_SHORTCUT].text, L"Desktop Shortcut");
    EXPECT_EQ(de[IDC_SHORTCUT].text, Wide("Desktop-Verknüpfung"));

    EXPECT_FALSE(en[IDC_PASSWORD].style & WS_VISIBLE);
    EXPECT_TRUE(en[IDC_DIAL].style & WS_VISIBLE);
    EXPECT_EQ(en[IDC_ENTRY].style & 3, static_cast<DWORD>(CBS_DROPDOWNLIST));
    EXPECT_TRUE(en[IDC_ENTRY].style & CBS_SORT);
    EXPECT_TRUE(en[IDC_LOG].style & ES_MULTILINE);
    EXPECT_TRUE(en[IDC_LOG].style & ES_READONLY);
    EXPECT_TRUE(en[IDC_LOG].style & ES_AUTOVSCROLL);
    EXPECT_TRUE(en[IDC_LOG].style & WS_VSCROLL);
    EXPECT_TRUE(en[IDC_PREFIX].style & ES_NUMBER);
    EXPECT_TRUE(en[IDC_PREFIX].style & ES_AUTOHSCROLL);

    auto at = [](const Control& c, int x, int y, int w, int h) {
        return c.dlu.left == x && c.dlu.top == y && c.dlu.right == w && c.dlu.bottom == h;
    };
    EXPECT_TRUE(at(en[IDCANCEL], 135, 130, 50, 14));
    EXPECT_TRUE(at(en[IDC_DIAL], 5, 130, 50, 14));
    EXPECT_TRUE(at(en[IDC_CANCEL_DIAL], 70, 130, 50, 14));
    EXPECT_TRUE(at(en[IDC_LOG], 5, 155, 180, 80));
    EXPECT_TRUE(at(en[IDC_PREFIX], 145, 65, 40, 12));
    EXPECT_TRUE(at(en[IDC_CLICKHERE], 10, 35, 65, 20));
    EXPECT_TRUE(at(en[IDC_PASSWORD], 135, 105, 50, 14));
    EXPECT_TRUE(at(en[IDC_SHORTCUT], 5, 105, 115, 14));
}

// A screen reader names an edit or a combo box, which have no text of their
// own, after the static text right before it in the dialog's child order.
TEST(ResourcesTest, EveryFieldHasItsLabelRightBeforeIt)
{
    HMODULE mod = GetModuleHandleA(nullptr);
    for (UINT id : {IDD_ABOUTBOX, IDD_PENDRO_DIALOG, IDD_PASSWORD}) {
        for (WORD lang : {kEnglish, kGerman}) {
            HRSRC res = FindResourceExA(mod, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(id), lang);
            HWND dlg = CreateDialogIndirectParamW(mod, static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(mod, res))),
                                                  nullptr, NullProc, 0);
            ASSERT_TRUE(dlg);
            for (HWND c = GetWindow(dlg, GW_CHILD), prev = nullptr; c; prev = c, c = GetWindow(c, GW_HWNDNEXT)) {
                char cls[64], label[256] = "";
                GetClassNameA(c, cls, sizeof cls);
                if (lstrcmpiA(cls, "Edit") != 0 && lstrcmpiA(cls, "ComboBox") != 0) continue;
                if (prev) GetClassNameA(prev, cls, sizeof cls);
                if (prev) GetWindowTextA(prev, label, sizeof label);
                DWORD type = prev ? static_cast<DWORD>(GetWindowLongA(prev, GWL_STYLE)) & SS_TYPEMASK : SS_ICON;
                EXPECT_TRUE(lstrcmpiA(cls, "Static") == 0 && type <= SS_RIGHT && label[0])
                    << "dialog " << id << ", language " << lang << ": control " << GetDlgCtrlID(c) << " has no label";
            }
            DestroyWindow(dlg);
        }
    }
}

TEST(ResourcesTest, PasswordAndAboutTemplates)
{
    std::wstring caption;
    auto en = DialogControls(IDD_PASSWORD, kEnglish, &caption);
    auto de = DialogControls(IDD_PASSWORD, kGerman);
    EXPECT_EQ(caption, L"Kelvane Pendro!");
    EXPECT_TRUE(en[IDC_PWD_PROVIDER].style & ES_READONLY);
    EXPECT_FALSE(en[IDC_PWD_PASSWORD].style & ES_PASSWORD);  // typed text stays visible
    EXPECT_EQ(en[IDC_PWD_DONTSAVE].text, L"&Don't save the password (any more).");
    EXPECT_EQ(de[IDC_PWD_DONTSAVE].text, L"&Das Passwort nicht (mehr) speichern.");
    EXPECT_EQ(en[IDOK].style & 0xF, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(de[IDCANCEL].text, L"&Abbrechen");

    std::wstring about;
    DialogControls(IDD_ABOUTBOX, kEnglish, &about);
    EXPECT_EQ(about, L"About Kelvane Pendro!");
    DialogControls(IDD_ABOUTBOX, kGerman, &about);
    EXPECT_EQ(about, Wide("Info über Kelvane Pendro!"));
}

TEST(ResourcesTest, BitmapIconAndVersion)
{
    HMODULE mod = GetModuleHandleA(nullptr);
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageA(mod, MAKEINTRESOURCEA(IDB_PROMO), IMAGE_BITMAP, 0, 0,
                                                  LR_CREATEDIBSECTION));
    ASSERT_TRUE(bmp);
    DIBSECTION dib;
    ASSERT_EQ(GetObjectA(bmp, sizeof dib, &dib), static_cast<int>(sizeof dib));
    EXPECT_EQ(dib.dsBmih.biWidth, 116);
    EXPECT_EQ(dib.dsBmih.biHeight, 30);
    EXPECT_EQ(dib.dsBmih.biBitCount, 8);
    DeleteObject(bmp);

    // The icon group holds 32 and 16 pixels, each in 16 and in 256 colours,
    // and 48 in 16 colours for higher DPIs.
    HRSRC group = FindResourceA(mod, MAKEINTRESOURCEA(IDI_PENDRO), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
    ASSERT_TRUE(group);
    const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(mod, group)));
    WORD count = *reinterpret_cast<const WORD*>(dir + 4);
    std::set<std::pair<int, int>> images;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* e = dir + 6 + 14 * i;
        images.insert({e[0], *reinterpret_cast<const WORD*>(e + 6)});
    }
    EXPECT_EQ(images, (std::set<std::pair<int, int>>{{16, 4}, {16, 8}, {32, 4}, {32, 8}, {48, 4}}));

    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    DWORD handle = 0, size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, data.data()));
    char* text = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040704b0\\ProductName", reinterpret_cast<void**>(&text),
                               &len));
    EXPECT_STREQ(text, "Kelvane Pendro!");
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);

    // Per-monitor v2 where the system rescales the dialog (10 1703 on), else
    // system-aware: never per-monitor v1, under which nothing rescales it.
    HRSRC manifest = FindResourceA(mod, MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_MANIFEST));
    ASSERT_TRUE(manifest);
    std::string xml(static_cast<const char*>(LockResource(LoadResource(mod, manifest))), SizeofResource(mod, manifest));
    EXPECT_NE(xml.find("WindowsSettings\">true</dpiAware>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("WindowsSettings\">PerMonitorV2, System</dpiAwareness>"), std::string::npos) << xml;
}

// Run once in each locale: the loader follows LC_ALL.
TEST(LocalizedTest, LoaderPicksTheLanguageOfTheLocale)
{
    const char* lc = std::getenv("LC_ALL");
    bool german = lc && std::string(lc).rfind("de_", 0) == 0;
    WCHAR buf[128];
    ASSERT_GT(LoadStringW(GetModuleHandleA(nullptr), IDS_ERROR, buf, 128), 0);
    EXPECT_EQ(std::wstring(buf), german ? L"Fehler" : L"Error");
}

}  // namespace
