// The provider passwords kept encrypted under Software\Kelvane\Pendro\Pwd.
#pragma once
#include "cstring.h"

bool SaveProviderPassword(const CString& entry, const CString& password, bool dontSave);
// False when no password is stored for the entry, or when one may be but
// could not be read (memory, an unreadable key, the cipher): then
// *unreadable is set, and a caller must not take it for "none".
bool LoadProviderPassword(const CString& entry, CString& password, bool& noPassword, bool* unreadable = nullptr);
