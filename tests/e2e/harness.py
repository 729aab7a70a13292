"""Helpers for the end-to-end scripts: run the built binary with its own HOME and
input, make fixture modules with the project's module writer, and report results."""

import os
import re
import shutil
import subprocess
import sys
import tempfile

BINARY = os.environ.get("MARROWTIDE", "build/marrowtide")
MAKE_MODULE = os.environ.get("MAKE_MODULE", "build/make_module")
DEMO_TUNE = os.environ.get("DEMO_TUNE", "build/examples/demo.xm")


class Result:
    def __init__(self, status, out, err):
        self.status = status
        self.out = out
        self.err = err

    def __repr__(self):
        return f"status {self.status}\n--- stdout\n{self.out}\n--- stderr\n{self.err}"


class Workspace:
    """A temporary directory holding a HOME and fixtures; removed on exit."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="marrowtide-e2e-")
        self.home = os.path.join(self.root, "home")
        os.mkdir(self.home)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.root, name)

    def settings_file(self):
        return os.path.join(self.home, ".marrowtideb")

    def module(self, name, description):
        """Writes a module from a module writer description (text, or bytes for names that
        are not UTF-8); returns its path."""
        path = self.path(name)
        data = description if isinstance(description, bytes) else description.encode()
        subprocess.run([MAKE_MODULE, "-", path], input=data, check=True)
        return path

    def run(self, *args, stdin=b"", env=None, timeout=30, cwd=None):
        """Runs the binary with HOME set to the workspace's home and the given input."""
        full_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home}
        if env is not None:
            full_env.update(env)
            full_env = {k: v for k, v in full_env.items() if v is not None}
        done = subprocess.run([BINARY, *args], input=stdin, capture_output=True,
                              env=full_env, timeout=timeout, cwd=cwd or self.root)
        return Result(done.returncode, done.stdout.decode("latin-1"),
                      done.stderr.decode("latin-1"))


_failures = []
_passed = 0


def check(condition, what, detail=None):
    """Records one check; prints the detail when it fails."""
    global _passed
    if condition:
        _passed += 1
        return
    _failures.append(what)
    print(f"FAIL: {what}")
    if detail is not None:
        print(detail)


def check_equal(actual, expected, what):
    check(actual == expected, what, f"expected:\n{expected!r}\nactual:\n{actual!r}")


def finish():
    """Prints the closing line and exits with the script's status."""
    print(f"{_passed} passed, {len(_failures)} failed")
    sys.exit(1 if _failures else 0)


def long_tune(name):
    """An XM of 8 orders of 64 rows on 4 channels: about a minute of playing time, for
    tests that stop it early."""
    return (f"format xm\nname {name}\nchannels 4\nsample square 16 64 loop beep\n"
            "instrument 1 beeper\npattern 0 64\nseq 0 0 4 1 C-4 E-4 G-4 C-5\n"
            "order 0 0 0 0 0 0 0 0\n")


def big_tune(name, orders):
    """An IT of the given count of 64-row orders on 16 channels: about 7.5 s of playing
    time an order, an export long enough to be stopped in the middle."""
    return (f"format it\nname {name}\nchannels 16\nsample square 16 64 loop beep\n"
            "instrument 1 beeper\npattern 0 64\nseq 0 0 2 1 C-4 E-4 G-4 C-5\ncopy 0\n"
            + "".join(f"seq {c} {c % 4} 2 1 C-3 G-3 C-4\n" for c in range(1, 16))
            + "order " + " ".join(["0"] * orders) + "\n")


# The status line of playback, and the pause menu a key opens.
STATUS = re.compile(r">>> \{(\d+):(\d\d)\}  ord: \d+ - pat: \d+ - row: \d+ - tempo: \d+     \r")
PAUSE_MENU = ">>> \n\n>>> Paused\nResume => ENTER\nStop   => S\n\noption? "
