"""Any input, any terminal: the binary with its standard descriptors closed, unreadable or
on /dev/null, as a background job of an interactive shell, with Ctrl-D at every question,
endless and very long lines, odd files in place of the settings file, a write that takes
nothing, and the signals that end it while the terminal is in raw mode."""

import os
import re
import resource
import shutil
import signal
import subprocess
import time

import terminal
from harness import (BINARY, PAUSE_MENU, STATUS, Result, Workspace, check, check_equal, finish,
                     long_tune)
from pulse import PulseServer

BINARY = os.path.abspath(BINARY)  # the runs below start in other directories

PRELOAD = os.environ.get("FAILING_CALLS", "build/libfailing_calls.so")

BANNER = ("Marrowtide B5.1, September 2006\n"
          "compiled by root at Fri Oct 16 10:23:48 UTC 2026 on FreeBSD\n")
SHELL_LINES = (">>> Launching the command interpreter...\n"
               ">>> Type 'help' and <ENTER> to get a list of available commands.\n"
               ">>> Configure the advanced features with the 'setadvanced' command.\n")

# Half a second of music: with the null driver it renders at once.
TUNE = """format it
name Any Input
channels 4
speed 3
tempo 125
sample square 16 64 loop beep
instrument 1 beeper
pattern 0 16
note 0 0 C-4 1
note 8 1 G-4 1
order 0 0 0 0
""" + "".join(f"message line {n} of the song text\n" for n in range(60))

LONG_TUNE = long_tune("Any Input Long")
STOP_NOTICE = "[press any key to stop playlist]"
QUIT_WARNING = ">>> WARNING: playlist will be deleted. are you sure [y/n]? "


def limit_output():
    # Runs in the child: a program printing without end is killed (SIGXFSZ) at 1 MiB.
    resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))


def run_redirected(ws, args, stdin_mode, stdout_mode="file", env=None, timeout=30):
    """Runs the binary with standard input closed ("closed"), write-only on /dev/null
    ("write-only"), on /dev/null, on an ended pipe ("pipe") or on a regular file holding
    the bytes given; stdout_mode "closed" closes standard output. Output goes to files of
    at most 1 MiB. Returns a Result (status -N for a signal, None after the timeout)."""
    out_path, err_path = ws.path("run.out"), ws.path("run.err")
    full_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home, **(env or {})}
    redirects = {"closed": "<&-", "write-only": "0>/dev/null", "devnull": "</dev/null"}
    script = 'exec "$@"'
    stdin = subprocess.DEVNULL
    if isinstance(stdin_mode, bytes):
        path = ws.path("input.txt")
        with open(path, "wb") as f:
            f.write(stdin_mode)
        stdin = open(path, "rb")
    elif stdin_mode == "pipe":
        stdin = subprocess.PIPE
    else:
        script += " " + redirects[stdin_mode]
    if stdout_mode == "closed":
        script += " >&-"
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        process = subprocess.Popen(["sh", "-c", script, "sh", BINARY, *args], stdin=stdin,
                                   stdout=out, stderr=err, env=full_env, cwd=ws.root,
                                   preexec_fn=limit_output)
        if stdin_mode == "pipe":
            process.stdin.close()
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            status = None
    if stdin not in (subprocess.DEVNULL, subprocess.PIPE):
        stdin.close()
    with open(out_path, "rb") as out, open(err_path, "rb") as err:
        return Result(status, out.read().decode("latin-1"), err.read().decode("latin-1"))


def test_shell_without_input(ws):
    # Whatever the input, its end ends the shell as quit does, after one prompt.
    prompt = f"marrowtide[{ws.root}]% "
    for mode in ("closed", "write-only", "devnull", "pipe", b""):
        r = run_redirected(ws, [], mode, timeout=10)
        check_equal((r.status, r.out, r.err), (0, BANNER + SHELL_LINES + prompt + "\n", ""),
                    f"the shell with input {mode!r} ends at once, status 0")


