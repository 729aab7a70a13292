"""The end-to-end helpers themselves, on standard commands: the pseudo-terminal driver
(input, output, keys, signals, window size, the terminal mode left behind, failures) and
the private PulseAudio server (start, a libao client paced in real time, stop)."""

import json
import os
import re
import signal
import subprocess
import sys
import time
import traceback

import terminal
from harness import Workspace, check, check_equal, finish
from pulse import PulseServer

PYTHON = sys.executable


def python(code):
    return [PYTHON, "-c", code]


def test_line_mode():
    with terminal.spawn(["sh", "-c", "echo ready; read line; echo \"got <$line>\"; "
                         "echo oops >&2; exit 3"]) as term:
        check(term.terminal_mode().normal, "a new terminal starts in line mode with echo")
        term.expect("ready")
        term.send_line("hello there")
        match = term.expect(re.compile(r"got <([^>]*)>"))
        check_equal(match.group(1), "hello there", "a typed line reaches the program")
        check_equal(term.wait(5), 3, "wait gives the exit code")
        check_equal(term.text(), "ready\nhello there\ngot <hello there>\noops\n",
                    "text: echo of the typed line, stdout and stderr, \\r\\n as \\n")
        check("ready\r\n" in term.transcript, "the raw transcript keeps the \\r of ONLCR",
              repr(term.transcript))
        check(term.terminal_mode_after_exit(), "a shell that reads a line leaves line mode")


def test_carriage_returns_and_window_size():
    with terminal.spawn(["sh", "-c", "printf 'one\\rtwo\\r'; printf 'three\\n'; stty size"],
                        rows=30, cols=100) as term:
        term.wait(5)
        check_equal(term.text(), "one\rtwo\rthree\n30 100\n",
                    "bare \\r kept, the requested window size seen by stty")
    code = ("import os, signal, sys\n"
            "def winch(*_):\n"
            "    print('size', *os.get_terminal_size(0), flush=True)\n"
            "    sys.exit(0)\n"
            "signal.signal(signal.SIGWINCH, winch)\n"
            "print('waiting', flush=True)\n"
            "while True: signal.pause()\n")
    with terminal.spawn(python(code)) as term:
        term.expect("waiting")
        term.resize(40, 132)
        term.expect("size 132 40")
        check_equal(term.wait(5), 0, "a resize sends SIGWINCH to the program")


KEY_READER = """
import os, select, sys, termios, tty
saved = termios.tcgetattr(0)
tty.setraw(0)
os.write(1, b"raw\\r\\n")
while True:
    select.select([0], [], [])
    key = os.read(0, 1)
    os.write(1, b"key %d\\r\\n" % key[0])
    if key == b"q":
        break
if sys.argv[1:] == ["restore"]:
    termios.tcsetattr(0, termios.TCSADRAIN, saved)
"""


def test_raw_keys_and_the_mode_left_behind():
    with terminal.spawn(python(KEY_READER)) as term:
        term.expect("raw\n")
        check_equal(term.terminal_mode(), terminal.Mode(False, False, False),
                    "terminal_mode sees raw mode while the program runs")
        term.send(b"z")
        term.expect("key 122\n")
        term.send(b"\x03")
        term.expect("key 3\n")
        check(term.running(), "^C is a key, not SIGINT, with ISIG off")
        term.send(b"q")
        check_equal(term.wait(5), 0, "q ends the key reader")
        check("z" not in term.text(), "raw mode without echo: the key is not echoed",
              repr(term.text()))
        check(not term.terminal_mode_after_exit(), "exiting in raw mode is detected")
    with terminal.spawn(python(KEY_READER) + ["restore"]) as term:
        term.expect("raw\n")
        term.send(b"q")
        check(term.terminal_mode_after_exit(), "a program that restores its settings")
    for script, normal in [("stty raw -echo; echo set", False),
                           ("stty -icanon; echo set", False),
                           ("stty -echo; echo set", False),
                           ("stty raw -echo; echo set; stty sane", True)]:
        with terminal.spawn(["sh", "-c", script]) as term:
            term.expect("set")
            check_equal(term.terminal_mode_after_exit(), normal, f"mode after {script!r}")


