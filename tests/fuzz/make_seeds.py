#!/usr/bin/env python3
# Writes the seed corpora under tests/fuzz/corpus/<target>/ from real settings files, replies, record
# lines and tuning files of the indicators. Run from anywhere; it replaces the seeds it writes.
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    d = os.path.join(HERE, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def crlf(lines):
    return "".join(l + "\r\n" for l in lines)


def hl(addr, recipe, dose, weight):
    payload = "0" + str(recipe) + str(dose) + "0" * 12 + "%05d" % weight + "0" * 4
    return chr(addr) + "HL\r\nCD" + payload + "\r\n"


def ht(addr, param, digits):
    return chr(addr) + "HT" + chr(param) + "\r\n" + digits + "\r\n"


# Settings files.
put("fuzz_settings", "typical", crlf(["[COMMON]", "DATADIR=/srv/tk4700", "TIMEOUTBETWEENWRITEREAD=120",
                                      "[COM1]", "BAUD=9600", "PARITY=0", "DATA=8", "STOP=0"]))
put("fuzz_settings", "sections", crlf(["; comment", "[common]", "DataDir=/srv/Weigh Data ", "[COM16]",
                                       "BAUD=19200", "[COM42]", "DATA=264", "[COMX]", "BAUD=300"]) + "tail")
put("fuzz_settings", "long_lines", crlf(["[COMMON]", "DATADIR=" + "d" * 150, "[COM3]", "BAUD=" + "9" * 70]))

# Replies as one read brings them.
put("fuzz_reply_shape", "hl", hl(5, 2, 1, 1250))
put("fuzz_reply_shape", "hl_extra", hl(5, 2, 1, 1250) + "\x05HL\r\n")
put("fuzz_reply_shape", "ht", ht(5, 23, "012000050003001020304"))
put("fuzz_reply_shape", "ht_lf_param", ht(10, 10, "000000000000000000000"))
put("fuzz_reply_shape", "hl_ce", hl(5, 2, 1, 1250).replace("CD", "CE"))
put("fuzz_reply_shape", "hl_short", hl(5, 2, 1, 1250)[:32])

# Record lines of a data file.
lines = ["05.12.2026,14:03:27,20=0,1250,980,1530", "03.02.2026,08:15:00,30=0,1200,800", "1200,0,800",
         "05.12.2026,14:03:27,95=1,2,3,4,5,6,7,8,9,10", "05.12.2026,14:03:27,-1=5,,7,", "no equals here",
         "05.12.2026,14:03:27,20=99999999,-2147483648,+12, 7"]
for i, line in enumerate(lines):
    put("fuzz_record_line", "line%d" % i, line)
put("fuzz_next_record", "records", "\n".join(lines))
put("fuzz_next_record", "bars", "a|b\n|\n\xc0" + lines[0])

# Tuning files: the tuning the target sets, whole, in part, and with one value changed.
def tune_value(e, k):
    if k == 0:
        return 1000 + e * 37 if e % 7 == 3 else 0
    return (e * 13 + k * 101) % (100000 if k < 2 else 1000)


tune = "".join("".join("%d," % tune_value(e, k) for e in range(l * 10, l * 10 + 10) for k in range(6)) + "\r\n"
               for l in range(10))
put("fuzz_tune_compare", "whole", tune)
put("fuzz_tune_compare", "three_lines", "\r\n".join(tune.split("\r\n")[:3]) + "\r\n")
put("fuzz_tune_compare", "changed", tune.replace("1111,", "1112,", 1))
put("fuzz_tune_compare", "eleven_lines", tune + tune.split("\r\n")[0] + "\r\n")
put("fuzz_tune_compare", "torn_tail", tune + "0,0,")


# Poll sequences. The target reads its choices one byte at a time from the end of the input
# (libFuzzer's FuzzedDataProvider) and raw byte runs from the front; these encode real batches.
def poll_seed(steps):
    tail, front = [], b""
    for step in steps:
        kind = step[0]
        if kind == "hl":
            _, recipe, dose, weight = step
            tail += [0, recipe, dose] + [int(c) for c in "%05d" % weight]
        elif kind == "rawstate":
            _, recipe, dose, weight = step
            tail += [6, recipe, dose] + [int(c) for c in "%05d" % weight]
        elif kind == "silent":
            tail += [7]
        elif kind == "raw":
            tail += [8, len(step[1])]
            front += step[1]
        elif kind == "extra":
            _, recipe, dose, weight, extra = step
            tail += [9, recipe, dose] + [int(c) for c in "%05d" % weight] + [len(extra) - 1]
            front += extra
    return front + bytes(reversed(tail))


put("fuzz_poll", "worked_example", poll_seed([("hl", 2, 0, 0), ("hl", 2, 1, 310), ("hl", 2, 2, 1010),
                                              ("hl", 2, 3, 905), ("hl", 2, 4, 702), ("hl", 2, 0, 398)]))
put("fuzz_poll", "skipped_dose", poll_seed([("hl", 1, 1, 0), ("hl", 1, 3, 1190), ("hl", 1, 0, 1502)]))
put("fuzz_poll", "recipe_change", poll_seed([("hl", 1, 1, 0), ("hl", 1, 2, 1200), ("hl", 3, 2, 600),
                                             ("hl", 3, 5, 610), ("hl", 3, 0, 355)]))
put("fuzz_poll", "faults", poll_seed([("hl", 3, 1, 0), ("silent",), ("hl", 3, 2, 2490),
                                      ("raw", b"\x07HL\r\nCE" + b"0" * 26), ("hl", 3, 5, 601),
                                      ("extra", 3, 0, 352, b"\x07HL\r\n"), ("hl", 1, 1, 12)]))
put("fuzz_poll", "state_bytes", poll_seed([("rawstate", ord("1"), ord("|"), 0), ("hl", 1, 1, 1190),
                                           ("hl", 1, 0, 1502), ("rawstate", 0, ord("1"), 5), ("hl", 0, 0, 7)]))
put("fuzz_poll", "state_equals", poll_seed([("rawstate", ord("1"), ord("="), 0), ("hl", 1, 1, 1190),
                                            ("hl", 1, 0, 1502)]))