def test_playing_without_input(ws):
    tune = ws.module("tune.it", TUNE)
    reference = run_redirected(ws, [tune, "-O", "null"], "pipe")
    full = len(STATUS.findall(reference.out))
    check(reference.status == 0 and full > 20 and "Paused" not in reference.out,
          "an ended pipe: the song plays to its end", reference)
    for mode in ("closed", "write-only", "devnull", b""):
        r = run_redirected(ws, [tune, "-O", "null"], mode)
        check_equal((r.status, r.err, "Paused" in r.out, len(STATUS.findall(r.out))),
                    (0, "", False, full), f"input {mode!r}: no key, the whole song plays")
    # A byte to read is a key, even on a regular file: the pause menu reads the rest.
    r = run_redirected(ws, [tune, "-O", "null"], b"x\nS\n")
    check(r.status == 0 and r.out.count("option? ") == 2 and len(STATUS.findall(r.out)) < full,
          "a file holding keys pauses; its S stops", r)


def test_closed_output_descriptors(ws):
    tune = ws.module("tune.it", TUNE)
    names = ws.path("names.txt")
    r = run_redirected(ws, [tune, "-s", names], "closed")
    with open(names) as f:
        listed = f.read()
    check(r.status == 0 and listed == "  1. beep\n" and "beep" not in r.out, "input closed: -s writes its list to the file", (r, listed))
    wave = ws.path("song.wav")
    r = run_redirected(ws, [tune, "-o", wave], "devnull")
    with open(wave, "rb") as f:
        expected = f.read()
    os.remove(wave)
    r = run_redirected(ws, [tune, "-o", wave], "devnull", stdout_mode="closed")
    with open(wave, "rb") as f:
        written = f.read()
    check(r.status == 0 and written == expected and len(written) > 1000,
          "output closed: the WAVE file holds the audio alone", (r, len(written), len(expected)))


