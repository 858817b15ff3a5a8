// Link-name cleaning: none of the forbidden characters is left, and every
// other byte stays, in order.
#include <cstdint>
#include <cstring>
#include <string>

#include "shell/link_name.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));  // a C string ends at its NUL
    CString clean = CleanLinkName(CString(text.c_str()));
    std::string kept;
    for (char c : text)
        if (!std::strchr("<>|/\"\\", c) || c == '\0') kept += c;
    if (std::string(clean.c_str(), static_cast<size_t>(clean.GetLength())) != kept) __builtin_trap();
    return 0;
}
