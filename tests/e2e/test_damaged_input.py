"""Damaged input on the real binary: truncated, bit-flipped and zero-filled modules of
every format through the command line and every shell command that reads them, and
damaged settings files. The program must survive each with a clear message or silence:
no crash, no hang."""

import os
import random
import struct

from harness import Workspace, check, check_equal, finish

FORMATS = {
    "mod": "format mod\nname Damaged MOD\nsample square 16 64 loop a\nsample saw 16 64 b\n",
    "s3m": "format s3m\nname Damaged S3M\nsample square 16 64 loop a\nsample saw 16 64 b\n",
    "xm": "format xm\nname Damaged XM\nsample square 16 64 loop a\nsample saw 16 64 b\n"
          "instrument 1 one\ninstrument 2 two\n",
    "it": "format it\nname Damaged IT\nsample square 16 64 loop a\nsample saw 16 64 b\n"
          "instrument 1 one\ninstrument 2 two\nmessage a song\nmessage text\n",
}
PATTERNS = "pattern 0 16\nnote 0 0 C-4 1\nnote 4 1 E-4 2\nnote 8 2 G-4 1\npattern 1 8\n" \
           "note 0 3 C-5 2\norder 0 1 0\n"


def variants(data, rng):
    """Truncations, bit flips and zero fills of a module's bytes."""
    out = []
    for cut in [1, 4, 17, 60, 100, 300, 600, 1084, len(data) // 2, len(data) - 1]:
        if cut < len(data):
            out.append((f"cut{cut}", data[:cut]))
    for n in range(8):
        flipped = bytearray(data)
        for _ in range(1 + n * 3):
            at = rng.randrange(len(flipped))
            flipped[at] ^= 1 << rng.randrange(8)
        out.append((f"flip{n}", bytes(flipped)))
    for start in [0, 20, 64, 200]:
        zeroed = bytearray(data)
        zeroed[start:start + 256] = bytes(min(256, max(0, len(data) - start)))
        out.append((f"zero{start}", bytes(zeroed)))
    out.append(("allzero", bytes(len(data))))
    return out


def survived(r):
    return r.status >= 0  # a negative status is death by a signal


def test_damaged_modules():
    rng = random.Random(1210)
    with Workspace() as ws:
        os.mkdir(ws.path("damaged"))
        files = []
        for fmt, description in FORMATS.items():
            good = ws.module(f"good.{fmt}", description + PATTERNS)
            with open(good, "rb") as f:
                data = f.read()
            for name, variant in variants(data, rng):
                path = ws.path(f"damaged/{name}.{fmt}")
                with open(path, "wb") as f:
                    f.write(variant)
                files.append(path)
        crashed = []
        for path in files:
            r = ws.run(path, "-O", "null", "-q", timeout=60)
            if not survived(r) or r.status not in (0, 4):
                crashed.append(("command line", path, r.status))
            lines = [f"open {path}", "info", "message", "samples", "instruments", "position",
                     "export", ws.path("out.wav"), "a", "export", ws.path("out.aiff"), "c",
                     "display"]
            r = ws.run("-O", "null", stdin="\n".join(lines).encode() + b"\n", timeout=60)
            if not survived(r) or r.status != 0:
                crashed.append(("shell", path, r.status))
            elif "ERROR: file load" in r.err:
                crashed.append(("shell reported a load failure as fatal", path, r.status))
        check_equal(crashed, [], f"{len(files)} damaged modules: every run ends normally")
        r = ws.run("-q", stdin=b"ls\n", cwd=ws.path("damaged"), timeout=60)
        check(survived(r) and r.status == 0 and r.out.count("+ ") == len(files) + 2,
              "ls describes every damaged file", r.out[-300:])
        r = ws.run("-q", "-O", "null", stdin=b"playlist\na\nv\nq\ny\n", cwd=ws.path("damaged"),
                   timeout=60)
        check(survived(r) and r.status == 0 and r.out.count(": ") >= len(files),
              "the playlist import describes every damaged file", r.out[-300:])


def test_damaged_settings():
    rng = random.Random(561)
    with Workspace() as ws:
        tune = ws.module("tune.it", FORMATS["it"] + PATTERNS)
        failures = []
        for n in range(150):
            record = [rng.choice([0, 1, -1, 2, 3, 768, 2 ** 31 - 1, -2 ** 31,
                                  rng.randrange(-2 ** 31, 2 ** 31)]) for _ in range(14)]
            with open(ws.settings_file(), "wb") as f:
                f.write(struct.pack("=14i", *record))
            lines = [f"open {tune}", "config", "advanced", "display", "export",
                     ws.path("out.wav"), "a", "play"]
            r = ws.run("-O", "null", stdin="\n".join(lines).encode() + b"\n", timeout=60)
            if not survived(r) or r.status != 0:
                failures.append((record, r.status))
                continue
            # Both tables keep their frame: 35 characters for config, 33 for advanced.
            config = {len(l) for l in r.out.splitlines() if l.startswith(("|Sampling", "|Master"))}
            advanced = {len(l) for l in r.out.splitlines() if l.startswith(("|Reverb D", "|Verbosity"))}
            if config != {35} or advanced != {33}:
                failures.append((record, "a settings table lost its frame", config, advanced))
        check_equal(failures, [], "150 damaged settings records: config, advanced, display, "
                                  "export and play all end normally")


def test_damaged_byte_order():
    """A byte order field holding neither 0 nor 1 reads as little-endian everywhere: the
    raw exporter's swap and label, the probe's tags, the settings table."""
    tune_text = "format it\nname Order Five\nsample square 16 64 loop lead\npattern 0 8\n" \
                "note 0 0 C-4 1\norder 0\n"
    with Workspace() as ws:
        tune = ws.module("five.it", tune_text)
        wav = ws.path("ref.wav")
        check_equal(ws.run(tune, "-q", "-o", wav).status, 0, "a reference WAVE export")
        with open(wav, "rb") as f:
            little = f.read()[44:]
        record = [44100, 128, 2, 1, 2, 20, 60, 40, 50, 50, 20, 0, 5, 1]
        with open(ws.settings_file(), "wb") as f:
            f.write(struct.pack("=14i", *record))
        raw = ws.path("big.raw")
        r = ws.run(tune, "-o", raw, "-f", "s16be")
        check(">>> Exporting audio to raw 16-bit PCM, big-endian," in r.out, "labelled big-endian",
              r.out)
        with open(raw, "rb") as f:
            swapped = f.read()
        # Raw chunks are smaller than the WAVE's, so the song may end a chunk earlier.
        start = little[:len(swapped)]
        check(len(swapped) > 0 and swapped[0::2] == start[1::2] and swapped[1::2] == start[0::2],
              "and its samples are big-endian")
        r = ws.run(stdin=b"ls\nadvanced\n")
        check("+ five.it: <Order Five> [IT, " in r.out, "the probe reads the IT tag", r.out)
        check("|Endianness     |little-endian  |" in r.out, "the table says little-endian", r.out)


test_damaged_modules()
test_damaged_settings()
test_damaged_byte_order()
finish()