def test_long_lines(ws):
    tune = ws.module("tune.it", TUNE)
    prompt = f"marrowtide[{ws.root}]%"
    # A command line over the limit is reported once, naming the prompt, and skipped.
    huge = "v" * (1024 * 1024 + 1)
    r = ws.run("-q", stdin=f"{huge}\nversion\n".encode())
    check_equal((r.status, r.err, r.out.count("Marrowtide B5.1")),
                (0, f">>> WARNING: {prompt}: line too long\n", 1),
                "a console line over 1 MiB: reported once, the next line runs")
    # A playlist that never ends its first line: reported once, the menu goes on.
    report = ">>> WARNING: /dev/zero: line too long\n"
    script = "playlist\nb\n/dev/zero\nv\nq\ny\nversion\n"
    measure = ("import resource, subprocess, sys\n"
               "subprocess.run(sys.argv[1:], stdin=sys.stdin, stdout=subprocess.DEVNULL,"
               " stderr=sys.stderr)\n"
               "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    try:
        # A reader that grows without bound takes a gigabyte in 16 s: it is stopped sooner.
        done = subprocess.run(["python3", "-c", measure, BINARY, "-q"], input=script.encode(),
                              capture_output=True, timeout=10, cwd=ws.root,
                              # The leak checker of a sanitizer build cannot run under ptrace.
                              env={"HOME": ws.home, "PATH": os.environ["PATH"],
                                   "ASAN_OPTIONS": "detect_leaks=0"})
    except subprocess.TimeoutExpired:
        check(False, "b /dev/zero ends")
        return
    peak_kib = int(done.stdout.decode() or 0)
    check_equal((done.returncode, done.stderr.decode()), (0, report + QUIT_WARNING),
                "b /dev/zero: one report, and the menu goes on")
    baseline = subprocess.run(["python3", "-c", measure, BINARY, "-q"], input=b"version\n",
                              capture_output=True, env={"HOME": ws.home,
                                                        "PATH": os.environ["PATH"]}, timeout=30)
    grown = peak_kib - int(baseline.stdout.decode() or 0)
    check(grown < 16 * 1024, f"and its memory stays bounded (grew {grown} KiB)")
    # A playlist file: the lines before a line over the limit are kept.
    listing = ws.path("list.txt")
    with open(listing, "w") as f:
        f.write(f"{tune}\n{'w' * (1024 * 1024 + 5)}\n{tune}\n")
    r = ws.run("-q", stdin=f"playlist\nb\n{listing}\nv\nq\ny\n".encode())
    check_equal((r.status, r.err, r.out.count("Any Input [IT]")),
                (0, f">>> WARNING: {listing}: line too long\n" + QUIT_WARNING, 2),
                "a playlist file keeps the lines before the long one")


def test_block_reads(ws):
    # 16 lines of 256 KiB through a pipe: a block per read, not a byte.
    strace = shutil.which("strace")
    check(strace is not None, "strace is installed (scripts/install-deps)")
    if strace is None:
        return
    trace = ws.path("reads.trace")
    lines = "".join(f"#{chr(97 + n) * (256 * 1024)}\n" for n in range(16)) + "quit\n"
    try:
        done = subprocess.run([strace, "-o", trace, "-e", "trace=read", BINARY, "-q"],
                              input=lines.encode(), capture_output=True, timeout=60,
                              # The leak checker of a sanitizer build cannot run under ptrace.
                              env={"HOME": ws.home, "PATH": os.environ["PATH"],
                                   "ASAN_OPTIONS": "detect_leaks=0"})
    except subprocess.TimeoutExpired:
        check(False, "4 MiB of input are read within the minute")
        return
    with open(trace) as f:
        reads = [line for line in f if line.startswith("read(0,")]
    check(done.returncode == 0 and 64 <= len(reads) <= 1000,
          f"4 MiB of input take a few hundred reads at most ({len(reads)} reads, "
          f"status {done.returncode})")


def test_settings_file_kinds(ws):
    reference = ws.run("-q", stdin=b"config\n")
    settings = ws.settings_file()
    makers = [
        ("a named pipe", lambda: os.mkfifo(settings)),
        ("a directory", lambda: os.mkdir(settings)),
        ("a link to /dev/zero", lambda: os.symlink("/dev/zero", settings)),
    ]
    for what, make in makers:
        make()
        try:
            r = ws.run("-V", timeout=10)
            check_equal((r.status, r.out), (0, BANNER), f"{what} as the settings file: -V")
            r = ws.run("-q", stdin=b"config\n", timeout=10)
            check_equal(r.out, reference.out, f"{what} as the settings file: the defaults")
        except subprocess.TimeoutExpired:
            check(False, f"{what} as the settings file: the program starts")
        if os.path.isdir(settings) and not os.path.islink(settings):
            os.rmdir(settings)
        else:
            os.remove(settings)


def test_write_that_takes_nothing(ws):
    tune = ws.module("tune.it", TUNE)
    for option, name, after in (("-o", "song.wav", 100), ("-s", "names.txt", 0)):
        env = {"LD_PRELOAD": PRELOAD, "MARROWTIDE_FAIL_WRITE_AFTER": str(after),
               "MARROWTIDE_FAIL_WRITE_AS": "zero",
               "ASAN_OPTIONS": "verify_asan_link_order=0:detect_leaks=0"}
        r = run_redirected(ws, [tune, option, ws.path(name), "-q"], "devnull", env=env,
                           timeout=20)
        check(r.status is not None and ">>> ERROR: " in r.err,
              f"{option}: a write that takes nothing is reported as failed", r)


def home_env(ws, extra=None):
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home, "TERM": "xterm"}
    env.update(extra or {})
    return env


def version_still_answers(term, prompt, what):
    # The shell still waits for the user: a command typed now is run by it.
    term.send_line("version")
    try:
        term.expect(BANNER)
        term.expect(prompt)
    except terminal.TerminalError as error:
        raise terminal.TerminalError(f"{what}: {error}") from None


