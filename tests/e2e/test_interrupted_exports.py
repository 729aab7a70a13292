"""Exports stopped by a signal: the file is finished at the last whole chunk (WAVE sizes
patched, AIFF ended through its writer) and then the signal is acted on: a batch job
reports "export interrupted" with status 2, the shell ends with its signal exit."""

import os
import signal
import subprocess
import time

import terminal
from audio_files import aifc_frames, aiff_chunks, sndfile_read, wave_sizes
from harness import BINARY, Workspace, big_tune, check, check_equal, finish

# 24 orders of 64 rows on 16 channels: three minutes of audio, long enough to be caught
# in the middle of its export.
BIG_TUNE = big_tune("Interrupted", 24)

GROWN = 300000  # bytes in the file before the signal is sent


def wait_for_growth(path, process=None, term=None):
    """Waits until path holds GROWN bytes; False when the program ended before that."""
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if os.path.exists(path) and os.path.getsize(path) >= GROWN:
            return True
        if (process is not None and process.poll() is not None) or \
           (term is not None and not term.running()):
            return False
        time.sleep(0.002)
    return False


def ssnd_samples(path):
    for kind, data in aiff_chunks(path):
        if kind == "SSND":
            return data[8:]
    return b""


def check_finished(what, path, full, kind):
    """The partial file is a valid file of its kind whose samples begin the full export's."""
    size = os.path.getsize(path)
    check(GROWN <= size < os.path.getsize(full), f"{what}: a partial file", size)
    with open(path, "rb") as f:
        data = f.read()
    with open(full, "rb") as f:
        whole = f.read()
    if kind == "wav":
        file_size, riff, data_size = wave_sizes(path)
        check_equal((riff, data_size), (file_size - 8, file_size - 44),
                    f"{what}: RIFF and data sizes match the file")
        check(whole[44:].startswith(data[44:]), f"{what}: the samples of the full export")
    elif kind == "raw":
        check_equal(size % 10000, 0, f"{what}: whole chunks only")
        check(whole.startswith(data), f"{what}: the samples of the full export")
    else:
        samples = ssnd_samples(path)
        frames = len(samples) // (2 * 2)
        read = sndfile_read(path)
        check(read is not None and read[0] == frames and frames > 0,
              f"{what}: libsndfile reads every frame written ({frames})", read)
        check_equal(aifc_frames(path), frames, f"{what}: aifc reads the same frame count")
        check(ssnd_samples(full).startswith(samples), f"{what}: the samples of the full export")


def test_batch(ws, tune):
    cases = [
        ("wav", "SIGTERM", signal.SIGTERM),
        ("wav", "SIGPIPE", signal.SIGPIPE),
        ("raw", "SIGINT", signal.SIGINT),
        ("aiff", "SIGHUP", signal.SIGHUP),
        ("aiff", "SIGTERM", signal.SIGTERM),
    ]
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home}
    fulls = {}
    for kind in ("wav", "raw", "aiff"):
        fulls[kind] = ws.path(f"full.{kind}")
        r = ws.run(tune, "-q", "-o", fulls[kind])
        check_equal(r.status, 0, f"the full {kind} export")
    for kind, name, sig in cases:
        what = f"batch {kind}, {name}"
        out = ws.path(f"cut-{name}.{kind}")
        process = subprocess.Popen([BINARY, tune, "-q", "-o", out], env=env, cwd=ws.root,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        running = wait_for_growth(out, process=process)
        process.send_signal(sig)
        _, err = process.communicate(timeout=30)
        check(running, f"{what}: the export was still running when signalled")
        check_equal((process.returncode, err.decode("latin-1")),
                    (2, ">>> ERROR: export interrupted\n"), f"{what}: status and report")
        check_finished(what, out, fulls[kind], kind)


def test_menu(ws, tune):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home}
    prompt = f"marrowtide[{ws.root}]% "
    cases = [
        ("wav", "a", "Ctrl-C", b"\x03", signal.SIGINT),
        ("aiff", "b", "SIGHUP", None, signal.SIGHUP),
    ]
    for kind, letter, name, key, sig in cases:
        what = f"menu {kind}, {name}"
        out = ws.path(f"menu-{name}.{kind}")
        with terminal.spawn([BINARY, "-O", "null"], env=env, cwd=ws.root) as term:
            term.expect(prompt)
            term.send_line(f"open {tune}")
            term.expect(prompt)
            term.send_line("export")
            term.send_line(out)
            term.send_line(letter)
            running = wait_for_growth(out, term=term)
            if key is not None:
                term.send(key)
            else:
                term.kill(sig)
            status = term.wait(timeout=30)
            check(running, f"{what}: the export was still running when interrupted")
            check_equal(status, 0, f"{what}: the signal exit's status")
            check(term.text().endswith(f">>> \n[exiting by signal {int(sig)}]\n"),
                  f"{what}: the signal exit's message after the export", term.tail(200))
            check("Error while exporting" not in term.text() and "done" not in term.text(),
                  f"{what}: the export is neither failed nor done", term.tail(200))
        check_finished(what, out, ws.path(f"full.{kind}"), kind)


with Workspace() as ws:
    big = ws.module("big.it", BIG_TUNE)
    test_batch(ws, big)
    test_menu(ws, big)
finish()
