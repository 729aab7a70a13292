"""The shell's line editor on a pseudo-terminal: editing keys, the up key and the '!'
forms on one history, Tab completion of command words and file names (at the shell
prompt and at the questions for a file name), the ends by Ctrl-D, Ctrl-C and SIGTERM with
the terminal's settings as they were; and through a pipe, the same keys as plain bytes."""

import os
import re
import signal

import terminal
from harness import BINARY, Workspace, check, check_equal, finish

VERSION = "Marrowtide B5.1, September 2006\n"
BANNER = VERSION + "compiled by root at Fri Oct 16 10:23:48 UTC 2026 on FreeBSD\n"
SHELL_LINES = (">>> Launching the command interpreter...\n"
               ">>> Type 'help' and <ENTER> to get a list of available commands.\n"
               ">>> Configure the advanced features with the 'setadvanced' command.\n")
EXPORT_QUESTION = "Export to filename [press enter to cancel]? "
FILENAME = "filename> "
ITEM_MENU_END = "q) QUIT\noption> "

CTRL_A, CTRL_C, CTRL_D, CTRL_E, CTRL_U, CTRL_W = "\x01", "\x03", "\x04", "\x05", "\x15", "\x17"
LEFT, RIGHT, UP, DOWN = "\x1b[D", "\x1b[C", "\x1b[A", "\x1b[B"
HOME, END, BACKSPACE, TAB = "\x1b[H", "\x1b[F", "\x7f", "\t"


def tune(title):
    return (f"format xm\nname {title}\nchannels 4\nsample square 16 64 loop beep\n"
            "instrument 1 beeper\npattern 0 16\nnote 0 0 C-4 1\n")


def environment(ws):
    return {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home, "TERM": "xterm",
            "LANG": "C.UTF-8"}


def start(ws):
    term = terminal.spawn([BINARY, "-O", "null"], env=environment(ws), cwd=ws.root)
    prompt = f"marrowtide[{ws.root}]% "
    term.expect(prompt)
    return term, prompt


def remembered(term, prompt):
    """What the shell remembered of the line just run, as '!' prints it."""
    term.send_line("!")
    return term.expect(re.compile(r"!\n(.*)\n" + re.escape(prompt))).group(1)


def test_editing_keys_and_history(ws):
    edits = [
        ("vrsion" + CTRL_A + RIGHT + "e", "version"),
        ("ersion" + HOME + "v" + END + " x", "version x"),
        ("verZsion" + LEFT * 4 + BACKSPACE, "version"),
        ("ersion" + CTRL_A + "v" + CTRL_E + " y", "version y"),
        ("volume 10 junk" + CTRL_W + "20", "volume 10 20"),
        ("garbage" + CTRL_U + "volume 30", "volume 30"),
        ("volume 40X" + LEFT + CTRL_D, "volume 40"),  # Ctrl-D on a line deletes, not ends
    ]
    term, prompt = start(ws)
    with term:
        check(not term.terminal_mode().canonical, "the prompt reads keys, not lines",
              term.terminal_mode())
        for keys, line in edits:
            term.send_line(keys)
            term.expect(prompt)
            check_equal(remembered(term, prompt), line, f"keys {keys!r} give the line")

        # The up key walks back from the newest line; a blank line is passed over but
        # stays the newest for '!'.
        for line in ["volume 50", "volume 60", ""]:
            term.send_line(line)
            term.expect(prompt)
        check_equal(remembered(term, prompt), "", "'!' after an empty line prints it")
        term.send_line(UP + UP)
        term.expect(prompt)
        check_equal(remembered(term, prompt), "volume 50", "two ups recall the line before last")
        term.send_line("volume")
        term.expect("volume: 50\n" + prompt)
        term.send_line(UP + UP + UP + DOWN)
        term.expect(prompt)
        check_equal(remembered(term, prompt), "volume 50", "down walks forward again")
        term.send_line(UP + CTRL_U + "version")
        shown = term.expect(prompt)
        term.send_line("!!")
        again = term.expect(prompt)
        check_equal((term.text()[:shown.start()].endswith(BANNER),
                     term.text()[shown.end():again.start()].endswith("!!\n" + BANNER)),
                    (True, True), "an edited recalled line runs and '!!' repeats it")
        term.send_line("quit")
        check_equal(term.wait(), 0, "quit ends the session")


