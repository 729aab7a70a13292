"""Saving the settings and playlists: a file the user made read-only is left alone and the
refusal reported, many saves at once leave one whole file and nothing else, a playlist is
never saved over a module, and a save that fails keeps the old playlist whole."""

import os
import resource
import signal
import stat
import struct
import subprocess

from harness import BINARY, Workspace, check, check_equal, finish

TUNE = """format it
name Saved
sample square 16 64 loop lead
pattern 0 8
note 0 0 C-4 1
order 0
"""

NOBODY = 65534


def test_read_only_settings():
    with Workspace() as ws:
        if os.geteuid() != 0:
            print("SKIP: the read-only settings case needs root to switch to the nobody user")
            return
        # nobody owns the home and a settings file it made read-only for itself.
        os.chmod(ws.root, 0o755)
        os.chown(ws.home, NOBODY, NOBODY)
        path = ws.settings_file()
        with open(path, "wb") as f:
            f.write(struct.pack("=14i", 44100, 300, 2, 1, 2, 20, 60, 40, 50, 50, 20, 0, 1, 1))
        os.chown(path, NOBODY, NOBODY)
        os.chmod(path, 0o400)
        with open(path, "rb") as f:
            before = f.read()
        done = subprocess.run(["setpriv", f"--reuid={NOBODY}", f"--regid={NOBODY}",
                               "--clear-groups", BINARY, "-q", "-v", "500", "-w"],
                              env={"PATH": os.environ.get("PATH", ""), "HOME": ws.home},
                              cwd=ws.root, capture_output=True, stdin=subprocess.DEVNULL,
                              timeout=30)
        check_equal((done.returncode, done.stderr.decode()),
                    (0, f">>> ERROR: CAN'T open(\"{path}\"): Permission denied\n"),
                    "-w refuses a read-only settings file and says why")
        with open(path, "rb") as f:
            check_equal(f.read(), before, "the read-only file keeps its content")
        check_equal(stat.S_IMODE(os.stat(path).st_mode), 0o400, "and its permission bits")
        check_equal(sorted(os.listdir(ws.home)), [".marrowtideb"], "nothing is left beside it")


def test_saves_at_once():
    with Workspace() as ws:
        path = ws.settings_file()
        with open(path, "wb") as f:
            f.write(b"\0" * 56)
        os.chmod(path, 0o644)
        env = {"PATH": os.environ.get("PATH", ""), "HOME": ws.home}
        volumes = list(range(101, 121))
        runs = [subprocess.Popen([BINARY, "-q", "-v", str(v), "-w"], env=env, cwd=ws.root,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE) for v in volumes]
        errors = [run.communicate(timeout=30)[1] for run in runs]
        check_equal(errors, [b""] * len(runs), "twenty saves at once all succeed")
        with open(path, "rb") as f:
            data = f.read()
        check(len(data) == 56 and struct.unpack("=14i", data)[1] in volumes,
              "the file is one whole record of one of them", data)
        check_equal(stat.S_IMODE(os.stat(path).st_mode), 0o644, "its 0644 bits are kept")
        check_equal(sorted(os.listdir(ws.home)), [".marrowtideb"], "no other file is left")


def shell(ws, lines, preexec_fn=None):
    done = subprocess.run([BINARY, "-q"], input="".join(l + "\n" for l in lines).encode(),
                          capture_output=True, cwd=ws.root, preexec_fn=preexec_fn,
                          env={"PATH": os.environ.get("PATH", ""), "HOME": ws.home}, timeout=30)
    quit_question = ">>> WARNING: playlist will be deleted. are you sure [y/n]? "
    return done.returncode, done.stderr.decode("latin-1").replace(quit_question, "")


def test_playlist_saves():
    with Workspace() as ws:
        tune = ws.module("song.it", TUNE)
        with open(tune, "rb") as f:
            module = f.read()
        status, err = shell(ws, ["playlist", "c", "n", tune, "s", tune, "q", "y"])
        check_equal((status, err),
                    (0, f">>> ERROR: CAN'T save the playlist over the module file {tune}\n"),
                    "a playlist is not saved over a module")
        with open(tune, "rb") as f:
            check_equal(f.read(), module, "the module is untouched")

        # A list of forty items, then a save that fails part-way for want of room.
        saved = ws.path("forty.list")
        items = []
        for n in range(40):
            items += ["n", tune]
        check_equal(shell(ws, ["playlist", "c", *items, "s", saved, "q", "y"]), (0, ""),
                    "a forty-item playlist is saved")
        with open(saved, "rb") as f:
            forty = f.read()
        check_equal(forty.count(b"\n"), 40, "forty lines")

        def small_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

        many = []
        for n in range(400):
            many += ["n", tune]
        status, err = shell(ws, ["playlist", "c", *many, "s", saved, "q", "y"], small_files)
        check_equal(err, f">>> ERROR: I/O error: {saved}: File too large\n",
                    "the failed save is reported")
        with open(saved, "rb") as f:
            check_equal(f.read(), forty, "the old playlist stays whole")
        check_equal(sorted(os.listdir(ws.root)), ["forty.list", "home", "song.it"],
                    "no partial file is left")


test_read_only_settings()
test_saves_at_once()
test_playlist_saves()
finish()
