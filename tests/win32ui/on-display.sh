#!/bin/sh
# Runs a Windows test program under Wine on a virtual display, with Windows' metrics for the dialog font.
#
#   on-display.sh PROGRAM WINE_RUN PREFIX [COMn=PATH ...] --   (the build's emulator: cmake/wine-run.sh ...)
#
# A prefix of its own (PREFIX-display): Wine's desktop process belongs to the display it first saw, and
# the other Windows tests run without one. Wine's stand-in for "MS Shell Dlg" is lower than Windows'
# (a 524 x 345 template comes out 786 x 518, not 786 x 561); DejaVu Sans Condensed at 8 pt has
# Windows' 6 x 13 base units.
set -eu
if [ -z "${TKD_ON_DISPLAY:-}" ]; then
  export TKD_ON_DISPLAY=1
  exec xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' sh "$0" "$@"
fi
program=$1; runner=$2; prefix=$3-display; shift 3
"$runner" "$prefix" "$@" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'MS Shell Dlg' /t REG_SZ /d 'DejaVu Sans Condensed' /f >/dev/null 2>&1
rc=0
"$runner" "$prefix" "$@" "$program" || rc=$?
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
exit $rc
