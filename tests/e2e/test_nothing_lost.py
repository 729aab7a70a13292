"""Nothing lost on a full disk: writes to files fail with ENOSPC after a chosen number
of bytes (a preload library of the tests'). A failed save keeps the old settings, a
failed export leaves only its own partial file, failed list and playlist writes are
reported instead of passing for success."""

import os
import resource
import signal
import struct
import subprocess

from harness import BINARY, Workspace, check, check_equal, finish

PRELOAD = os.environ.get("FAILING_CALLS", "build/libfailing_calls.so")

TUNE = """format it
name Full Disk
sample square 16 64 loop lead
sample saw 16 64 loop bass
instrument 1 Lead
pattern 0 32
note 0 0 C-4 1
note 8 1 C-3 1
order 0 0 0 0
"""


def failing(after):
    # The sanitizer build's runtime must come first; a preload would stop it otherwise.
    return {"LD_PRELOAD": PRELOAD, "MARROWTIDE_FAIL_WRITE_AFTER": str(after),
            "ASAN_OPTIONS": "verify_asan_link_order=0:detect_leaks=0"}


def snapshot(directory):
    state = {}
    for name in sorted(os.listdir(directory)):
        path = os.path.join(directory, name)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                state[name] = f.read()
    return state


def test_settings_survive():
    with Workspace() as ws:
        ws.run("-v", "300", "-w")
        with open(ws.settings_file(), "rb") as f:
            saved = f.read()
        for after in (0, 10, 55):
            r = ws.run("-q", stdin=b"volume 500\nsaveconfig\n", env=failing(after))
            check_equal((r.status, r.err),
                        (0, f">>> ERROR: CAN'T write(\"{ws.settings_file()}\"): "
                            "No space left on device\n"),
                        f"saveconfig on a full disk ({after} bytes): reported, no crash")
            with open(ws.settings_file(), "rb") as f:
                check_equal(f.read(), saved, f"the old settings stay whole ({after} bytes)")
            r = ws.run("-v", "600", "-w", env=failing(after))
            with open(ws.settings_file(), "rb") as f:
                check_equal(struct.unpack("=14i", f.read())[1], 300, f"-w too ({after} bytes)")
        check_equal(sorted(os.listdir(ws.home)), [".marrowtideb"], "no partial file is left")


def test_exports_touch_nothing_else():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        ws.run(tune, "-o", ws.path("existing.wav"))
        before = snapshot(ws.root)
        cases = [("-o", "out.wav"), ("-o", "out.raw"), ("-o", "out.aiff"), ("-f", "aiff24")]
        for option, name in cases:
            words = ["-o", ws.path(name)] if option == "-o" else ["-o", ws.path("x24"), option, name]
            r = ws.run(tune, *words, env=failing(30000))
            check_equal((r.status, r.err),
                        (2, f">>> ERROR: CAN'T write(\"{words[1]}\"): No space left on device\n"
                            ">>> ERROR: export failed!\n"),
                        f"{words}: a full disk fails the export, its reason first")
            after = snapshot(ws.root)
            written = words[1][len(ws.root) + 1:]
            check(written in after, f"{words}: the partial file stays")
            after.pop(written, None)
            check_equal(after, before, f"{words}: no other file changes")
            os.unlink(words[1])


def test_reported_write_failures():
    with Workspace() as ws:
        tune = ws.module("tune.it", TUNE)
        full = "No space left on device"
        r = ws.run(tune, "-s", ws.path("s.txt"), env=failing(5))
        check_equal(r.err, f">>> ERROR: CAN'T write(\"{ws.path('s.txt')}\"): {full}\n"
                    ">>> ERROR: write(2) failed\n", "a sample list that cannot be written")
        r = ws.run(tune, "-I", ws.path("i.txt"), env=failing(5))
        check_equal(r.err, f">>> ERROR: CAN'T write(\"{ws.path('i.txt')}\"): {full}\n"
                    ">>> ERROR: write(2) failed!\n", "an instrument list likewise")
        list_file = ws.path("list.txt")
        with open(list_file, "w") as f:
            f.write("an older playlist\n")
        # The playlist is written through a buffered stream, whose writes the preload does
        # not see: a file size limit makes them fail instead.
        lines = "\n".join(["playlist", "c", "n", tune, "n", tune, "s", list_file, "q", "y"]) + "\n"

        def small_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (10, 10))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

        done = subprocess.run([BINARY, "-q"], input=lines.encode(), capture_output=True,
                              env={"PATH": os.environ.get("PATH", ""), "HOME": ws.home},
                              cwd=ws.root, preexec_fn=small_files, timeout=30)
        err = done.stderr.decode()
        check(err.count(f">>> ERROR: I/O error: {list_file}: File too large\n") == 1,
              "a playlist save that fails part-way is reported", err)


test_settings_survive()
test_exports_touch_nothing_else()
test_reported_write_failures()
finish()
