#!/bin/sh
# CTest's emulator for the Windows build: runs one program under Wine in the build tree's own prefix.
#
#   wine-run.sh PREFIX [COMn=UNIX_PATH ...] -- PROGRAM [ARGS...]
#
# The prefix is made on first use (wineboot -i, about 10 s), under a lock so that parallel tests wait
# for it instead of racing: no Mono or Gecko download, no display needed. Each COMn=PATH maps that
# port to a Unix path (HKLM\Software\Wine\Ports), read once when the prefix is made; the Windows
# serial tests map a port to the link that the simulator makes, so a restarted simulator needs no
# new mapping.
set -eu
prefix=$1; shift
ports=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do ports="$ports $1"; shift; done
[ $# -gt 0 ] && shift

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

mkdir -p "$prefix"
(
  flock 9
  if [ ! -f "$prefix/.tkd-ready" ]; then
    wineboot -i >/dev/null 2>&1
    for map in $ports; do
      wine reg add 'HKLM\Software\Wine\Ports' /v "${map%%=*}" /t REG_SZ /d "${map#*=}" /f >/dev/null 2>&1
    done
    wineserver -k || true
    touch "$prefix/.tkd-ready"
  fi
) 9>"$prefix.lock"

# The Wine server and its helper processes (services, devices) start with their output away from the
# test's: CTest waits for every process holding a test's output, and they outlive the test. The server
# then lives on for 60 s after its last program, so the next test finds it ready. (A pseudo-terminal
# that the simulator hangs up sends the server SIGHUP, and it dumps its objects on its standard error.)
wineserver -p60 </dev/null >/dev/null 2>>"$prefix.server.log" || true
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
exec wine "$@"
