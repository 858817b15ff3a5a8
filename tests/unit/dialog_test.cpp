// The main window inside the test process, where a call it makes to the
// system can be made to fail and its allocations can be counted.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "resource.h"
#include "test_util.h"
#include "ui/dialer_dlg.h"

namespace {

const char kKey[] = "Software\\Kelvane\\Pendro";
const char kPwdKey[] = "Software\\Kelvane\\Pendro\\Pwd";

class DialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        testutil::DeleteKey("Software\\Kelvane");
        testutil::ResetSim();
        rassim::Session s;
        testutil::AddEntry(s.state(), "Alpha", "5551234").scripts.push_back("hang");
        s.Commit();
        testutil::WriteValue(kPwdKey, "Alpha", REG_SZ, std::string("NULL", 5));
    }
    void TearDown() override
    {
        if (m_dlg && IsWindow(m_hwnd)) m_dlg->DestroyWindow();  // deletes the object
        Pump();
        testutil::DeleteKey("Software\\Kelvane");
    }
    HWND Open()
    {
        m_dlg = new CDialerDlg(&m_cmdInfo, nullptr);
        if (!m_dlg->Create(IDD_PENDRO_DIALOG, nullptr)) return nullptr;
        m_hwnd = m_dlg->m_hWnd;
        return m_hwnd;
    }
    static void Pump(DWORD ms = 50)
    {
        DWORD start = GetTickCount();
        do {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            Sleep(5);
        } while (GetTickCount() - start < ms);
    }
    std::string Log()
    {
        char text[4096] = "";
        GetDlgItemTextA(m_hwnd, IDC_LOG, text, sizeof text);
        return text;
    }
    CDialerCommandLineInfo m_cmdInfo;
    CDialerDlg* m_dlg = nullptr;
    HWND m_hwnd = nullptr;
};

decltype(&SetTimer) realSetTimer;
UINT_PTR WINAPI NoTimer(HWND, UINT_PTR, UINT, TIMERPROC) { return 0; }

// Without its timer an attempt would never be seen to connect or fail: the
// run ends at once, the connection is hung up, and Dial can be pressed again.
TEST_F(DialogTest, AttemptWithoutItsTimerEndsTheRun)
{
    ASSERT_TRUE(Open());
    {
        testutil::ImportHook hook("user32.dll", "SetTimer", &NoTimer, &realSetTimer);
        ASSERT_TRUE(hook.Installed());
        SendMessageA(GetDlgItem(m_hwnd, IDC_DIAL), BM_CLICK, 0, 0);
    }
    EXPECT_EQ(testutil::JournalLines("RasDialA").size(), 1u);
    EXPECT_EQ(testutil::JournalLines("RasHangUpA").size(), 1u);
    std::string log = Log();
    EXPECT_NE(log.find("Error during connection process!\r\n"), std::string::npos) << log;
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(m_hwnd, IDC_DIAL)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(m_hwnd, IDC_CANCEL_DIAL)));
    // The run is over: the window closes on request and saves.
    m_dlg->SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(m_hwnd));
    EXPECT_EQ(testutil::ReadValue(kKey, "DefaultEntry").data, std::string("Alpha", 6));
}

}  // namespace
