// The multi-string parse must stay within the data and round-trip.
#include <cstdint>
#include <cstring>
#include <vector>

#include "settings/name_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exactly sized copy, so that any read past the data is reported.
    std::vector<char> copy(data, data + size);
    CNameList list;
    if (!list.FromMultiString(copy.data(), copy.size())) return 0;
    int needed = 0;
    char probe[2];
    list.ToMultiString(probe, 2, &needed);
    std::vector<char> out(static_cast<size_t>(needed));
    if (!list.ToMultiString(out.data(), needed, &needed)) __builtin_trap();
    CNameList again;
    if (!again.FromMultiString(out.data(), out.size())) __builtin_trap();
    // An empty first string followed by nothing else is not an element.
    if (again.GetCount() != list.GetCount() && !(list.GetCount() == 1 && !*list.GetAt(0))) __builtin_trap();
    return 0;
}
