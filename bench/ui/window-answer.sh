#!/usr/bin/env bash
# Measures how soon each window (Linux: tk-dedi on Qt's xcb; Windows: tk-dedi.exe under Wine) answers a
# window manager's _NET_WM_PING on Xvfb, idle, during a search and while polling three indicators.
#
#   bench/ui/window-answer.sh [linux|windows|both] [--out DIR]
#
# Needs build/plain (tk-dedi, tk4700-sim, tkd_ping_bench: configure with -DTKD_BUILD_BENCH=ON) and,
# for Windows, build/win64/src/app/tk-dedi.exe. Each window runs in a temporary folder of its
# own with tk4700-sim linked as COM1 there, the product's real line timing, and no window manager.
# The buttons are clicked through X, as an operator's would be. IDLE_S and POLL_S (seconds, default
# 20 and 90) set the length of the idle and polling phases; the search phase lasts as long as the
# search. INDICATORS (default 5,9,10) sets the simulated indicators' addresses. LINUX_PROGRAM and
# WINDOWS_PROGRAM replace the programs measured (another build, for a comparison). Per-ping logs and
# the simulator's frame logs are kept in DIR (default a new folder in /tmp); bench/link/line_log_times.py
# reads the line's conversation times and polling period from the latter.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

which=both
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    linux|windows|both) which=$1; shift ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [linux|windows|both] [--out DIR]" >&2; exit 2 ;;
  esac
done
idle_s=${IDLE_S:-20}
poll_s=${POLL_S:-90}
indicators=${INDICATORS:-5,9,10}
plain=$root/build/plain
program=${LINUX_PROGRAM:-$plain/src/app/tk-dedi}
exe=${WINDOWS_PROGRAM:-$root/build/win64/src/app/tk-dedi.exe}
ping=$plain/bench/ui/tkd_ping_bench
sim=$plain/sim/tk4700-sim
for f in "$ping" "$sim" "$program"; do
  [ -x "$f" ] || { echo "no $f: build build/plain with -DTKD_BUILD_BENCH=ON first" >&2; exit 1; }
done
if [ "$which" != linux ] && [ ! -f "$exe" ]; then echo "no $exe: cross-build tk-dedi first" >&2; exit 1; fi
[ -n "$out" ] || out=$(mktemp -d /tmp/tkd-window-answer.XXXXXX)
mkdir -p "$out"
out=$(realpath "$out")

work=$(mktemp -d /tmp/tkd-answer-work.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  if [ -d "$work/prefix" ]; then WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; fi
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "window-answer: $*" >&2; exit 1; }

# A display of our own, without a window manager: Xvfb picks a free number and tells it.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=("$!")
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
DISPLAY=":$(cat "$work/display")"
export DISPLAY

# The three indicators of the demo, running batches of recipe 1 back to back (a weighing completes
# every couple of seconds, and each one rebuilds both charts).
start_sim() {  # $1: the line's folder
  (cd "$1" && exec "$sim" --indicators "$indicators" --auto --recipes 1 --dose-polls 1 --idle-polls 2 --log sim.log \
    </dev/null >/dev/null 2>&1) &
  pids+=("$!")
  for _ in $(seq 50); do [ -e "$1/COM1" ] && break; sleep 0.1; done
  [ -e "$1/COM1" ] || fail "tk4700-sim made no COM1"
}

find_window() {  # $1: the program's process; prints the top-level window's id
  local w=""
  for _ in $(seq 150); do
    w=$(xdotool search --name '^TK-Dedi$' 2>/dev/null | head -1 || true)
    [ -n "$w" ] && break
    kill -0 "$1" 2>/dev/null || fail "the program ended before its window showed"
    sleep 0.2
  done
  [ -n "$w" ] || fail "no window named TK-Dedi"
  echo "$w"
}

# Clicks a button by its centre in client pixels: both windows have a 786 x 561 client area with
# the same layout (the Windows template's dialog units at 6 x 13 base units); the Qt window has no
# frame here, Wine draws its own (equal borders, the caption on top).
click() {  # $1 window, $2 x, $3 y
  eval "$(xdotool getwindowgeometry --shell "$1")"
  local border=$(( (WIDTH - 786) / 2 ))
  local top=$(( HEIGHT - 561 - border ))
  xdotool mousemove --sync $((X + border + $2)) $((Y + top + $3)) click 1
}

