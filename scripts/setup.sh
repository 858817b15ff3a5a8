#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the program.
# Idempotent and non-interactive; every package comes from Debian.
#
# The program is built for 32-bit Windows (i686) and for 64-bit Windows
# (x86_64). Tests run the 64-bit build under 64-bit Wine: the machines this
# project is built and tested on cannot execute 32-bit code at all, so the
# 32-bit Wine loader (wine32) cannot start there.
set -euo pipefail

need=(g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
      g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
      cmake ninja-build make googletest
      wine wine64 libwine fonts-wine fonts-liberation xvfb xauth x11-apps imagemagick python3
      clang libclang-rt-14-dev liblnk-utils openssl xxd locales file)

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

# German resources are picked through the locale; make sure it exists.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
echo "setup: all packages present"
