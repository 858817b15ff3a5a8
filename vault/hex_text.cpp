#include "hex_text.h"

CString ToHexText(const unsigned char* data, std::size_t len)
{
    static const char kDigits[] = "0123456789ABCDEF";
    CString out;
    char* p = out.GetBuffer(static_cast<int>(len * 2));
    if (!p) return out;
    for (std::size_t i = 0; i < len; ++i) {
        p[2 * i] = kDigits[data[i] >> 4];
        p[2 * i + 1] = kDigits[data[i] & 15];
    }
    out.ReleaseBuffer(static_cast<int>(len * 2));
    return out;
}

std::size_t HexTextBytes(std::size_t textLen) { return textLen / 2; }

static unsigned DigitValue(char c)
{
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return 0;
}

void FromHexText(const char* text, std::size_t textLen, unsigned char* out)
{
    for (std::size_t i = 0; i < HexTextBytes(textLen); ++i)
        out[i] = static_cast<unsigned char>(16 * DigitValue(text[2 * i]) + DigitValue(text[2 * i + 1]));
}
