"""The real binary on a pseudo-terminal, playing through a private PulseAudio server:
real-time pacing, the any-key pause and its menu, the pattern view's key, and the exit
on SIGINT and SIGTERM with the terminal left in its normal mode."""

import os
import re
import signal
import time

import terminal
from harness import (BINARY, PAUSE_MENU, STATUS, Workspace, big_tune, check, check_equal, finish,
                     long_tune)
from pulse import PulseServer

# 16 rows at speed 6, tempo 125: 1.92 s a pattern. Two orders: 3.84 s.
SHORT_TUNE = """format xm
name Live Short
channels 4
sample square 16 64 loop beep
instrument 1 beeper
pattern 0 16
note 0 0 C-4 1
note 8 0 G-4 1
order 0 0
"""

LONG_TUNE = long_tune("Live Long")


def environment(ws, server):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home, "TERM": "xterm"}
    env.update(server.client_env())
    return env


def test_pacing(ws, server):
    tune = ws.module("short.xm", SHORT_TUNE)
    started = time.monotonic()
    with terminal.spawn([BINARY, tune, "-O", "pulse"], env=environment(ws, server),
                        cwd=ws.root) as term:
        status = term.wait(timeout=30)
        elapsed = time.monotonic() - started
        text = term.text()
    check_equal(status, 0, "plays to the end through the sound server")
    check(elapsed >= 3.8, f"playback is paced in real time ({elapsed:.2f} s for 3.84 s)")
    check(elapsed < 15, f"and does not hang ({elapsed:.2f} s)")
    seconds = [int(m.group(1)) * 60 + int(m.group(2)) for m in STATUS.finditer(text)]
    check(seconds and seconds[0] == 0 and seconds[-1] == 3 and seconds == sorted(seconds),
          "the status line advances from 0:00 to 0:03", seconds[-3:])

    started = time.monotonic()
    with terminal.spawn([BINARY, tune, "-O", "pulse", "-q"], env=environment(ws, server),
                        cwd=ws.root) as term:
        status = term.wait(timeout=30)
        elapsed = time.monotonic() - started
        check_equal((status, term.text()), (0, ""), "quiet: nothing printed")
    check(elapsed >= 3.8, f"quiet playback is paced too ({elapsed:.2f} s)")


def test_pause_menu(ws, server):
    tune = ws.module("long.xm", LONG_TUNE)
    with terminal.spawn([BINARY, tune, "-O", "pulse"], env=environment(ws, server),
                        cwd=ws.root) as term:
        term.expect("Playing \n(any key to pause)\n")
        term.expect(STATUS)
        term.send("x")  # the key that pauses is the menu answer's first character
        term.expect(PAUSE_MENU)
        check(term.terminal_mode().normal, "the menu reads in the normal terminal mode")
        term.send("\r")  # the answer "x": asked again
        term.expect("\noption? ")
        term.send_line("s")  # a lower-case s: asked again
        term.expect("\noption? ")
        term.send_line(" S")  # a blank before the S: asked again
        term.expect("\noption? ")
        term.send("\r")  # ENTER alone resumes
        term.expect(">>> Playing \n(any key to pause)\n")
        first = term.expect(STATUS)
        later = term.expect(re.compile(r">>> \{0:0[2-9]\}"), timeout=10)
        check(bool(first and later), "the status line advances after resuming")
        term.send("S")
        term.expect(PAUSE_MENU)
        term.send("\r")  # the answer "S" stops
        check_equal(term.wait(timeout=10), 0, "S stops playback and ends the program")
        check(term.terminal_mode_after_exit(), "the terminal is left in its normal mode")
        # The S was echoed when typed, before the menu; ENTER echoes a newline, and the
        # end of playback prints one more.
        check(term.text().endswith("option? \n\n"), "a newline after the stop", term.tail(60))