def process_gone(pid, timeout=5):
    """Whether pid ends (or is left a zombie for its new parent) within timeout."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with open(f"/proc/{pid}/stat") as f:
                if f.read().rsplit(")", 1)[1].split()[0] == "Z":
                    return True
        except FileNotFoundError:
            return True
        time.sleep(0.02)
    return False


def test_signals_and_clean_up():
    # As when the tests run in the background of a script, which ignores SIGINT for them;
    # a blocked SIGTERM is inherited too. The program must get neither.
    ignored = signal.signal(signal.SIGINT, signal.SIG_IGN)
    blocked = signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM])
    try:
        with terminal.spawn(["sh", "-c", "echo ready; exec sleep 30"]) as term:
            term.expect("ready")
            term.send(b"\x03")
            check_equal(term.wait(5), -signal.SIGINT, "^C in line mode interrupts: the pty "
                        "is the controlling terminal, SIGINT is not ignored")
        with terminal.spawn(["sh", "-c", "echo \"tty $(tty)\"; exec sleep 30"]) as term:
            term.expect(re.compile(r"tty (\S+)\n"))
            check(f"tty {term.tty_name}\n" in term.text(), "stdin is the pty", term.text())
            term.kill(signal.SIGTERM)
            check_equal(term.wait(5), -signal.SIGTERM, "kill and wait give -signal")
    finally:
        signal.signal(signal.SIGINT, ignored)
        signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
    # The shell ignores SIGTERM, its child also the SIGHUP that the end of the session
    # leader sends to the foreground group: only a kill of the whole group ends both.
    term = terminal.spawn(["sh", "-c", "trap '' TERM HUP; sleep 300 & echo \"child $!\"; "
                           "while :; do wait; done"])
    child = int(term.expect(re.compile(r"child (\d+)\n")).group(1))
    start = time.monotonic()
    term.close(timeout=0.5)
    check_equal(term.returncode, -signal.SIGKILL, "close kills a program ignoring SIGTERM")
    check(time.monotonic() - start < 3, "close gives up on SIGTERM after its timeout")
    check(process_gone(child), "close kills what the program left in its process group")


def test_failures_are_reported():
    with terminal.spawn(["sh", "-c", "echo 'some output'; exec sleep 30"]) as term:
        term.expect("some output")
        start = time.monotonic()
        try:
            term.expect("never written", timeout=0.3)
            check(False, "expect raises when the text does not come")
        except terminal.TerminalError as e:
            check(time.monotonic() - start >= 0.3, "expect waits its whole timeout")
            check("some output" in str(e) and "never written" in str(e),
                  "the failure names the pattern and shows the transcript", str(e))
        try:
            term.wait(0.2)
            check(False, "wait raises when the program does not exit")
        except terminal.TerminalError:
            pass
    with terminal.spawn(["sh", "-c", "echo goodbye"]) as term:
        start = time.monotonic()
        try:
            term.expect("never written", timeout=10)
            check(False, "expect raises when the program has exited")
        except terminal.TerminalError as e:
            check(time.monotonic() - start < 2, "an exited program fails at once")
            check("exited (0)" in str(e) and "goodbye" in str(e), "says it exited", str(e))
    # The last words of a program that exits at once are not lost.
    for n in range(20):
        with terminal.spawn(["sh", "-c", f"printf 'last {n}'"]) as term:
            term.expect(f"last {n}")
    try:
        terminal.spawn(["/nonexistent/marrowtide-binary"])
        check(False, "spawning a missing program raises")
    except FileNotFoundError:
        pass


def test_heavy_output_does_not_block():
    with terminal.spawn(python("import sys\nfor i in range(20000): "
                               "sys.stdout.write('status %05d\\r' % i)\nprint('done')")) as term:
        check_equal(term.wait(10), 0, "a program writing 300 kB ends without any expect")
        text = term.text()
        check(text.endswith("status 19999\rdone\n") and len(text) == 20000 * 13 + 5,
              "all of it is in the transcript", text[-100:])


LIBAO_CLIENT = """
import ctypes, json, sys, time
ao = ctypes.CDLL("libao.so.4")
class Format(ctypes.Structure):
    _fields_ = [("bits", ctypes.c_int), ("rate", ctypes.c_int), ("channels", ctypes.c_int),
                ("byte_format", ctypes.c_int), ("matrix", ctypes.c_char_p)]
