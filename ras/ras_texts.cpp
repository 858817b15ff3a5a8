#include "ras_texts.h"

#include "resource.h"
#include "ras_api.h"

namespace {
struct StateRow {
    RASCONNSTATE state;
    UINT string;
    const char* fallback;  // used only when the string table lacks the string
};

const StateRow kStates[] = {
    {0, 193, "Open port..."},
    {1, 194, "Port opened."},
    {2, 195, "Connect device..."},
    {3, 196, "Device connected."},
    {4, 197, "All devices connected."},
    {5, 198, "Authenticate..."},
    {6, 199, "Authentication notify."},
    {7, 200, "Retry authenticate..."},
    {8, 201, "Authentication callback."},
    {9, 202, "Change authentication password."},
    {10, 203, "Authenticate project..."},
    {11, 204, "Authenticate link speed..."},
    {12, 205, "Authentication acknowledged."},
    {13, 206, "Re-authenticate..."},
    {14, 207, "Authenticated."},
    {15, 208, "Prepare for callback..."},
    {16, 209, "Wait for modem reset..."},
    {17, 210, "Wait for callback..."},
    {18, 211, "Projected."},
    {19, 212, "Start authentication..."},
    {20, 213, "Callback complete."},
    {21, 214, "Logon network..."},
    {22, 215, "Sub-entry connected."},
    {23, 216, "Sub-entry disconnected."},
    {0x1000, 217, "Interactive."},
    {0x1001, 218, "Retry authentication..."},
    {0x1002, 219, "Callback set by caller."},
    {0x1003, 220, "Password expired."},
    {0x2000, 222, "Connected."},
    {0x2001, 223, "Disconnected."},
};

CString LoadOr(UINT id, const char* fallback)
{
    CString s;
    if (!s.LoadString(id)) s = fallback;
    return s;
}
}  // namespace

CString ConnStateText(RASCONNSTATE state)
{
    for (const StateRow& row : kStates)
        if (row.state == state) return LoadOr(row.string, row.fallback);
    CString text = LoadOr(IDS_UNKNOWN_STATE, "Unknown connection state.");
    CString number;
    number.Format(" (%d)", static_cast<int>(state));
    return text + number;
}

CString RasErrorText(DWORD code)
{
    char buffer[256] = "";
    if (ras::GetErrorString(code, buffer, 255) == 0) {
        buffer[255] = 0;
        return CString(buffer);
    }
    CString text = LoadOr(IDS_UNKNOWN_RAS_ERROR, "Unknown RAS error.");
    CString number;
    number.Format(" (0x%08x)", static_cast<unsigned>(code));
    return text + number;
}