def test_ctrl_d_at_every_question(ws):
    tune = ws.module("tune.it", TUNE)
    prompt = f"marrowtide[{ws.root}]% "
    item_menu = "v) VIEW ITEMS\nq) QUIT\noption> "
    with terminal.spawn([BINARY, "-O", "null", "-i", tune], env=home_env(ws),
                        cwd=ws.root) as term:
        term.expect(prompt)
        steps = [
            ("the export file name", ["export"], "[press enter to cancel]? ", [], prompt),
            ("the export format", ["export", "x.wav"], "format> ", [], prompt),
            ("a dialogue question", ["setadvanced"], "Reverb Depth [0-100]? ",
             ["Reverb Delay in ms. [40-200]? "] + ["\r"] * 8, prompt),
            ("the pager", ["message"], "...press ENTER to continue (",
             ["...press ENTER to continue (", "\r"], prompt),
            ("the playlist's file name", ["playlist", "b"], "filename> ", [], prompt),
        ]
        for what, lines, question, after, back in steps:
            for line in lines:
                term.send_line(line)
            term.expect(question)
            term.send("\x04")
            for item in after:
                if item == "\r":
                    term.send(item)
                else:
                    term.expect(item)
            term.expect(back)
            version_still_answers(term, prompt, f"Ctrl-D at {what}: the next question waits")
        # The item menu keeps its unsaved list: Ctrl-D is only its empty answer.
        for line in ["playlist", "c", "n", tune]:
            term.send_line(line)
        term.expect(item_menu)
        term.expect(item_menu)
        term.send("\x04")
        term.expect(item_menu)
        term.send_line("v")
        term.expect("   0: Any Input [IT]\n")
        term.send_line("q")
        term.expect("are you sure [y/n]? ")
        term.send("\x04")  # no answer is no yes
        term.expect(item_menu)
        term.send_line("q")
        term.send_line("y")
        term.expect(prompt)
        version_still_answers(term, prompt, "Ctrl-D in the item menu keeps the playlist")
        term.send("\x04")  # on the empty shell prompt: the end, as quit
        check_equal(term.wait(5), 0, "Ctrl-D at the empty shell prompt ends with status 0")
        check(term.terminal_mode_after_exit(), "the terminal is left in its normal mode")


def bash_session(ws, extra_env=None):
    env = home_env(ws, {"PS1": "bash$ ", "HISTFILE": "/dev/null", **(extra_env or {})})
    term = terminal.spawn(["bash", "--norc", "--noprofile", "-i"], env=env, cwd=ws.root)
    term.expect("bash$ ")
    return term


def test_nothing_leaks_to_the_parent_shell(ws):
    tune = ws.module("tune.it", TUNE)
    with bash_session(ws) as term:
        term.send_line(f"{BINARY} -q -O null -i {tune}")
        term.expect(f"marrowtide[{ws.root}]% ")
        term.send_line("export")
        term.expect("[press enter to cancel]? ")
        term.send("\x04")
        term.expect(f"marrowtide[{ws.root}]% ")
        term.send_line("echo LEAKED_$((6*7))")
        term.expect("echo: invalid command")
        term.send_line("quit")
        term.expect("bash$ ")
        term.send_line("echo status $?")
        term.expect("status 0")
        check("LEAKED_42" not in term.text(), "a line typed after Ctrl-D stays with the program",
              term.tail(400))
        term.send_line("exit")
        term.wait(5)


def test_background_job(ws, server):
    tune = ws.module("long.xm", LONG_TUNE)
    with bash_session(ws, server.client_env()) as term:
        term.send_line(f"{BINARY} {tune} -O pulse &")
        # Still playing after two seconds in the background: never stopped.
        term.expect(re.compile(r">>> \{0:0[2-9]\}"), timeout=15)
        term.send_line("jobs")
        term.expect(re.compile(r"\[1\]\+\s+Running"))
        check("Stopped" not in term.text(), "the background job is never stopped", term.tail())
        term.send_line("fg")
        term.expect(f"{BINARY} {tune} -O pulse\n")
        term.expect(STATUS)
        term.send("x")  # in the foreground, keys work again
        term.expect(PAUSE_MENU)
        term.send("\r")
        term.expect("\noption? ")
        term.send_line("S")
        term.expect("bash$ ")
        term.send_line("echo status $?")
        term.expect("status 0")
        term.send_line("exit")
        term.wait(5)


