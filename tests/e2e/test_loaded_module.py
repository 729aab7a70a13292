"""The module the user opened is the one that plays and exports: a format change or an
AIFF export rebuilds it from the bytes read at open, whatever became of its path (a cd,
a replaced or a removed file), at the order where it stood; load failures keep the
system's reason."""

import os
import re
import struct

from harness import Workspace, check, check_equal, finish

PRELOAD = os.environ.get("FAILING_CALLS", "build/libfailing_calls.so")

# Five orders of 16 rows at speed 2: 640 ms each, so one chunk of playback (46 ms at
# 44100 Hz stereo, 93 ms at 22050 Hz or mono) never crosses from one order to the next
# when it starts at a row 0.
TUNE = """format it
name {name}
speed 2
sample square 16 64 loop lead
instrument 1 Lead
pattern 0 16
note 0 0 {n0} 1
pattern 1 16
note 0 0 E-4 1
pattern 2 16
note 0 0 G-4 1
pattern 3 16
note 0 0 C-5 1
pattern 4 16
note 0 0 E-5 1
order 0 1 2 3 4
"""
OPENED = TUNE.format(name="Opened Tune", n0="C-4")
OTHER = TUNE.format(name="Other Tune", n0="A-5")

STATUS = re.compile(r"\{\d+:\d\d\}  ord: (\d+) - pat: \d+ - row: \d+ - tempo: \d+")
POSITION = re.compile(r"Order: (\d+) - Pattern: \d+ - Row: \d+")


def wave(path):
    """(channels, rate, byte rate, block align, data size field, sample bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    channels, rate, byte_rate, align = struct.unpack("<HIIH", data[22:34])
    return channels, rate, byte_rate, align, struct.unpack("<I", data[40:44])[0], data[44:]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def shell(ws, lines, quiet=True, cwd=None):
    text = "".join(line + "\n" for line in lines)
    return ws.run(*(["-q"] if quiet else []), "-O", "null", stdin=text.encode(), cwd=cwd)


def reference(ws, song, name, *options):
    """The song exported by a fresh run straight from its file, with the given options."""
    out = ws.path(name)
    r = ws.run("-q", *options, "-o", out, song)
    check_equal((r.status, r.err), (0, ""), f"reference export {name}")
    return out


def check_wave(path, ref, what):
    """The header describes the samples, and they are the reference's."""
    if not os.path.exists(path):
        check(False, f"{what}: the WAVE export was written")
        return
    got, want = wave(path), wave(ref)
    channels, rate, byte_rate, align, size, samples = got
    check_equal(got[:5], want[:5], f"{what}: the header")
    check_equal((byte_rate, align, size), (rate * channels * 2, channels * 2, len(samples)),
                f"{what}: the header matches the samples")
    check(samples == want[5] and len(samples) > 0, f"{what}: the samples are the opened song's",
          f"{len(samples)} bytes against {len(want[5])}")


def test_cd_after_a_relative_open():
    """Two different songs of the same name in two directories: after a cd the exports
    still render the one that was opened, also when the other directory has none."""
    with Workspace() as ws:
        os.mkdir(ws.path("one"))
        os.mkdir(ws.path("two"))
        os.mkdir(ws.path("none"))
        opened = ws.module("one/song.it", OPENED)
        ws.module("two/song.it", OTHER)
        ref_aiff = reference(ws, opened, "ref.aiff")
        ref_mono = reference(ws, opened, "ref-mono.wav", "-c", "1")
        for directory in ["two", "none"]:
            out_aiff, out_wav = ws.path(f"{directory}.aiff"), ws.path(f"{directory}.wav")
            r = shell(ws, ["cd one", "open song.it", f"cd ../{directory}",
                           "export", out_aiff, "b", "channels 1", "export", out_wav, "a"])
            what = f"cd {directory}"
            check_equal((r.status, r.err), (0, ""), f"{what}: both exports succeed")
            check(os.path.exists(out_aiff) and read(out_aiff) == read(ref_aiff),
                  f"{what}: the AIFF export is the opened song's")
            check_wave(out_wav, ref_mono, f"{what}, channels 1")


