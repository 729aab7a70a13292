"""The command line's one-shot jobs on the real binary: audio exports by extension and
by format name, the song text and the name lists, their messages and exit statuses."""

import os
import struct

from harness import Workspace, check, check_equal, finish

TUNE = """format it
name Batch Tune
channels 4
sample square 16 64 loop lead
sample saw 16 64 loop
sample noise 1 400 decay snare
instrument 1 Lead
instrument 2 Bass
pattern 0 16
note 0 0 C-4 1
note 4 1 C-3 2
note 8 0 G-4 1
pattern 1 16
note 0 0 E-4 1
note 8 2 C-5 1
order 0 1 0
message First line
message Second line
"""

NO_MESSAGE = TUNE.replace("message First line\nmessage Second line\n", "")


def aiff_format(path):
    """Channels, frames and bits from the COMM chunk of an AIFF file."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"FORM" or data[8:12] != b"AIFF":
        return None
    at = 12
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack(">I", data[at + 4:at + 8])[0]
        if chunk == b"COMM":
            channels, frames, bits = struct.unpack(">hIh", data[at + 8:at + 16])
            return channels, frames, bits
        at += 8 + size + (size & 1)
    return None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def swapped(data):
    out = bytearray(data)
    out[0::2], out[1::2] = data[1::2], data[0::2]
    return bytes(out)


def test_audio_exports():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        r = ws.run(tune, "-o", ws.path("out.wav"))
        wav = read(ws.path("out.wav"))
        check_equal(r.status, 0, "-o out.wav: status 0")
        check(wav[:4] == b"RIFF" and wav[8:16] == b"WAVEfmt " and len(wav) > 44,
              "-o out.wav writes a WAVE file")
        check(">>> Exporting audio to WAV" in r.out and "done!" in r.out, "with its messages")
        samples = wav[44:]

        r = ws.run(tune, "-o", ws.path("out.raw"))
        check_equal((r.status, read(ws.path("out.raw"))), (0, samples),
                    "-o out.raw: little-endian raw, the WAVE's samples")
        r = ws.run(tune, "-o", ws.path("out.pcm"))
        check_equal(read(ws.path("out.pcm")), samples, "-o out.pcm: host order (little here)")
        r = ws.run(tune, "-o", ws.path("be.raw"), "-f", "s16be")
        check_equal(read(ws.path("be.raw")), swapped(samples),
                    "-f s16be: every sample's bytes exchanged")
        r = ws.run(tune, "-f", "s16se", "-o", ws.path("se.pcm"))
        check_equal(read(ws.path("se.pcm")), samples, "-f s16se: host order")
        r = ws.run(tune, "-o", ws.path("noext"), "-f", "wav")
        check_equal(read(ws.path("noext")), wav, "-o without extension and -f wav after it")
        r = ws.run(tune, "-f", "wav", "-o", ws.path("noext2"))
        check_equal(read(ws.path("noext2")), wav, "-f wav before -o without extension")

        frames = len(samples) // 4
        for words, bits in [(["-o", ws.path("out.aiff")], 16), (["-o", ws.path("out.aif")], 16),
                            (["-f", "aiff24", "-o", ws.path("x24")], 24),
                            (["-f", "aiff24", "-o", ws.path("y.AIFF")], 16)]:
            r = ws.run(tune, *words)
            fmt = aiff_format(words[-1])
            check_equal((r.status, fmt[0] if fmt else None, fmt[2] if fmt else None),
                        (0, 2, bits), f"{words}: AIFF, stereo, {bits} bits")
            check(fmt is not None and abs(fmt[1] - frames) <= 16384,
                  f"{words}: as many frames as the WAVE", (fmt, frames))

        r = ws.run(tune, "-o", ws.path("part.raw"), "-z", "1")
        part = read(ws.path("part.raw"))
        check(0 < len(part) < len(samples) and samples.startswith(part),
              "-z 1 exports the beginning only", (len(part), len(samples)))
        r = ws.run(tune, "-o", ws.path("tail.raw"), "-a", "1")
        tail = read(ws.path("tail.raw"))
        check(0 < len(tail) < len(samples), "-a 1 leaves the first order out",
              (len(tail), len(samples)))


def test_export_failures():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        before = read(tune)
        r = ws.run(tune, "-o", ws.path("out.it"))
        check_equal((r.status, r.err), (2, ">>> ERROR: ModPlug compiled without 'save' support\n"
                                           ">>> ERROR: export failed!\n"), "-o out.it")
        r = ws.run(tune, "-o", ws.path("noext"))
        check_equal((r.status, r.err), (2, f">>> ERROR: CAN'T guess format of <{ws.path('noext')}>\n"),
                    "-o without an extension and no -f")
        check(not os.path.exists(ws.path("noext")), "nothing is written")
        r = ws.run(tune, "-o", ws.path("x.mp3"))
        check_equal(r.status, 2, "an unknown extension: status 2")
        # The system's reason comes first, then the job's own words.
        for name in ("out.wav", "out.aiff", "out.raw"):
            out = ws.path("missing/dir/" + name)
            r = ws.run(tune, "-o", out)
            check_equal((r.status, r.err),
                        (2, f">>> ERROR: CAN'T open(\"{out}\"): No such file or directory\n"
                            ">>> ERROR: export failed!\n"), f"an unwritable path: {name}")
        # The module's own file, named through another path, is never overwritten.
        os.mkdir(ws.path("sub"))
        same = os.path.join(ws.path("sub"), "..", "tune.it")
        for fmt in ["wav", "aiff16", "s16le"]:
            r = ws.run(tune, "-o", same, "-f", fmt)
            check_equal((r.status, r.err),
                        (2, f">>> ERROR: CAN'T export onto the module file itself (\"{same}\")\n"
                            ">>> ERROR: export failed!\n"), f"-f {fmt} onto the module itself")
            check_equal(read(tune), before, f"-f {fmt}: the module file is untouched")


def test_text_jobs():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        r = ws.run(tune, "-m", ws.path("msg.txt"), "-s", ws.path("s.txt"), "-I", ws.path("i.txt"),
                   "-O", "null")
        check_equal(r.status, 0, "-m -s -I: status 0")
        check("Playing" not in r.out, "the text jobs do not play")
        check_equal(read(ws.path("msg.txt")), b"First line\nSecond line",
                    "-m writes the message, carriage returns as line feeds")
        check_equal(read(ws.path("s.txt")), b"  1. lead\n  2. \n  3. snare\n", "-s: sample names")
        check_equal(read(ws.path("i.txt")), b"  1. Lead\n  2. Bass\n", "-I: instrument names")
        check_equal(oct(os.stat(ws.path("s.txt")).st_mode & 0o777), "0o644", "lists are 0644")
        check(">>> Exporting song text message to '" in r.out and ">>> 22 bytes written\n" in r.out,
              "-m reports its work", r.out)

        r = ws.run(tune, "-s", ws.path("no/such/dir/s.txt"), "-I", ws.path("i2.txt"))
        check_equal((r.status, r.err),
                    (0, f">>> ERROR: CAN'T open(\"{ws.path('no/such/dir/s.txt')}\"): "
                        "No such file or directory\n>>> ERROR: file creation error.\n"),
                    "a list file that cannot be created: reported with its reason, status 0")
        check(os.path.exists(ws.path("i2.txt")), "the other jobs still run")

        plain = ws.module("plain.it", NO_MESSAGE)
        r = ws.run(plain, "-m", ws.path("none.txt"))
        check("No message is available...\n" in r.out and r.status == 0,
              "-m without a message says so", r)
        check(not os.path.exists(ws.path("none.txt")), "and creates no file")

        r = ws.run(tune, "-o", ws.path("both.wav"), "-m", ws.path("both.txt"))
        check(os.path.exists(ws.path("both.wav")) and not os.path.exists(ws.path("both.txt")),
              "-o with -m: only the export runs")
        r = ws.run(tune, "-i", "-o", ws.path("shell.wav"))
        check(not os.path.exists(ws.path("shell.wav")) and "Launching" in r.out,
              "-i: the shell starts and nothing is exported")
        r = ws.run(tune, "-f", "wav", "-O", "null")
        check("Playing" in r.out and r.status == 0, "-f without -o plays")


test_audio_exports()
test_export_failures()
test_text_jobs()
finish()
