// Prints the stored text of a password, as the program writes it, for the
// comparison with an independent implementation of MD5 and RC2.
#include <cstdio>

#include "vault/hex_text.h"
#include "vault/pwd_cipher.h"

int main(int argc, char** argv)
{
    const char* password = argc > 1 ? argv[1] : "";
    CPwdCipher cipher;
    unsigned char out[512];
    DWORD cap = sizeof out;
    if (!cipher.EncryptString("WindowGlassTide", password, out, &cap)) return 1;
    std::printf("%s\n", ToHexText(out, cap).c_str());
    return 0;
}
