// Hexadecimal text of ciphertext bytes as the password store writes and reads it.
#pragma once
#include <cstddef>

#include "cstring.h"

// Two upper-case digits per byte ("%02X"), nothing else.
CString ToHexText(const unsigned char* data, std::size_t len);
// Half the text's length in bytes (an odd last character is ignored); a
// character other than 0-9, A-F and a-f counts as 0.
std::size_t HexTextBytes(std::size_t textLen);
void FromHexText(const char* text, std::size_t textLen, unsigned char* out);