# The search has ended once the tuning and data files of every indicator exist and the line has been
# quiet for 3 s (no polling runs before "Старт"; a search never pauses that long with indicators found).
wait_search_end() {  # $1 line folder, $2 data folder, $3 program's process
  local t0 now last a all
  t0=$(date +%s)
  for _ in $(seq 600); do
    kill -0 "$3" 2>/dev/null || fail "the program ended during the search"
    all=1
    for a in ${indicators//,/ }; do
      a=$(printf '%02d' "$a")
      [ -f "$2/RecipesTune_i$a" ] && [ -f "$2/Data_i$a" ] || all=0
    done
    if [ "$all" = 1 ]; then
      now=$(date +%s)
      last=$(stat -c %Y "$1/sim.log")
      [ $((now - last)) -ge 3 ] && { echo "search took about $((now - t0 - 3)) s"; return 0; }
    fi
    sleep 0.5
  done
  fail "the search did not end within 5 minutes"
}

records() { grep -c -E '^[0-9]{2}\.[0-9]{2}\.[0-9]{4},' "$1" 2>/dev/null || true; }

# One window through the three phases; $1 name, $2 line folder, $3 run folder (data in data/), $4 the
# program's process.
measure() {
  local name=$1 line=$2 run=$3 app=$4 win pinger
  win=$(find_window "$app")
  sleep 2  # start-up over: the window shown and its first paint done
  echo "window-answer: $name window $win; idle ${idle_s} s"
  "$ping" --log "$out/$name-pings.log" "$win" idle search polling >"$out/$name.txt" 2>&1 &
  pinger=$!
  pids+=("$pinger")
  sleep "$idle_s"
  kill -USR1 "$pinger"
  echo "window-answer: $name Поиск"
  click "$win" 726 46
  wait_search_end "$line" "$run/data" "$app"
  kill -USR1 "$pinger"
  echo "window-answer: $name Старт, polling ${poll_s} s"
  click "$win" 726 111
  sleep "$poll_s"
  kill -TERM "$pinger"
  wait "$pinger" || true
  local a counts=""
  for a in ${indicators//,/ }; do counts+=" $(records "$run/data/Data_i$(printf '%02d' "$a")") at $a,"; done
  echo "window-answer: $name: records${counts%,}"
  cp "$line/sim.log" "$out/$name-sim.log"
  # While polling "Выход" asks first: "Стоп" ends polling, then "Выход".
  echo "window-answer: $name Стоп, Выход"
  click "$win" 726 150
  sleep 1
  click "$win" 726 210
  for _ in $(seq 60); do kill -0 "$app" 2>/dev/null || break; sleep 0.5; done
  kill -0 "$app" 2>/dev/null && fail "$name still runs after Выход"
  cat "$out/$name.txt"
}

{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'); $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
} | tee "$out/machine.txt"

if [ "$which" != windows ]; then
  mkdir -p "$work/linux/data"
  printf '[COMMON]\r\nDATADIR=data/\r\n[COM1]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n' >"$work/linux/TK4700_TUNE.INI"
  start_sim "$work/linux"
  (cd "$work/linux" && QT_QPA_PLATFORM=xcb exec "$program" >"$out/linux-stderr.txt" 2>&1) &
  app=$!
  pids+=("$app")
  measure linux "$work/linux" "$work/linux" "$app"
fi

if [ "$which" != linux ]; then
  export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  echo "window-answer: a fresh Wine prefix"
  wineboot -i >/dev/null 2>&1
  # Windows' metrics for the dialog font (the window 786 x 561) and a caption drawn by Wine itself, as
  # no window manager runs here: the same settings as scripts/smoke-windows.sh.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v 'MS Shell Dlg' \
    /t REG_SZ /d 'DejaVu Sans Condensed' /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  mkdir -p "$work/wline" "$work/wrun/data"
  printf '[COMMON]\r\nDATADIR=data\\\r\n[COM1]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n' >"$work/wrun/TK4700_TUNE.INI"
  start_sim "$work/wline"
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$(readlink -f "$work/wline/COM1")" /f >/dev/null 2>&1
  wineserver -k 2>/dev/null || true  # the port mapping is read when the server starts again
  (cd "$work/wrun" && exec wine "$exe" >"$out/windows-stderr.txt" 2>&1) &
  app=$!
  pids+=("$app")
  measure windows "$work/wline" "$work/wrun" "$app"
fi
echo "window-answer: logs in $out"
