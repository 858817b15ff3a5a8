// The stored hexadecimal text is read leniently and never past its end.
#include <cstdint>
#include <vector>

#include "vault/hex_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    std::vector<unsigned char> bytes(HexTextBytes(size));
    FromHexText(text.data(), text.size(), bytes.data());
    std::string again(ToHexText(bytes.data(), bytes.size()).c_str());
    if (again.size() != bytes.size() * 2) __builtin_trap();
    return 0;
}
