"""A pseudo-terminal driver for running the real binary as if a person sat at a terminal.

    term = terminal.spawn([BINARY, tune], env=env, cwd=ws.root)
    term.expect("Playing")                  # literal text; a compiled re.Pattern is a regex
    term.send(b" ")                         # one key press
    term.send_line("quit")                  # a line typed and Enter (sent as "\\r")
    status = term.wait(5)                   # return code, or -signal
    normal = term.terminal_mode_after_exit()
    term.close()

The program starts in a new session with the pty's slave side as its controlling terminal
and foreground process group, so a ^C typed while the line discipline has ISIG on sends it
SIGINT. It starts with the default action for the usual signals and none blocked, whatever
the test runner ignores or blocks (spawn must be called from the main thread). Its standard
input, output and error are all that slave: stderr is mixed into the same transcript as
stdout, in the order written. The parent keeps its own descriptor of the slave open, which
lets it read the terminal settings the program leaves behind, and means the master never
reports end of file: the end of the program is seen by its exit.

A reader thread drains the master all the time, so a program writing a lot (a status line
many times a second) never blocks on a full pty while the test is doing something else.

Output passes through the line discipline: with ONLCR on (the default) each "\\n" written
arrives as "\\r\\n". text() gives the transcript with "\\r\\n" turned back into "\\n" but bare
"\\r" kept (status lines are redrawn with "\\r"); expect() searches that text. Typed input is
echoed into the transcript while the program leaves ECHO on. The transcript is decoded as
latin-1, one character per byte, as the other end-to-end helpers do.
"""

import fcntl
import os
import re
import select
import signal
import struct
import subprocess
import termios
import threading
import time
from collections import namedtuple


class TerminalError(AssertionError):
    """An expectation about the program on the terminal failed; the message ends with the
    tail of the transcript."""


class Mode(namedtuple("Mode", "canonical echo isig")):
    """Local-mode flags of the line discipline: ICANON, ECHO, ISIG."""

    @property
    def normal(self):
        """ICANON and ECHO both set: the line mode a shell expects."""
        return self.canonical and self.echo


def _set_size(fd, rows, cols):
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))


# Signals whose disposition the program gets as at a fresh login: a test runner started
# in the background of a non-interactive shell ignores SIGINT and SIGQUIT, and an ignored
# signal stays ignored across exec, so ^C would do nothing.
_DEFAULT_SIGNALS = [signal.SIGINT, signal.SIGQUIT, signal.SIGTERM, signal.SIGHUP,
                    signal.SIGTSTP, signal.SIGTTIN, signal.SIGTTOU, signal.SIGWINCH,
                    signal.SIGCHLD, signal.SIGALRM, signal.SIGUSR1, signal.SIGUSR2]


def _prepare_child():
    # Runs in the child between fork and exec, after setsid (start_new_session) and after
    # the slave became fd 0. Makes the slave the controlling terminal of the new session,
    # whose process group becomes the terminal's foreground group; resets the signals.
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)
    for sig in _DEFAULT_SIGNALS:
        signal.signal(sig, signal.SIG_DFL)
    signal.pthread_sigmask(signal.SIG_SETMASK, [])


def spawn(args, env=None, cwd=None, rows=24, cols=80):
    """Starts args[0] (looked up in PATH) on a new pseudo-terminal of rows x cols; env is
    the whole environment (None: this process's). Returns a Terminal."""
    return Terminal(args, env, cwd, rows, cols)


