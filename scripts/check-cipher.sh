#!/usr/bin/env bash
# The registry text of a known password must be exactly what MD5 and RC2 of
# the platform's default provider give, recomputed without CryptoAPI.
# CryptDeriveKey(CALG_RC2, flags 0) keys RC2 with the MD5 hash of the pass
# phrase: the enhanced provider with all 16 bytes (128 bits), the base
# provider with the first five and an 11-byte zero salt (40 effective bits,
# which OpenSSL cannot express: tests/tools/rc2_reference.py does it). Both run
# CBC with a zero IV and PKCS#5 padding.
set -euo pipefail
here=$(dirname "$0")
probe=$1
provider=$("$here/wine-run" reg query 'HKLM\Software\Microsoft\Cryptography\Defaults\Provider Types\Type 001' \
             /v Name 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
echo "default provider of PROV_RSA_FULL: $provider"
hash=$(printf '%s' WindowGlassTide | openssl dgst -md5 -binary | xxd -p | tr -d '\n')
fail=0
for pw in "" "a" "secret" "12345678" "pass word with blanks"; do
  got=$("$here/wine-run" "$probe" "$pw" | tr -d '\r')
  case "$provider" in
    *Base*) want=$(python3 "$here/../tests/tools/rc2_reference.py" WindowGlassTide "$pw") ;;
    *) want=$(printf '%s' "$pw" | openssl enc -e -rc2-cbc -K "$hash" -iv 0000000000000000 \
                -provider legacy -provider default | xxd -p -u | tr -d '\n') ;;
  esac
  if [ "$got" = "$want" ]; then echo "ok   '$pw' -> $got"; else echo "BAD  '$pw': program $got, reference $want"; fail=1; fi
done
exit $fail
