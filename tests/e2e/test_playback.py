"""Playback through libao's null driver: the start-up output, the exact status lines,
quiet mode, the audio errors and the live pattern view of display."""

import re

from harness import Workspace, check, check_equal, finish

BANNER = ("Marrowtide B5.1, September 2006\n"
          "compiled by root at Fri Oct 16 10:23:48 UTC 2026 on FreeBSD\n")

TUNE = """format it
name Playback
channels 4
speed 6
tempo 125
sample square 16 64 loop beep
instrument 1 beeper
pattern 0 8
note 0 0 C-0 1
note 0 1 C#4 1
note 1 2 B-9 1
note 2 3 === 1
note 3 0 ^^^
note 4 1 A#5 1
note 5 2 ~~~
pattern 1 8
note 0 3 G-7 1
note 7 2 D-1 1
order 0 1 0 1 0
"""

STATUS = re.compile(r">>> \{(\d+):(\d\d)\}  ord: (-?\d+) - pat: (-?\d+) - row: (-?\d+)"
                    r" - tempo: (-?\d+)     ")


def test_play_to_the_end():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        r = ws.run(tune, "-O", "null")
        check_equal((r.status, r.err), (0, ""), "plays to the end, status 0")
        table = r.out[len(BANNER):r.out.index("Playing")]
        half = len(table) // 2
        check(r.out.startswith(BANNER) and table[:half] == table[half:] and "Playback" in table,
              "banner, then the information table twice", r.out)
        rest = r.out[r.out.index("Playing"):]
        check(rest.startswith("Playing \n(any key to pause)\n"), "the playing notice", rest)
        check(rest.endswith("\r\n"), "the last status line is followed by a newline", rest[-80:])
        lines = rest[len("Playing \n(any key to pause)\n"):-1].split("\r")[:-1]
        parsed = [STATUS.fullmatch(line) for line in lines]
        check(all(parsed) and lines, "every status line has the exact format",
              [l for l, p in zip(lines, parsed) if not p][:3])
        # 5 orders of 8 rows at 120 ms: 4.8 s, 8192-byte chunks of 16-bit stereo at 44100 Hz.
        seconds = [int(p.group(1)) * 60 + int(p.group(2)) for p in parsed if p]
        check_equal(seconds, [k * 8192 // 4 // 44100 for k in range(1, len(seconds) + 1)],
                    "the elapsed time follows the bytes played")
        check(100 <= len(seconds) <= 110, f"about 4.8 s of chunks ({len(seconds)})")
        orders = sorted({int(p.group(3)) for p in parsed if p})
        check(orders[:5] == [0, 1, 2, 3, 4], "the order advances through the song", orders)

        r = ws.run(tune, "-O", "null", "-q")
        check_equal((r.status, r.out, r.err), (0, "", ""), "-q: nothing printed, status 0")
        # A quarter of the bytes per second: the same song in a quarter of the chunks, and
        # the same elapsed time at its end.
        r = ws.run(tune, "-O", "null", "-r", "22050", "-c", "1")
        quarter = [STATUS.fullmatch(l) for l in r.out.split("\r") if l.startswith(">>> {")]
        check(3.5 <= len(seconds) / len(quarter) <= 4.5,
              "a mono 22050 Hz playback renders a quarter of the chunks",
              (len(seconds), len(quarter)))
        last = quarter[-1]
        # A chunk is 186 ms here, 46 ms there: the ends may differ by one second.
        check(abs(int(last.group(1)) * 60 + int(last.group(2)) - seconds[-1]) <= 1,
              "and ends at about the same elapsed time", (last.group(0), seconds[-1]))


def test_audio_errors():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        cases = [
            ("nosuchdriver", ">>> ERROR: Error opening audio: nosuchdriver: no such libao driver\n"),
            ("wav", ">>> ERROR: Error opening audio: wav: not a live output driver (it writes files)\n"),
        ]
        for driver, err in cases:
            r = ws.run(tune, "-O", driver)
            check_equal((r.status, r.err), (0, err), f"-O {driver}: reported, status 0")
            check("Playing" not in r.out, f"-O {driver}: nothing plays")
            r = ws.run(tune, "-O", driver, "-q")
            check_equal((r.status, r.out, r.err), (0, "", err), f"-O {driver} -q")


def test_damaged_settings_still_play():
    import struct
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        record = [0, -5, 0, -1, 99, -7, 100000, 2 ** 31 - 1, -2 ** 31, 1000, -1000, 9, 3, 1]
        with open(ws.settings_file(), "wb") as f:
            f.write(struct.pack("=14i", *record))
        r = ws.run(tune, "-O", "null")
        check_equal((r.status, r.err), (0, ""), "a damaged settings file plays without a fault")
        check("{0:04}  ord: " in r.out, "at the default rate and channels", r.out[-200:])


DISPLAY_ALL = """row   1   2   3   4
--------------------
  0 C-0 C#4 ... ...
  1 ... ... B-9 ...
  2 ... ... ... ===
  3 ^^^ ... ... ...
  4 ... A#5 ... ...
  5 ... ... ~~~ ...
  6 ... ... ... ...
  7 ... ... ... ...
"""
PATTERN_1 = """  0 ... ... ... G-7
  1 ... ... ... ...
  2 ... ... ... ...
  3 ... ... ... ...
  4 ... ... ... ...
  5 ... ... ... ...
  6 ... ... ... ...
  7 ... ... D-1 ...
"""


def test_display():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        prompt = f"marrowtide[{ws.root}]% "

        def display(argument):
            line = "display" + (" " + argument if argument else "")
            r = ws.run("-q", "-O", "null", stdin=f"open {tune}\n{line}\n".encode())
            return r.out.split(prompt)[2]

        pattern_0 = DISPLAY_ALL.split("\n", 2)[2]
        # Orders 0 1 0 1 0: four pattern changes, then the header again, then the song ends
        # (the decoder's end-of-song pattern has no cells, which ends the view too).
        check_equal(display(""), DISPLAY_ALL + "\n\n\n\n" + PATTERN_1 + "\n\n\n\n" + pattern_0 +
                    "\n\n\n\n" + PATTERN_1 + "\n\n\n\n" + DISPLAY_ALL + "\n\n\n\n",
                    "display: all channels, blank lines at pattern changes, header every fourth")
        cases = [
            ("2-3", "row   2   3\n------------\n  0 C#4 ...\n  1 ... B-9\n"),
            ("4-3", "row   3\n--------\n  0 ...\n  1 B-9\n"),
            ("5-3", "row   1   2   3\n----------------\n  0 C-0 C#4 ...\n"),
            ("3", "row   3   4\n------------\n  0 ... ...\n  1 B-9 ...\n"),
            ("3-", "row   3   4\n------------\n  0 ... ...\n  1 B-9 ...\n"),
            ("9", DISPLAY_ALL[:60]),
            ("0-99", DISPLAY_ALL[:60]),
            ("-7", DISPLAY_ALL[:60]),
            ("x-y", DISPLAY_ALL[:60]),
            ("-3-2", "row   1   2\n------------\n  0 C-0 C#4\n  1 ... ...\n"),
        ]
        for argument, start in cases:
            out = display(argument)
            check_equal(out[:len(start)], start, f"display {argument}")


test_play_to_the_end()
test_audio_errors()
test_damaged_settings_still_play()
test_display()
finish()