class Terminal:
    def __init__(self, args, env, cwd, rows, cols):
        self.args = list(args)
        self.master, slave = os.openpty()  # neither becomes our controlling terminal
        self.tty_name = os.ttyname(slave)
        _set_size(slave, rows, cols)
        # Our own open of the slave, separate from the one the program inherits, so that
        # nothing done to it (O_NONBLOCK) changes the program's descriptors.
        self._slave = os.open(self.tty_name, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        # The whole settings the program finds, to compare with those it leaves behind.
        self.settings_at_start = termios.tcgetattr(self._slave)
        self._raw = bytearray()
        self._lock = threading.Condition()
        self._pos = 0
        self._syncs = 0
        self._wake_r, self._wake_w = os.pipe()
        try:
            self.process = subprocess.Popen(
                self.args, stdin=slave, stdout=slave, stderr=slave, env=env, cwd=cwd,
                start_new_session=True, preexec_fn=_prepare_child)
        except BaseException:
            for fd in [self.master, self._slave, self._wake_r, self._wake_w]:
                os.close(fd)
            raise
        finally:
            os.close(slave)
        self.pid = self.process.pid
        self._reader = threading.Thread(target=self._read_loop, daemon=True)
        self._reader.start()

    # --- output -------------------------------------------------------------------

    def _read_loop(self):
        while True:
            ready, _, _ = select.select([self.master, self._wake_r], [], [])
            if self._wake_r in ready:
                # Asked to stop: take what is still buffered, then end.
                while select.select([self.master], [], [], 0)[0]:
                    if not self._read_once():
                        break
                return
            if not self._read_once():
                return

    def _read_once(self):
        try:
            data = os.read(self.master, 65536)
        except OSError:  # EIO once no slave descriptor is open anywhere
            data = b""
        with self._lock:
            if data:
                self._raw += data
            self._lock.notify_all()
        return bool(data)

    @property
    def transcript(self):
        """Everything the program wrote (and the echo of what was typed), raw."""
        with self._lock:
            return bytes(self._raw).decode("latin-1")

    def text(self):
        """The transcript with "\\r\\n" as "\\n"; a bare "\\r" is kept."""
        return self.transcript.replace("\r\n", "\n")

    def tail(self, size=1500):
        text = self.text()
        return ("..." if len(text) > size else "") + text[-size:]

    def _failure(self, what):
        return TerminalError(f"{what}\ncommand: {self.args}\n--- transcript tail (repr)\n"
                             f"{self.tail()!r}")

    def expect(self, pattern, timeout=10):
        """Waits until the text after the previous match contains pattern (a str is literal
        text, a compiled re.Pattern a regular expression) and returns the re.Match, whose
        positions index text(). Raises TerminalError on timeout, or as soon as the program
        has exited without writing it."""
        regex = pattern if isinstance(pattern, re.Pattern) else re.compile(re.escape(pattern))
        shown = repr(pattern) if isinstance(pattern, str) else f"re {pattern.pattern!r}"
        deadline = time.monotonic() + timeout
        synced = False
        while True:
            with self._lock:
                seen = len(self._raw)
                text = bytes(self._raw).decode("latin-1").replace("\r\n", "\n")
            match = regex.search(text, min(self._pos, len(text)))
            if match:
                self._pos = match.end()
                return match
            if self.process.poll() is not None:
                if not synced:
                    self._sync()  # all it wrote is in the transcript now: one more look
                    synced = True
                    continue
                raise self._failure(f"the program exited ({self.process.returncode}) "
                                    f"without writing {shown}")
            left = deadline - time.monotonic()
            if left <= 0:
                raise self._failure(f"{shown} did not appear within {timeout} s")
            with self._lock:
                if len(self._raw) == seen:
                    # Woken by new output; the short cap notices the program's exit.
                    self._lock.wait(min(left, 0.05))

    def _sync(self, timeout=5):
        """Waits until everything written to the terminal so far has reached the transcript.

        Output goes from the slave to the master through a kernel work queue, so it may not
        be readable yet when the writer has already exited. A marker written to the slave
        by this process queues behind it; once the marker is read, all earlier output has
        been, and the marker is taken out again."""
        self._syncs += 1
        token = b"\x1b[MARROWTIDE-SYNC-%d-%d]" % (os.getpid(), self._syncs)
        try:
            os.write(self._slave, token)
        except BlockingIOError:
            raise self._failure("the terminal does not take output (stopped by ^S?)") from None
        deadline = time.monotonic() + timeout
        with self._lock:
            while token not in self._raw:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise self._failure("the terminal's output did not arrive")
                self._lock.wait(left)
            at = self._raw.index(token)
            del self._raw[at:at + len(token)]

    # --- input --------------------------------------------------------------------

    def send(self, data):
        """Writes bytes (or latin-1 text) to the terminal as if typed."""
        if isinstance(data, str):
            data = data.encode("latin-1")
        view = memoryview(data)
        while view:
            written = os.write(self.master, view)
            view = view[written:]

    def send_line(self, text, end="\r"):
        """Types a line and Enter; Enter is "\\r", which ICRNL turns into "\\n" in line mode."""
        self.send(text + end)

    # --- the process --------------------------------------------------------------

    @property
    def returncode(self):
        return self.process.poll()

    def running(self):
        return self.process.poll() is None

    def kill(self, sig=signal.SIGTERM):
        """Sends sig to the program (if it is still running)."""
        if self.process.poll() is None:
            self.process.send_signal(sig)

    def wait(self, timeout=10):
        """Waits for the program to exit: its return code, or -N if signal N ended it.
        Raises TerminalError if it is still running after timeout seconds."""
        try:
            status = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise self._failure(f"the program did not exit within {timeout} s") from None
        self._sync()
        return status

    def resize(self, rows, cols):
        """Changes the window size; the kernel sends SIGWINCH to the foreground group."""
        _set_size(self._slave, rows, cols)

    # --- terminal settings ----------------------------------------------------------

    def terminal_mode(self):
        """The line discipline's settings now, as a Mode(canonical, echo, isig)."""
        lflag = termios.tcgetattr(self._slave)[3]
        return Mode(bool(lflag & termios.ICANON), bool(lflag & termios.ECHO),
                    bool(lflag & termios.ISIG))

    def terminal_settings(self):
        """The line discipline's whole settings now, as termios.tcgetattr gives them: the
        input, output, control and local flags, the speeds and the control characters."""
        return termios.tcgetattr(self._slave)

    def terminal_mode_after_exit(self, timeout=10):
        """Waits for the program to exit and tells whether it left the terminal in normal
        line mode (ICANON and ECHO set)."""
        self.wait(timeout)
        return self.terminal_mode().normal

    # --- clean-up -----------------------------------------------------------------

    def close(self, timeout=2):
        """Ends the program if it still runs (SIGTERM, then SIGKILL after timeout), kills
        whatever is left in its process group, stops the reader, closes the descriptors."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        try:
            os.killpg(self.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
        if self._reader.is_alive():
            os.write(self._wake_w, b"x")
            self._reader.join(5)
        for fd in [self.master, self._slave, self._wake_r, self._wake_w]:
            try:
                os.close(fd)
            except OSError:
                pass
        self.master = self._slave = self._wake_r = self._wake_w = -1

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
