// The file name of a desktop link, made from text that may hold characters
// a file name cannot.
#pragma once
#include "cstring.h"

// The name without the characters < > | / " and backslash.
CString CleanLinkName(const CString& name);

// The text as one command-line argument that the C runtime's parser reads back
// whole: in quotes, a quote as \" and the backslashes before it, or before
// the closing quote, doubled. Walks characters, so a double-byte character's
// second byte is never taken for a backslash.
CString QuoteArgument(const CString& text);
