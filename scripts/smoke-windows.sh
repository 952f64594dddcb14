#!/usr/bin/env bash
# Smoke test of tk-dedi.exe under Wine on a virtual X display: its COM1 is mapped to the pseudo-terminal
# of tk4700-sim (the Linux simulator); the window must open in the middle of the screen, "Поиск" must
# find the indicators, "Старт" must write records to their data files in a data folder named in
# Cyrillic, "Выход" must end the program. Clicks go through X, as an operator's would.
#
#   scripts/smoke-windows.sh [--screenshot] [--installer path/to/setup.exe] [path/to/tk-dedi.exe] [path/to/tk4700-sim]
#
# --screenshot saves the window, with both charts drawn, as docs/images/window-windows.png.
# --installer installs silently first and runs the installed program in the Start-menu shortcut's
# working folder, its settings file saved again as Notepad saves it (UTF-8 with a byte-order mark)
# with DATADIR=Данные\; while the program runs, a second installation must refuse to go on; afterwards
# it uninstalls and checks that the settings and the data files are still there. Without --installer
# the settings file is written in code page 1251, as the original's own files are.
# Needs wine, xvfb, xdotool and x11-apps (scripts/install-deps.sh installs them); --screenshot also
# needs ImageMagick's import (apt-get install imagemagick), which the tests do not use.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

shot=""
if [ "${1:-}" = "--screenshot" ]; then shot="$root/docs/images/window-windows.png"; shift; fi
if [ -n "$shot" ] && ! command -v import >/dev/null; then
  echo "smoke-windows: --screenshot needs ImageMagick's import: apt-get install imagemagick" >&2; exit 1
fi
setup=""
if [ "${1:-}" = "--installer" ]; then setup=$(realpath "$2"); shift 2; fi
exe=$(realpath "${1:-build/win64/src/app/tk-dedi.exe}")
sim=$(realpath "${2:-build/plain/sim/tk4700-sim}")
[ -f "$exe" ] || { echo "no $exe: build the Windows program first" >&2; exit 1; }
[ -x "$sim" ] || { echo "no $sim: build tk4700-sim first" >&2; exit 1; }

work=$(mktemp -d /tmp/tkd-smoke.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "smoke-windows: $*" >&2
  [ -f "$work/line/sim.log" ] && tail -5 "$work/line/sim.log" >&2
  [ -n "${DISPLAY:-}" ] && xwd -root -silent -out /tmp/tkd-smoke-failed.xwd 2>/dev/null && echo "screen: /tmp/tkd-smoke-failed.xwd" >&2
  exit 1
}

# A display of our own: Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

echo "smoke-windows: a fresh Wine prefix"
wineboot -i >/dev/null 2>&1
# Windows' metrics for the dialog font (6 x 13 base units: the window 786 x 561), and a caption drawn
# by Wine itself, as no window manager runs here.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Shell Dlg' \
  /t REG_SZ /d 'DejaVu Sans Condensed' /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

mkdir -p "$work/line"
datadir="Данные"  # Wine keeps a Windows name as UTF-8 on the Unix side
if [ -n "$setup" ]; then
  echo "smoke-windows: installing"
  wine "$setup" /S >/dev/null 2>&1
  wineserver -w
  exe="$WINEPREFIX/drive_c/Program Files/TK-Dedi/tk-dedi.exe"
  [ -f "$exe" ] || fail "the installer put no tk-dedi.exe under Program Files"
  run="$WINEPREFIX/drive_c/users/Public/Documents/TK-Dedi data"
  [ -f "$run/TK4700_TUNE.INI" ] && [ -d "$run/data" ] || fail "the installer made no working folder"
  { printf '\xef\xbb\xbf'; sed 's/^DATADIR=.*/DATADIR=Данные\\\r/' "$run/TK4700_TUNE.INI"; } > "$work/settings"
  grep -q 'DATADIR=Данные' "$work/settings" || fail "the installed settings file has no DATADIR line"
  mv "$work/settings" "$run/TK4700_TUNE.INI"
else
  run="$work/run"
  mkdir -p "$run"
  printf '[COMMON]\r\nDATADIR=\xc4\xe0\xed\xed\xfb\xe5\\\r\n[COM1]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n' > "$run/TK4700_TUNE.INI"