def test_replaced_and_removed_files():
    """The file changed or gone after open: a format change renders the opened song in
    the new format, and what the exports announce and write is that format."""
    with Workspace() as ws:
        original = ws.module("original.it", OPENED)
        ref_22 = reference(ws, original, "ref-22050.wav", "-r", "22050")
        ref_mono = reference(ws, original, "ref-mono.wav", "-c", "1")
        cases = [
            ("replaced", "exec echo x > song.it", "samplerate 22050", ref_22),
            ("removed", "exec rm song.it", "channels 1", ref_mono),
        ]
        for what, change, setting, ref in cases:
            ws.module("song.it", OPENED)
            out_wav, out_raw, out_aiff = (ws.path(f"{what}.{ext}") for ext in ("wav", "raw", "aiff"))
            r = shell(ws, ["open song.it", change, setting, "config", "export", out_wav, "a",
                           "export", out_raw, "e", "export", out_aiff, "b", "export", out_wav, "a"],
                      quiet=False)
            check_equal((r.status, r.err), (0, ""), f"{what}: no failure")
            check_wave(out_wav, ref, f"{what}, {setting}")
            check(os.path.exists(out_raw) and read(out_raw) == wave(ref)[5],
                  f"{what}: the raw samples are the opened song's in the new format")
            rate = wave(ref)[1]
            announced = f"sampling rate: {rate / 1000:.3f} kHz"
            check(announced in r.out, f"{what}: the raw export announces {announced}",
                  r.out[-600:])
            mono = wave(ref)[0] == 1
            check(("|Channels:       |Mono" in r.out) == mono, f"{what}: config shows the channels")
            check(os.path.exists(out_aiff) and os.path.getsize(out_aiff) > 1000,
                  f"{what}: the AIFF export succeeds")
            check_equal(r.out.count("Exporting audio to WAV"), 2,
                        f"{what}: the module stays loaded after the AIFF export")


def test_position_survives_a_format_change():
    """The order a goto put the song at, or where a play stopped, is where the song stands
    after a format change."""
    with Workspace() as ws:
        song = ws.module("song.it", OPENED)
        # Each play here is paused by the next input line: ENTER plays on, S stops.
        for changes in (["samplerate 22050"], ["samplerate 22050", "channels 1"]):
            r = shell(ws, [f"open {song}", "goto 2", *changes, "play", "", "S"], quiet=False)
            orders = STATUS.findall(r.out)
            check_equal((r.status, orders[:1]), (0, ["2"]),
                        f"goto 2, {', '.join(changes)}, play: the song plays from order 2")

        r = shell(ws, [f"open {song}", "play", *[""] * 20, "S", "position",
                       "channels 1", "play", "S", "position"], quiet=False)
        stopped = POSITION.findall(r.out)
        check(len(stopped) == 2 and stopped[0] not in ("0", "1"),
              "the first play stops past order 1", stopped)
        check_equal(stopped[1:], stopped[:1],
                    "after channels 1, play resumes at the order where it stopped")


def test_reload_without_memory():
    """A reload refused for want of memory is reported; the old module goes on rendering
    in its old format, and the WAVE header says so."""
    with Workspace() as ws:
        song = ws.module("song.it", OPENED)
        ref = reference(ws, song, "ref.wav")
        flag, out = ws.path("no-memory"), ws.path("out.wav")
        env = {"LD_PRELOAD": PRELOAD, "MARROWTIDE_FAIL_NEW_WHILE": flag,
               "ASAN_OPTIONS": "verify_asan_link_order=0:detect_leaks=0:alloc_dealloc_mismatch=0"}
        lines = [f"open {song}", f"exec touch {flag}", "samplerate 22050", "export", out, "a"]
        r = ws.run("-q", "-O", "null", stdin="".join(l + "\n" for l in lines).encode(), env=env)
        check_equal((r.status, r.err), (0, ">>> ERROR: FATAL ERROR: Not enough memory\n" * 2),
                    "samplerate and the export each report the refused reload")
        check_wave(out, ref, "the export after a refused reload")

        # Memory back: the next export renders at the new rate.
        ref_22 = reference(ws, song, "ref-22050.wav", "-r", "22050")
        os.remove(flag)
        lines += [f"exec rm {flag}", "export", out, "a"]
        r = ws.run("-q", "-O", "null", stdin="".join(l + "\n" for l in lines).encode(), env=env)
        check_equal((r.status, r.err.count("Not enough memory")), (0, 2),
                    "no report once memory is back")
        check_wave(out, ref_22, "the export once memory is back")


def test_load_failure_reasons():
    with Workspace() as ws:
        os.mkdir(ws.path("folder.it"))
        r = ws.run("folder.it")
        check_equal((r.status, r.err),
                    (4, ">>> ERROR: CAN'T read(): Is a directory\n"
                        ">>> ERROR: file load: Is a directory\n"),
                    "a directory named as module: the system's reason")
        with open(ws.path("empty.it"), "wb"):
            pass
        r = ws.run("empty.it")
        check_equal((r.status, r.err.splitlines()[-1:]), (4, [">>> ERROR: file load: the file is empty"]),
                    "an empty file keeps its own text")


test_cd_after_a_relative_open()
test_replaced_and_removed_files()
test_position_survives_a_format_change()
test_reload_without_memory()
test_load_failure_reasons()
finish()
