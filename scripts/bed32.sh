#!/usr/bin/env bash
# Makes the 32-bit test bed when it is missing and prints its root folder.
#   bash scripts/bed32.sh --probe   only tells whether this machine runs
#                                   32-bit x86 code at all (exit 0, or 3)
#
# The shipped program is a 32-bit exe, and it is tested under 32-bit Wine.
# Debian's wine32:i386 cannot go into this machine's own dpkg (the i386 copy
# of every library would have to match the amd64 one's version exactly), so
# the bed is a separate Debian 12 root with both architectures, entered with
# scripts/bed32-run. It is built once and kept outside the clone, under a
# name taken from its recipe, so a later run on the same machine reuses it.
set -euo pipefail

# A kernel without IA32 emulation, or one that turned it off (a guest of some
# hypervisors does), refuses every i386 ELF: "Exec format error".
probe() {
  local dir
  dir=$(mktemp -d)
  printf '.globl _start\n_start: movl $1, %%eax\nmovl $42, %%ebx\nint $0x80\n' >"$dir/p.s"
  local rc=0
  { as --32 -o "$dir/p.o" "$dir/p.s" && ld -m elf_i386 -o "$dir/p" "$dir/p.o"; } || rc=2
  [ $rc -ne 0 ] || { "$dir/p" 2>/dev/null || rc=$?; }
  rm -rf "$dir"
  if [ $rc -eq 42 ]; then return 0; fi
  echo "bed32: this machine cannot execute 32-bit x86 code (a probe i386 program answered $rc:" \
       "$( [ $rc -eq 126 ] && echo 'Exec format error' || echo 'see above'); kernel $(uname -r))" >&2
  return 3
}
probe || exit 3
[ "${1:-}" != --probe ] || exit 0

# Only bookworm and bookworm-updates: the mirror's i386 index of
# bookworm-security lags behind its amd64 one, and a root built from both
# would not resolve. The bed runs tests only; it faces no network.
suites=(bookworm bookworm-updates)
mirror=http://deb.debian.org/debian
packages=(wine wine64 wine32:i386 libwine fonts-wine fonts-liberation
          xvfb xauth x11-apps imagemagick cmake binutils-mingw-w64-i686
          liblnk-utils openssl xxd python3 locales file procps)
locales=(de_DE.UTF-8 en_US.UTF-8 ja_JP.UTF-8 ru_RU.UTF-8)

recipe="${suites[*]} $mirror ${packages[*]} ${locales[*]} v1"
key=$(printf '%s' "$recipe" | sha256sum | cut -c1-16)
cache=${PENDRO_BED_CACHE:-/var/cache/pendro-bed32}
root=$cache/$key
if [ -x "$root/usr/lib/wine/wine" ]; then echo "$root"; exit 0; fi

[ "$(id -u)" -eq 0 ] || { echo "bed32: building the 32-bit bed needs root" >&2; exit 1; }
command -v mmdebstrap >/dev/null || { echo "bed32: mmdebstrap is missing (scripts/setup.sh installs it)" >&2; exit 1; }
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
if [ -x "$root/usr/lib/wine/wine" ]; then echo "$root"; exit 0; fi

echo "bed32: building the 32-bit bed once (about 2 minutes, 400 MiB fetched, 2 GB kept) in $root" >&2
start=$(date +%s)
tmp=$root.part
rm -rf "$tmp"
sources=()
for s in "${suites[@]}"; do sources+=("deb $mirror $s main"); done
gen=$(printf '%s UTF-8\n' "${locales[@]}")
# The downloaded packages are kept until counted, then dropped.
mmdebstrap --quiet --variant=apt --architectures=amd64,i386 --skip=cleanup/apt/cache \
  --include="$(IFS=,; echo "${packages[*]}")" \
  --customize-hook="printf '%s\n' '$gen' > \"\$1/etc/locale.gen\" && chroot \"\$1\" locale-gen >/dev/null" \
  bookworm "$tmp" "${sources[@]}" >&2
fetched=$(du -sm "$tmp/var/cache/apt/archives" | cut -f1)
rm -f "$tmp"/var/cache/apt/archives/*.deb "$tmp"/var/lib/apt/lists/*_Packages
mv "$tmp" "$root"
echo "bed32: built in $(( $(date +%s) - start )) s, $fetched MiB fetched, $(du -sm "$root" | cut -f1) MiB kept" >&2
echo "$root"
