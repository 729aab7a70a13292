"""One scripted shell session under valgrind's memcheck: several modules opened,
every export format, the texts paged, a playlist built, saved and loaded. No definite
leak and no invalid access may show in the program's own code."""

import os
import re
import shutil
import subprocess

from harness import BINARY, Workspace, check, check_equal, finish

TUNES = {
    "a.it": "format it\nname Valgrind IT\nsample square 16 64 loop a\ninstrument 1 one\n"
            "pattern 0 8\nnote 0 0 C-4 1\nmessage checked\nmessage twice\n",
    "b.xm": "format xm\nname Valgrind XM\nsample saw 16 64 loop b\ninstrument 1 two\n"
            "pattern 0 8\nnote 0 1 E-4 1\n",
    "c.s3m": "format s3m\nname Valgrind S3M\nsample sine 16 64 loop c\npattern 0 8\n"
             "note 0 2 G-4 1\n",
}


def session(ws):
    lines = []
    for name in TUNES:
        path = ws.path(name)
        lines += [f"open {path}", "info", "message", "samples", "instruments", "position"]
        for letter in "abcdefgh":
            lines += ["export", ws.path(f"out-{name}-{letter}"), letter]
        lines += ["config", "advanced", "play"]
    lines += ["playlist", "a", "m", "0", "2", "n", "a.it", "d", "1", "v", "s",
              ws.path("list.txt"), "p", "q", "y",
              "playlist", "b", ws.path("list.txt"), "v", "q", "y", "ls", "volume 300",
              "saveconfig", "loadconfig", "reset", "setadvanced", "", "", "", "", "", "", "", "",
              "", "quit"]
    return "\n".join(lines) + "\n"


def test_memcheck():
    if shutil.which("valgrind") is None:
        check(False, "valgrind is installed (scripts/install-deps installs it)")
        return
    with Workspace() as ws:
        for name, description in TUNES.items():
            ws.module(name, description)
        log = ws.path("valgrind.log")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home}
        done = subprocess.run(
            ["valgrind", "--quiet", "--error-exitcode=99", "--leak-check=full",
             "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
             f"--log-file={log}", BINARY, "-O", "null"],
            input=session(ws).encode(), capture_output=True, env=env, cwd=ws.root, timeout=600)
        with open(log) as f:
            report = f.read()
        check_equal(done.returncode, 0, "the session ends normally with no memcheck error")
        check_equal(re.findall(r"==\d+== (Invalid \w+|definitely lost.*)", report), [],
                    "no invalid access and no definite leak")
        out = done.stdout.decode("latin-1")
        check(out.count("Playing") >= 3 and "Valgrind S3M" in out, "the session did its work",
              out[-300:])
        if done.returncode != 0:
            print(report[-3000:])


test_memcheck()
finish()
