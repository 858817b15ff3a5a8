// The provider passwords kept encrypted under Software\Kelvane\Pendro\Pwd.
#pragma once
#include "cstring.h"

bool SaveProviderPassword(const CString& entry, const CString& password, bool dontSave);
bool LoadProviderPassword(const CString& entry, CString& password, bool& noPassword);
