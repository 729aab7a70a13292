"""The module writer's command: a description from a file or standard input becomes a
module file; a bad description or bad arguments give exit status 1 and a message."""

import os
import subprocess

from harness import MAKE_MODULE, Workspace, check, check_equal, finish

TUNE = """format {fmt}
name E2E Tune
channels 4
sample square 16 64 loop beep
{instrument}
pattern 0
note 0 0 C-4 1
"""

# Where each format's signature stands.
SIGNATURES = {
    "mod": (1080, b"M.K."),
    "s3m": (0x2C, b"SCRM"),
    "xm": (0, b"Extended Module: E2E Tune"),
    "it": (0, b"IMPME2E Tune"),
}


def make(args, stdin=b""):
    done = subprocess.run([MAKE_MODULE, *args], input=stdin, capture_output=True, timeout=30)
    return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")


def read(path):
    with open(path, "rb") as f:
        return f.read()


with Workspace() as ws:
    for fmt, (offset, signature) in SIGNATURES.items():
        instrument = "instrument 1 beeper" if fmt in ("xm", "it") else ""
        text = TUNE.format(fmt=fmt, instrument=instrument)
        source = ws.path(fmt + ".tune")
        with open(source, "w") as f:
            f.write(text)
        from_file = ws.path("file." + fmt)
        status, out, err = make([source, from_file])
        check_equal((status, out, err), (0, "", ""), f"{fmt}: a description file is written")
        data = read(from_file)
        check_equal(data[offset:offset + len(signature)], signature, f"{fmt}: the signature")

        from_stdin = ws.path("stdin." + fmt)
        status, _, err = make(["-", from_stdin], stdin=text.encode())
        check_equal((status, err), (0, ""), f"{fmt}: standard input is read for -")
        check(os.path.exists(from_stdin) and read(from_stdin) == data,
              f"{fmt}: the same description gives the same bytes")

    bad = ws.path("bad.tune")
    with open(bad, "w") as f:
        f.write("format xm\npattern 0\nnote 0 9 C-4\n")
    out_path = ws.path("bad.xm")
    status, out, err = make([bad, out_path])
    check_equal(status, 1, "a bad description exits with 1")
    check_equal(err, f"make_module: {bad}: line 3: channel 9 is out of range 0..3\n",
                "the message names the file and the line")
    check(not os.path.exists(out_path), "nothing is written for a bad description")

    status, _, err = make(["-", ws.path("x.xm")], stdin=b"format flac\n")
    check_equal((status, err),
                (1, "make_module: standard input: line 1: unknown format \"flac\" "
                    "(mod, s3m, xm or it)\n"), "errors on standard input")

    status, _, err = make([ws.path("missing.tune"), ws.path("x.xm")])
    check_equal((status, err), (1, f"make_module: cannot read {ws.path('missing.tune')}\n"),
                "a missing description file")

    status, _, err = make(["-", ws.path("no/such/dir.xm")], stdin=b"format xm\n")
    check_equal((status, err), (1, f"make_module: cannot write {ws.path('no/such/dir.xm')}\n"),
                "an output that cannot be written")

    for args in ([], ["only-one"], ["a", "b", "c"]):
        status, _, err = make(args)
        check_equal((status, err), (1, "usage: make_module <description-file|-> <output-file>\n"),
                    f"usage with {len(args)} arguments")

finish()