def test_completion_at_the_prompt(ws):
    ws.module("Long Song.xm", tune("Long Song"))
    ws.module("tune-a.xm", tune("Tune A"))
    ws.module("tune-b.xm", tune("Tune B"))
    ws.module("\u00dcber.xm", tune("Uber Song"))
    os.mkdir(ws.path("tunes"))
    term, prompt = start(ws)
    with term:
        term.send_line("vers" + TAB)
        term.expect(VERSION)
        term.expect(prompt)
        check_equal(remembered(term, prompt), "version ", "a command word is completed")
        term.send("re" + TAB + TAB)
        term.expect(re.compile(r"\nresampling +reset +reverb *\n"))
        term.send(CTRL_U)

        term.send_line("open Lo" + TAB)
        term.expect("Long Song")
        term.expect(prompt)
        check_equal(remembered(term, prompt), "open Long Song.xm ",
                    "a file name with a blank is completed whole, unquoted")
        term.send("open tu" + TAB + TAB)
        term.expect(re.compile(r"\ntune-a\.xm +tune-b\.xm +tunes/ *\n"))
        term.send_line("-b" + TAB)
        term.expect("Tune B")
        term.expect(prompt)
        check_equal(remembered(term, prompt), "open tune-b.xm ",
                    "the second Tab lists, typing on completes the one wanted")
        # Typed UTF-8 stays whole through the editor and its completion.
        term.send("open \u00dcb".encode("utf-8") + b"\t\r")
        term.expect("Uber Song")
        term.expect(prompt)
        check_equal(remembered(term, prompt), "open \u00dcber.xm ".encode("utf-8").decode("latin-1"),
                    "a name with a non-ASCII letter is completed")
        term.send_line("cd tunes" + TAB)
        term.expect(f"marrowtide[{ws.path('tunes')}]% ")
        term.send_line("quit")
        check_equal(term.wait(), 0, "quit ends the session")


def test_completion_at_file_questions(ws):
    first = ws.module("tune-a.xm", tune("Tune A"))
    ws.module("tune-b.xm", tune("Tune B"))
    os.mkdir(ws.path("outdir"))
    with open(ws.path("saved-list.txt"), "w") as playlist:
        playlist.write(first + "\n")
    term, prompt = start(ws)
    with term:
        term.send_line("open tune-a.xm")
        term.expect(prompt)
        term.send_line("export")
        term.expect(EXPORT_QUESTION)
        term.send_line("out" + TAB + "song.wav")
        term.expect("format> ")
        term.send_line("a")
        term.expect(prompt)
        with open(ws.path("outdir/song.wav"), "rb") as wav:
            check_equal(wav.read(4), b"RIFF", "the export question completed the directory")

        term.send_line("playlist")
        term.expect("option> ")
        term.send_line("b")
        term.expect(FILENAME)
        term.send_line("saved" + TAB)
        term.expect("   0: Tune A [XM]\n")
        term.expect(ITEM_MENU_END)
        term.send_line("n")
        term.expect(FILENAME)
        term.send_line("tune-b" + TAB)
        term.expect(ITEM_MENU_END)
        term.send_line("s")
        term.expect(FILENAME)
        term.send_line("saved" + TAB)
        term.expect(ITEM_MENU_END)
        term.send_line("q")
        term.expect("[y/n]? ")
        term.send_line("y")
        term.expect(prompt)
        term.send_line("quit")
        check_equal(term.wait(), 0, "quit ends the session")
    with open(ws.path("saved-list.txt")) as playlist:
        names = [os.path.basename(line) for line in playlist.read().splitlines()]
    check_equal(names, ["tune-a.xm", "tune-b.xm"],
                "load, new item and save took the completed names, nothing added")


