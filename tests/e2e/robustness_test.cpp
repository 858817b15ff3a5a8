// The program without a remote-access service: no entries, no dial, no crash.
#include "fixture.h"

namespace e2e {
namespace {

using MissingServiceTest = E2eTest;

TEST_F(MissingServiceTest, WithoutRasapi32TheProgramGoesOn)
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    std::string dll = std::string(sys) + "\\rasapi32.dll", moved = dll + ".away";
    ASSERT_TRUE(MoveFileExA(dll.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
    struct PutBack {  // whatever the test's outcome, later tests need the service
        std::string from, to;
        ~PutBack() { MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING); }
    } putBack{moved, dll};
    {
        Pendro p("Alpha");
        ASSERT_TRUE(p.Window());
        EXPECT_EQ(SendMessageA(p.Item(kEntry), CB_GETCOUNT, 0, 0), 0);
        p.Click(kDial);  // no entry selected: the press only clears the log
        Sleep(300);
        EXPECT_TRUE(p.Enabled(kDial));
        EXPECT_TRUE(p.Log().empty());
        p.Click(kClickHere);  // the connection search fails: treated as not connected
        MessageBoxInfo box = p.WaitMessageBox();
        ASSERT_TRUE(box.hwnd);
        p.Answer(box, IDOK);
        p.Click(kQuit);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    EXPECT_EQ(Setting("DefaultEntry"), "");
}

}  // namespace
}  // namespace e2e