fi
mkdir -p "$run/$datadir"
cd "$work/line"
"$sim" --indicators 5,9 --auto --recipes 1 --dose-polls 1 --idle-polls 2 --log sim.log </dev/null >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e COM1 ] && break; sleep 0.1; done
[ -e COM1 ] || fail "tk4700-sim made no COM1"
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$(readlink -f COM1)" /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true  # the port mapping is read when the server starts again
cd "$run"

echo "smoke-windows: starting tk-dedi.exe"
wine "$exe" >"$work/wine.log" 2>&1 &
app=$!
pids+=($app)
win=""
for _ in $(seq 100); do
  win=$(xdotool search --name '^TK-Dedi$' 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || fail "no window"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
# The frame around the 786 x 561 client area: equal borders, the caption on top.
border=$(( (WIDTH - 786) / 2 ))
top=$(( HEIGHT - 561 - border ))
[ "$border" -ge 0 ] && [ "$top" -ge 0 ] || fail "window ${WIDTH}x${HEIGHT}: not 786 x 561 inside its frame"
# In the middle of the 1024 x 768 screen, to a pixel of rounding.
dx=$(( X - (1024 - WIDTH) / 2 )); dy=$(( Y - (768 - HEIGHT) / 2 ))
[ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ] || fail "window at $X,$Y: not centred on the screen"
click() {  # client pixels of a button's centre
  xdotool mousemove --sync $((X + border + $1)) $((Y + top + $2)) click 1
}

echo "smoke-windows: Поиск"
click 726 46
for _ in $(seq 240); do
  [ -f "$datadir/RecipesTune_i09" ] && [ -f "$datadir/Data_i09" ] && break
  kill -0 "$app" 2>/dev/null || fail "tk-dedi.exe ended during the search"
  sleep 0.5
done
[ -f "$datadir/RecipesTune_i05" ] && [ -f "$datadir/RecipesTune_i09" ] || fail "the search did not find the indicators at 5 and 9"
# The scan goes on to address 99 (fewer than three indicators): the search returns after its request.
for _ in $(seq 120); do grep -q 'HL 99 ' "$work/line/sim.log" && break; sleep 0.5; done
sleep 1

echo "smoke-windows: Старт"
click 726 111
records() { grep -c -E '^[0-9]{2}\.[0-9]{2}\.[0-9]{4},[0-9]{2}:[0-9]{2}:[0-9]{2},[0-9]{2}=[0-9]+(,[0-9]+)*' "$1" 2>/dev/null || true; }
for _ in $(seq 240); do
  [ "$(records "$datadir/Data_i05")" -ge 11 ] && break
  kill -0 "$app" 2>/dev/null || fail "tk-dedi.exe ended while polling"
  sleep 0.5
done
n5=$(records "$datadir/Data_i05")
n9=$(records "$datadir/Data_i09")
[ "$n5" -ge 11 ] && [ "$n9" -ge 1 ] || fail "records: $n5 at 5, $n9 at 9"
echo "smoke-windows: records $n5 at address 5, $n9 at address 9, in $datadir"
if [ -n "$setup" ]; then
  echo "smoke-windows: installing over the running program"
  if wine "$setup" /S >/dev/null 2>&1; then fail "the installer went on over a running TK-Dedi"; fi
  kill -0 "$app" 2>/dev/null || fail "tk-dedi.exe ended during the refused installation"
fi
sleep 1
if [ -n "$shot" ]; then
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
  echo "smoke-windows: screenshot $shot"
fi

# While polling "Выход" would ask first (tested in tests/win32ui): "Стоп" ends polling, then "Выход".
echo "smoke-windows: Стоп, Выход"
click 726 150
sleep 1
click 726 210
for _ in $(seq 60); do kill -0 "$app" 2>/dev/null || break; sleep 0.5; done
if kill -0 "$app" 2>/dev/null; then fail "tk-dedi.exe still runs after Выход"; fi
if [ -n "$setup" ]; then
  echo "smoke-windows: uninstalling"
  wine "$WINEPREFIX/drive_c/Program Files/TK-Dedi/Uninstall.exe" /S >/dev/null 2>&1
  for _ in $(seq 40); do [ -f "$exe" ] || break; sleep 0.5; done
  [ ! -f "$exe" ] || fail "the uninstaller left tk-dedi.exe"
  [ -f "$run/TK4700_TUNE.INI" ] && [ "$(records "$run/$datadir/Data_i05")" -ge 11 ] || fail "the uninstaller took the data"
fi
echo "smoke-windows: passed"