def test_ctrl_d_at_the_pause_menu(ws, server):
    tune = ws.module("long.xm", LONG_TUNE)
    env = home_env(ws, server.client_env())
    with terminal.spawn([BINARY, tune, "-O", "pulse"], env=env, cwd=ws.root) as term:
        term.expect(STATUS)
        term.send("x")
        term.expect(PAUSE_MENU)
        term.send("\r")  # the answer "x": asked again
        term.expect("\noption? ")
        term.send("\x04")  # the empty answer: resume
        term.expect(">>> Playing \n(any key to pause)\n")
        term.expect(STATUS)
        term.send("p")
        term.expect(PAUSE_MENU)
        term.send("\r")
        term.expect("\noption? ")
        term.send_line("S")
        check_equal(term.wait(10), 0, "Ctrl-D at the pause menu resumes; S then stops")
        check(term.terminal_mode_after_exit(), "the terminal is left in its normal mode")


def wait_for_raw_mode(term, timeout=5):
    deadline = time.monotonic() + timeout
    while term.terminal_mode().canonical:
        if time.monotonic() > deadline:
            raise term._failure("the terminal never went into raw mode")
        time.sleep(0.005)


def test_signals_in_raw_mode(ws):
    tune = ws.module("tune.it", TUNE)
    prompt = f"marrowtide[{ws.root}]% "
    cases = [
        ("SIGHUP", signal.SIGHUP, 0, ">>> \n[exiting by signal 1]\n"),
        ("SIGTERM", signal.SIGTERM, 0, ">>> \n[exiting by signal 15]\n"),
        ("SIGQUIT", signal.SIGQUIT, -signal.SIGQUIT, None),
    ]
    for what, sig, status, message in cases:
        with terminal.spawn([BINARY, "-O", "null"], env=home_env(ws), cwd=ws.root) as term:
            term.expect(prompt)
            for line in ["playlist", "c", "n", tune, "p"]:
                term.send_line(line)
            term.expect(STOP_NOTICE)
            wait_for_raw_mode(term)  # the two-second wait for a key
            term.kill(sig)
            check_equal(term.wait(5), status, f"{what} in the playlist's key wait: the status")
            if message is not None:
                check(term.text().endswith(message), f"{what}: the exit message", term.tail(80))
            check(term.terminal_mode().normal, f"{what}: the terminal's modes are restored")
    with terminal.spawn([BINARY, "-O", "null"], env=home_env(ws), cwd=ws.root) as term:
        term.expect(prompt)
        term.kill(signal.SIGHUP)
        check_equal(term.wait(5), 0, "SIGHUP at the shell prompt: status 0")
        check(term.text().endswith(">>> \n[exiting by signal 1]\n"), "SIGHUP: the message",
              term.tail(80))


with Workspace() as ws:
    for test in (test_shell_without_input, test_playing_without_input,
                 test_closed_output_descriptors, test_long_lines, test_block_reads,
                 test_settings_file_kinds, test_write_that_takes_nothing,
                 test_ctrl_d_at_every_question, test_nothing_leaks_to_the_parent_shell,
                 test_signals_in_raw_mode):
        try:
            test(ws)
        except (terminal.TerminalError, subprocess.TimeoutExpired) as error:
            check(False, f"{test.__name__}: {error}")
with Workspace() as ws, PulseServer() as server:
    for test in (test_background_job, test_ctrl_d_at_the_pause_menu):
        try:
            test(ws, server)
        except (terminal.TerminalError, subprocess.TimeoutExpired) as error:
            check(False, f"{test.__name__}: {error}")
finish()
