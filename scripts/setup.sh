#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the program.
# Idempotent and non-interactive; every package comes from Debian.
#
# The program is built for 32-bit Windows (i686) and for 64-bit Windows
# (x86_64). The 64-bit build's tests run under 64-bit Wine on this machine.
# The 32-bit build's tests need 32-bit Wine, whose i386 packages cannot join
# this machine's own dpkg: scripts/bed32.sh makes a separate root for them
# with mmdebstrap, and its probe tells whether this machine runs 32-bit code.
set -euo pipefail

need=(g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
      g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
      cmake ninja-build make googletest
      wine wine64 libwine fonts-wine fonts-liberation xvfb xauth x11-apps imagemagick python3
      clang libclang-rt-14-dev liblnk-utils openssl xxd locales file binutils mmdebstrap unzip)

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# German resources are picked through the locale, and names are tested under
# the Japanese double-byte code page (932) and the Cyrillic one (1251): make
# sure those locales exist.
want=(de_DE.UTF-8 en_US.UTF-8 ja_JP.UTF-8 ru_RU.UTF-8)
have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
gen=0
for l in "${want[@]}"; do
  lower=$(echo "$l" | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
  echo "$have" | grep -qx "$lower" && continue
  gen=1
  $SUDO sed -i "s/^# *$l UTF-8/$l UTF-8/" /etc/locale.gen
  grep -q "^$l UTF-8" /etc/locale.gen || echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
done
[ "$gen" -eq 0 ] || $SUDO locale-gen >/dev/null
echo "setup: all packages present"
