# Sourced: makes a fresh, disposable Wine prefix, starts one persistent
# wineserver for it and installs the simulated remote-access service.
# Usage: . scripts/wine-env.sh BUILD_DIR [PREFIX_DIR]
# A 64-bit prefix unless PENDRO_WINEARCH=win32 (the 32-bit build, inside the
# 32-bit bed, scripts/bed32-run): Debian's wine wrapper would pick the loader
# by what is installed, so the loader is named here.
_pendro_build=${1:?build directory}
export WINEPREFIX=${2:-$(mktemp -d /tmp/pendro-wine.XXXXXX)}
export WINEARCH=${PENDRO_WINEARCH:-win64} WINEDEBUG=-all
case "$WINEARCH" in
  win32) export WINE=/usr/lib/wine/wine ;;
  win64) export WINE=/usr/lib/wine/wine64 ;;
  *) echo "wine-env: PENDRO_WINEARCH is win32 or win64" >&2; return 1 ;;
esac
export WINESERVER=/usr/lib/wine/wineserver
# winemenubuilder would mirror every link as a Linux .desktop file.
export WINEDLLOVERRIDES="rasapi32=n;mscoree,mshtml=;winemenubuilder.exe=d"
rm -rf "$WINEPREFIX"; mkdir -p "$WINEPREFIX"
"$WINE" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w
# Wine links the user's Desktop and other folders to $HOME; in a test prefix
# they must be folders of the prefix, so that links are written nowhere else.
for f in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$f" ]; then rm -f "$f"; mkdir -p "$f"; fi
done
# Wine draws the caption buttons with Marlett; started as wine64 it does not
# find its own copy, and the close box shows an "r".
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
"$WINESERVER" -p  # stays up for the whole run: each Wine start is then quick
# Without a window manager Wine waits after every closed message box otherwise.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
for _dll in tools/rassim/rasapi32.dll tests/guardheap.dll; do
  [ ! -f "$_pendro_build/$_dll" ] || cp "$_pendro_build/$_dll" "$WINEPREFIX/drive_c/windows/system32/"
done
pendro_wine_cleanup() { "$WINESERVER" -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"; }