def test_typed_ahead_and_ctrl_d_at_a_question(ws):
    ws.module("tune-a.xm", tune("Tune A"))
    term, prompt = start(ws)
    with term:
        term.send_line("open tune-a.xm")
        term.expect(prompt)
        # Ctrl-D at a question other than the prompt is its empty answer and no more: the
        # prompt after it waits for the user.
        term.send_line("export")
        term.expect(EXPORT_QUESTION)
        term.send(CTRL_D)
        term.expect(prompt)
        check(os.listdir(ws.root).count("typed.wav") == 0, "Ctrl-D cancelled the export")
        # Lines pasted in one go, the format question's plain answer among the edited
        # ones: every line reaches the question it was meant for.
        lines = ["export", "typed.wav", "a", "version", "volume 70", "!"]
        term.send("".join(line + "\r" for line in lines))
        term.expect(re.compile(r"!\nvolume 70\n" + re.escape(prompt)))
        check(BANNER in term.text(), "the version ran after the export", term.tail(400))
        term.send_line("quit")
        check_equal(term.wait(), 0, "quit ends the session")
    with open(ws.path("typed.wav"), "rb") as wav:
        check_equal(wav.read(4), b"RIFF", "the pasted export wrote its file")


def test_ends_restore_the_terminal(ws):
    cases = [
        ("Ctrl-D on an empty line", [CTRL_D], None, 0, "^D\n"),
        ("Ctrl-C in a half-typed line", ["vers", CTRL_C], None, 0,
         ">>> \n[exiting by signal 2]\n"),
        ("SIGTERM at the prompt", ["vers"], signal.SIGTERM, 0, ">>> \n[exiting by signal 15]\n"),
        ("Ctrl-C at a file name question", ["playlist\r", "c\r", "n\r", "tu", CTRL_C], None, 0,
         ">>> \n[exiting by signal 2]\n"),
    ]
    for what, keys, sig, status, ending in cases:
        term, prompt = start(ws)
        with term:
            for key in keys:
                if key.endswith("\r"):
                    term.send(key)
                    term.expect(FILENAME if key == "n\r" else "option> ")
                else:
                    term.send(key)
            if sig is not None:
                term.expect(keys[-1])
                term.kill(sig)
            check_equal(term.wait(), status, f"{what}: exit status")
            check(term.text().endswith(ending), f"{what}: ends with {ending!r}", term.tail(200))
            check_equal(term.terminal_settings(), term.settings_at_start,
                        f"{what}: the terminal's settings are as the program found them")


def test_pipe_takes_the_keys_as_bytes(ws):
    # At a pipe no editor runs: Tab and an arrow key are characters of the line, and the
    # program writes no escape code of its own.
    lines = ["vers" + TAB, UP, "!!", "!", "version"]
    r = ws.run(stdin="".join(line + "\n" for line in lines).encode("latin-1"))
    prompt = f"marrowtide[{ws.root}]% "
    check_equal(r.out, BANNER + SHELL_LINES + prompt * 4 + UP + "\n" + prompt + BANNER + prompt
                + "\n", "the prompts, the '!' line and the version, nothing else")
    check_equal(r.err, ">>> WARNING: vers: invalid command\nTry: `help'\n"
                + (f">>> WARNING: {UP}: invalid command\nTry: `help'\n") * 2,
                "the Tab is trimmed, the arrow's bytes are the command word")


for test in [test_editing_keys_and_history, test_completion_at_the_prompt,
             test_completion_at_file_questions, test_typed_ahead_and_ctrl_d_at_a_question,
             test_ends_restore_the_terminal,
             test_pipe_takes_the_keys_as_bytes]:
    with Workspace() as ws:
        test(ws)
finish()
