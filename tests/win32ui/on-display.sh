#!/bin/sh
# Runs a Windows test under Wine on a virtual display: on-display.sh PROGRAM WINE_RUN PREFIX [COMn=PATH ...] --
# A fresh prefix of its own: Wine's desktop process keeps the display it first saw. DejaVu Sans Condensed
# 8 pt has Windows' 6 x 13 base units for "MS Shell Dlg" (Wine's stand-in gives 786 x 518, not 786 x 561).
set -eu
if [ -z "${TKD_ON_DISPLAY:-}" ]; then
  export TKD_ON_DISPLAY=1
  exec xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' sh "$0" "$@"
fi
program=$1; runner=$2; prefix=$3-display; shift 3
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix" "$prefix.lock"
"$runner" "$prefix" "$@" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'MS Shell Dlg' /t REG_SZ /d 'DejaVu Sans Condensed' /f >/dev/null 2>&1
rc=0; "$runner" "$prefix" "$@" "$program" || rc=$?
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
exit $rc
