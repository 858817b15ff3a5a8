// Command-line matching: the first entry equal to the argument ignoring case,
// or none, whatever the names and the argument hold.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "settings/name_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The last line is the argument; the lines before it are the phonebook.
    std::string text(reinterpret_cast<const char*>(data), size);
    for (char& c : text)
        if (c == '\0') c = '\x01';
    size_t cut = text.rfind('\n');
    std::string arg = cut == std::string::npos ? text : text.substr(cut + 1);
    CNameList names;
    std::vector<std::string> expected;
    size_t start = 0;
    while (cut != std::string::npos && start <= cut) {
        size_t end = text.find('\n', start);
        std::string name = text.substr(start, end - start);
        if (!names.Add(name.c_str())) return 0;
        expected.push_back(name);
        start = end + 1;
    }
    int found = names.FindNoCase(arg.c_str());
    int first = -1;
    for (size_t i = 0; i < expected.size() && first < 0; ++i)
        if (strcasecmp(expected[i].c_str(), arg.c_str()) == 0) first = static_cast<int>(i);
    if (found != first) __builtin_trap();
    if (names.FindNoCase(nullptr) != -1) __builtin_trap();
    return 0;
}