def test_signals(ws, server):
    tune = ws.module("long.xm", LONG_TUNE)
    cases = [
        ("SIGINT during playback", [tune, "-O", "pulse"], STATUS, signal.SIGINT),
        ("SIGTERM during playback", [tune, "-O", "pulse"], STATUS, signal.SIGTERM),
        ("SIGINT at the pause menu", [tune, "-O", "pulse"], None, signal.SIGINT),
        ("SIGTERM at the shell prompt", [], f"marrowtide[{ws.root}]% ", signal.SIGTERM),
        ("SIGINT in quiet playback", [tune, "-O", "pulse", "-q", "-q"], None, signal.SIGINT),
    ]
    for what, args, ready, sig in cases:
        with terminal.spawn([BINARY, *args], env=environment(ws, server), cwd=ws.root) as term:
            if what.endswith("pause menu"):
                term.expect(STATUS)
                term.send("p")
                term.expect(PAUSE_MENU)
            elif ready is not None:
                term.expect(ready)
            else:
                time.sleep(0.5)  # quiet mode prints nothing to wait for
            sent = time.monotonic()
            term.kill(sig)
            status = term.wait(timeout=5)
            took = time.monotonic() - sent
            check_equal(status, 0, f"{what}: exit status 0")
            check(took < 1.0, f"{what}: ends within a fraction of a second ({took:.2f} s)")
            message = f"\n[exiting by signal {int(sig)}]\n"
            if "quiet" in what:
                check(message not in term.text(), f"{what}: no message below verbosity 1")
            else:
                check(term.text().endswith(">>> " + message), f"{what}: the exit message",
                      term.tail(120))
            check(term.terminal_mode_after_exit(), f"{what}: terminal left in normal mode")


# 64 orders of 64 rows on 16 channels: about eight minutes, an export of a second or so.
BIG_TUNE = big_tune("Live Big", 64) + \
    "".join(f"message line {n} of a long song text\n" for n in range(40))


def test_signals_in_commands(ws, server):
    big = ws.module("big.it", BIG_TUNE)
    prompt = f"marrowtide[{ws.root}]% "
    cases = [
        ("SIGINT at the pager's pause", ["message"], "...press ENTER to continue (", signal.SIGINT),
        ("SIGTERM in the pattern view", ["display 1-2"], re.compile(r"\n  3 "), signal.SIGTERM),
        ("SIGINT during an export", ["export", ws.path("big.wav"), "a"], " bytes written  \r",
         signal.SIGINT),
        ("SIGTERM during an AIFF export", ["export", ws.path("big.aiff"), "c"],
         "Exporting audio as AIFF", signal.SIGTERM),
    ]
    for what, lines, ready, sig in cases:
        with terminal.spawn([BINARY, "-O", "pulse"], env=environment(ws, server),
                            cwd=ws.root) as term:
            term.expect(prompt)
            term.send_line(f"open {big}")
            term.expect(prompt)
            for line in lines:
                term.send_line(line)
            term.expect(ready, timeout=20)
            sent = time.monotonic()
            term.kill(sig)
            status = term.wait(timeout=5)
            took = time.monotonic() - sent
            check_equal(status, 0, f"{what}: exit status 0")
            check(took < 1.0, f"{what}: ends within a fraction of a second ({took:.2f} s)")
            check(term.text().endswith(f">>> \n[exiting by signal {int(sig)}]\n"),
                  f"{what}: the exit message", term.tail(120))
            check(term.terminal_mode_after_exit(), f"{what}: terminal left in normal mode")


def test_display_key(ws, server):
    tune = ws.module("long.xm", LONG_TUNE)
    prompt = f"marrowtide[{ws.root}]% "
    with terminal.spawn([BINARY, "-q", "-O", "pulse"], env=environment(ws, server),
                        cwd=ws.root) as term:
        term.expect(prompt)
        term.send_line(f"open {tune}")
        term.expect(prompt)
        term.send_line("display 1-2")
        term.expect("row   1   2\n------------\n  0 C-4 ...\n")
        term.expect("  4 E-4 ...\n")
        term.send("q")
        term.expect(prompt)  # a key ends the view at once
        term.send_line("uit")  # the key is not read: it begins the next line, "quit"
        check_equal(term.wait(timeout=5), 0, "display ends on a key; the shell goes on")
        check(term.terminal_mode_after_exit(), "terminal left in normal mode after display")


with Workspace() as ws, PulseServer() as server:
    for test in (test_pacing, test_pause_menu, test_signals, test_signals_in_commands,
                 test_display_key):
        try:
            test(ws, server)
        except terminal.TerminalError as error:
            check(False, f"{test.__name__}: {error}")
finish()
