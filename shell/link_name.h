// The file name of a desktop link, made from text that may hold characters
// a file name cannot.
#pragma once
#include "cstring.h"

// The name without the characters < > | / " and backslash.
CString CleanLinkName(const CString& name);
