// Display texts of connection states and remote-access error codes.
#pragma once
#include "cstring.h"
#include "ras_types.h"

CString ConnStateText(RASCONNSTATE state);
CString RasErrorText(DWORD code);
