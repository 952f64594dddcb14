#!/usr/bin/env python3
"""Conversation times and the polling period of a whole program's run, read from tk4700-sim's frame logs.

    bench/link/line_log_times.py [--period MS] SIM_LOG...

The simulator stamps every frame it receives with its own clock (ms), so these are the times the line
sees, outside the program. A conversation's time is the time from its request to the next request:
the reply pause, the read and whatever the program does before it sends again. The run is cut in
sessions at silences over 2 s (the search, then polling after "Старт"); in polling a pass starts
with the request to the first address of the cycle, and its period is the time to the next pass's
start, which should be the polling period (300 ms) or, when a pass takes longer, the pass itself.
Floors: 120 + 74 + 11 = 205 ms without an answer, 120 + 40 = 160 ms with one.
"""
import re
import statistics
import sys

FLOOR = {"no answer": 205.0, "answered HL": 160.0, "answered HT": 160.0}
LINE = re.compile(r"^\s*(\d+\.\d+)\s+(in|out|---)\s+(.*)$")


def read(path):
    """The requests of one log: (ms, kind, address, answered)."""
    requests = []
    for text in open(path, encoding="utf-8", errors="replace"):
        m = LINE.match(text)
        if not m:
            continue
        ms, direction, rest = float(m.group(1)), m.group(2), m.group(3)
        if direction == "in":
            words = rest.split()
            if len(words) >= 2 and words[0] in ("HL", "HT"):
                requests.append([ms, words[0], words[1], False])
        elif direction == "out" and rest.startswith("reply") and requests:
            requests[-1][3] = True
    return requests


def sessions(requests, silence_ms=2000.0):
    out, cur = [], []
    for r in requests:
        if cur and r[0] - cur[-1][0] > silence_ms:
            out.append(cur)
            cur = []
        cur.append(r)
    if cur:
        out.append(cur)
    return out


def summary(values):
    values = sorted(values)
    p99 = values[min(len(values) - 1, max(0, int(0.99 * len(values) + 0.999999) - 1))]
    return len(values), statistics.median(values), p99, values[0], values[-1]


def kind(r):
    return "no answer" if not r[3] else "answered " + r[1]


def conversations(session, within):
    """Times by kind of the conversations whose next request follows within the same pass (within(i))."""
    by_kind = {}
    for i in range(len(session) - 1):
        if within(i):
            by_kind.setdefault(kind(session[i]), []).append(session[i + 1][0] - session[i][0])
    return by_kind


def print_kinds(label, by_kind):
    for k in ("no answer", "answered HL", "answered HT"):
        if k not in by_kind:
            continue
        n, med, p99, lo, hi = summary(by_kind[k])
        print(f"  {label:8} {k:12} {n:5}  median {med:8.2f} ms ({100 * (med - FLOOR[k]) / FLOOR[k]:+.2f} %)"
              f"  p99 {p99:8.2f}  min {lo:8.2f}  max {hi:8.2f}")


def main(argv):
    period = 300.0
    if len(argv) > 2 and argv[1] == "--period":
        period = float(argv[2])
        argv = [argv[0]] + argv[3:]
    if len(argv) < 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    for path in argv[1:]:
        print(path)
        parts = sessions(read(path))
        if not parts:
            print("  no requests")
            continue
        search, polling = parts[0], (parts[1] if len(parts) > 1 else [])
        print(f"  search: {len(search)} requests in {(search[-1][0] - search[0][0]) / 1000:.1f} s")
        print_kinds("search", conversations(search, lambda i: True))
        if not polling:
            continue
        first = polling[0][2]
        starts = [i for i, r in enumerate(polling) if r[1] == "HL" and r[2] == first]
        per_pass = starts[1] - starts[0] if len(starts) > 1 else 1
        # Within a pass every request is followed by the pass's next one; across passes only when the
        # pass is longer than the period (back to back), otherwise the rest of the period lies between.
        start_set = set(starts)
        back_to_back = per_pass * FLOOR["answered HL"] >= period
        print_kinds("polling", conversations(polling, lambda i: back_to_back or (i + 1) not in start_set))
        gaps = [polling[b][0] - polling[a][0] for a, b in zip(starts, starts[1:])]
        if gaps:
            n, med, p99, lo, hi = summary(gaps)
            expected = max(period, per_pass * FLOOR["answered HL"])
            print(f"  polling: {per_pass} indicator(s), {n} pass periods: median {med:.2f} ms"
                  f" ({100 * (med - expected) / expected:+.2f} % of {expected:.0f} ms)"
                  f"  p99 {p99:.2f}  min {lo:.2f}  max {hi:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
