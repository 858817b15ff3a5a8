#!/usr/bin/env bash
# Runs the Windows tests in a fresh Wine prefix; called under xvfb-run.
set -euo pipefail
build=$1
. scripts/wine-env.sh "$build"
trap pendro_wine_cleanup EXIT
export PENDRO_SCREENSHOTS=${PENDRO_SCREENSHOTS:-$PWD/build/screenshots}
mkdir -p "$PENDRO_SCREENSHOTS"
status=0
(cd "$build" && ctest --output-on-failure --timeout 900) || status=$?
for f in "$PENDRO_SCREENSHOTS"/*.bmp; do
  [ -e "$f" ] || continue
  convert "$f" "${f%.bmp}.png" && rm -f "$f" && echo "screenshot: ${f%.bmp}.png"
done
exit $status