ao.ao_open_live.restype = ctypes.c_void_p
ao.ao_open_live.argtypes = [ctypes.c_int, ctypes.POINTER(Format), ctypes.c_void_p]
ao.ao_play.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_uint32]
ao.ao_close.argtypes = [ctypes.c_void_p]
ao.ao_initialize()
pulse = ao.ao_driver_id(b"pulse")
result = {"pulse": pulse, "default": ao.ao_default_driver_id()}
fmt = Format(16, 44100, 2, 1, None)
start = time.monotonic()
device = ao.ao_open_live(pulse, ctypes.byref(fmt), None)
result["opened"] = bool(device)
if device:
    chunk = bytes(4410 * 4)
    ao.ao_play(device, chunk, len(chunk))
    result["first"] = time.monotonic() - start
    for _ in range(int(sys.argv[1]) * 10 - 1):
        ao.ao_play(device, chunk, len(chunk))
    result["played"] = time.monotonic() - start
    ao.ao_close(device)
ao.ao_shutdown()
print(json.dumps(result))
"""


def test_private_pulse_server():
    before = {k: v for k, v in os.environ.items() if k.startswith(("PULSE", "XDG"))}
    with Workspace() as ws, PulseServer() as pulse:
        root = pulse.root
        check(pulse.running() and os.path.exists(pulse.socket_path),
              "the server runs and has its socket", pulse.log_tail())
        check(pulse.socket_path.startswith(root + os.sep), "the socket is in its own directory")
        info = pulse.pactl("info")
        check(info.returncode == 0 and f"Server String: {pulse.server}" in info.stdout
              and f"Default Sink: {pulse.sink}" in info.stdout,
              "pactl reaches the private server, whose default sink is the null sink",
              info.stdout + info.stderr)
        pulse.configure_libao(ws.home)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home,
               **pulse.client_env()}
        done = subprocess.run([PYTHON, "-c", LIBAO_CLIENT, "1"], env=env, capture_output=True,
                              text=True, timeout=30)
        try:
            result = json.loads(done.stdout)
        except ValueError:
            result = {}
        detail = f"{done.stdout}{done.stderr}\n{pulse.log_tail()}"
        check(result.get("pulse", -1) >= 0 and result.get("default") == result.get("pulse"),
              "~/.libao makes pulse libao's default driver", detail)
        check(result.get("opened"), "libao's pulse driver opens a live device", detail)
        check(result.get("first", 99) < 0.5, "the first second of audio starts at once "
              "(the null sink is not in its idle 2 s block)", detail)
        check(0.9 <= result.get("played", 0) < 1.6, "1 s of audio takes about 1 s", detail)
        check(os.listdir(ws.home) == [".libao"], "the client leaves nothing else in HOME",
              os.listdir(ws.home))
        server = pulse.process
    check(server.poll() is not None, "the server has ended on leaving the context")
    check(not os.path.exists(root), "its directory is removed")
    after = {k: v for k, v in os.environ.items() if k.startswith(("PULSE", "XDG"))}
    check_equal(after, before, "this process's environment is not changed")


def run(test):
    try:
        test()
    except Exception:
        check(False, f"{test.__name__} ran to the end", traceback.format_exc())


if __name__ == "__main__":
    for test in [test_line_mode, test_carriage_returns_and_window_size,
                 test_raw_keys_and_the_mode_left_behind, test_signals_and_clean_up,
                 test_failures_are_reported, test_heavy_output_does_not_block,
                 test_private_pulse_server]:
        run(test)
    finish()
