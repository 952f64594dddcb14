#!/usr/bin/env bash
# Runs TK-Dedi on a simulated serial line with three TK4700 indicators: installs what it needs on
# Debian 12, builds, prepares demo/ with its own settings file, starts tk4700-sim and then TK-Dedi.
# Options given to this script replace the simulator's defaults below (see tk4700-sim --help).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh

# The same configuration as scripts/test.sh, so that the two share one build.
cmake -S . -B build/plain -G Ninja -DTKD_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/plain --target tk-dedi tk4700-sim

# The demo's own folder: the settings file (CR LF lines, as the program requires) and the data directory.
mkdir -p demo/data
printf '[COMMON]\r\nDATADIR=data/\r\n[COM1]\r\nBAUD=9600\r\nDATA=8\r\nPARITY=0\r\nSTOP=0\r\n' > demo/TK4700_TUNE.INI
cd demo

# Three indicators at 5, 9 and 10 running batches of recipe 1 (doses 1 to 3) back to back: with
# three indicators a polling round takes about half a second, a batch five rounds, so the totals
# grow at once and ten weighings for the charts come within a minute of "Старт". The indicators
# move on only when asked; with two idle replies before each batch the search's one state request
# leaves each at dose 0, so polling joins at the start of a batch, not in its middle (a batch
# joined in the middle is recorded from that dose on and misplaces its values in the charts).
sim_args=(--indicators 5,9,10 --auto --recipes 1 --dose-polls 1 --idle-polls 2)
if [ $# -gt 0 ]; then sim_args=("$@"); fi
"$root/build/plain/sim/tk4700-sim" "${sim_args[@]}" --log sim.log </dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT

for _ in $(seq 50); do
  [ -e COM1 ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then echo "tk4700-sim did not start" >&2; exit 1; fi
  sleep 0.1
done
[ -e COM1 ] || { echo "tk4700-sim made no COM1 link in demo/" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: TK-Dedi is a desktop window. Run this from a graphical session (or over ssh -X)." >&2
  exit 1
fi

cat <<'EOF'
TK-Dedi is starting in demo/ (settings demo/TK4700_TUNE.INI, data files in demo/data/, the line's
frame log in demo/sim.log). Press "Поиск": it scans addresses 0..99 and downloads the tuning of
the indicators at 5, 9 and 10 (about a minute). Then press "Старт" and watch the totals of
recipe 1 grow; both charts appear after ten weighings of the chosen recipe and dose.
Right-click the window or press F1 for the About box. Closing the window stops the simulator.
EOF
"$root/build/plain/src/app/tk-dedi"
