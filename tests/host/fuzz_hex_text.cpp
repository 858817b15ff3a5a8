// The stored hexadecimal text is read leniently and never past its end.
#include <cstdint>
#include <vector>

#include "vault/hex_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    std::vector<unsigned char> bytes(HexTextBytes(size));
    FromHexText(text.data(), text.size(), bytes.data());
    CString again = ToHexText(bytes.data(), bytes.size());
    if (static_cast<size_t>(again.GetLength()) != bytes.size() * 2) __builtin_trap();
    return 0;
}
