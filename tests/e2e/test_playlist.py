"""The shell's playlist on the real binary: its two menus byte for byte, every item
operation, the reports of the playlist results, the end of input at every prompt, and
playing a saved playlist item after item through the null driver (through a pipe, and on
a pseudo-terminal where a key stops the playlist or a signal ends the program)."""

import os
import re
import signal
import subprocess
import time

import terminal
from harness import BINARY, Result, Workspace, check, check_equal, finish

START_MENU = ("[select an option, or press ENTER to cancel]\n"
              "a) Import playlist from current dir.\n"
              "b) Load a saved playlist\n"
              "c) New Playlist\n"
              "option> ")
ITEM_MENU = ("[select an option, or press ENTER to cancel]\n"
             "p) PLAY\n"
             "s) SAVE\n"
             "n) NEW ITEM\n"
             "d) DELETE ITEM\n"
             "m) MOVE ITEM\n"
             "v) VIEW ITEMS\n"
             "q) QUIT\n"
             "option> ")
FILENAME = "filename> "
DELETE = "delete item number [first item is 0; press ENTER to cancel]? "
MOVE_FROM = "move item number [first item is 0; press ENTER to cancel]? "
MOVE_TO = "new position for the item [start at 0; ENTER to cancel]? "
NO_ITEM = "couldn`t find such playlist item!"
QUIT_QUESTION = ">>> WARNING: playlist will be deleted. are you sure [y/n]? "
STOP_NOTICE = "[press any key to stop playlist]\n"
PLAYING = "Playing \n(any key to pause)\n"
NO_FILE = "No such file or directory"

# File name, song title, the kind print_playlist names: one fixture of each of three formats.
FIXTURES = [
    ("alpha.it", "Alpha Impulse", "IT"),
    ("beta.xm", "Beta Extended", "XM"),
    ("gamma.s3m", "Gamma Scream", "S3M"),
]


def tune(name, title):
    kind = name.rsplit(".", 1)[1]
    lines = [f"format {kind}", f"name {title}", "channels 4", "sample square 16 64 loop beep"]
    if kind in ("xm", "it"):
        lines.append("instrument 1 beeper")
    lines += ["pattern 0 16", "note 0 0 C-4 1", "note 8 0 G-4 1"]
    return "\n".join(lines) + "\n"


# The title line of an information table's box (the cells below begin without a blank).
TABLE_TITLE = re.compile(r"^\| +(\S.*?) +\|$", re.M)
SHELL_PROMPT = re.compile(r"marrowtide\[[^\]\n]*\]% ")
TIMED_OUT = "<the run did not end>"


class Fixtures:
    """A directory holding the three fixture modules, in the order readdir gives them."""

    def __init__(self, ws, name="mods", prepare=None):
        self.directory = os.path.realpath(ws.path(name))
        os.mkdir(self.directory)
        if prepare is not None:
            prepare(self.directory)
        by_name = {}
        for file_name, title, kind in FIXTURES:
            path = os.path.join(self.directory, file_name)
            ws.module(path, tune(file_name, title))
            by_name[file_name] = (path, title, kind)
        # os.listdir returns the entries in readdir order, the order an import sees.
        self.items = [by_name[n] for n in os.listdir(self.directory) if n in by_name]

    def listing(self, order=None):
        items = self.items if order is None else [self.items[i] for i in order]
        return "".join(f"{i:4d}: {title} [{kind}]\n" for i, (_, title, kind) in enumerate(items))


def run_shell(ws, lines, cwd=None, tail="\n", env=None, timeout=10):
    """Runs the shell with lines as its input (the last one ended by tail); returns the
    result and the outputs between the shell prompts (parts[1]: the first command's).
    A run that does not end within timeout is a failure; its outputs then read TIMED_OUT."""
    text = "\n".join(lines) + tail
    try:
        r = ws.run("-O", "null", stdin=text.encode(), cwd=cwd, env=env, timeout=timeout)
    except subprocess.TimeoutExpired:
        check(False, f"the run ends within {timeout} s", lines)
        return Result(None, TIMED_OUT, TIMED_OUT), [TIMED_OUT] * 4
    return r, SHELL_PROMPT.split(r.out)


def test_menus(ws, mods):
    cases = [
        ("ENTER", [""]),
        ("an unknown letter", ["x"]),
        ("a capital A", ["A"]),
        ("a blank first", [" a"]),
        ("b, then ENTER at the file name", ["b", ""]),
    ]
    for what, answers in cases:
        r, parts = run_shell(ws, ["playlist", *answers, "version"], cwd=mods.directory)
        expected = START_MENU + (FILENAME if answers[0] == "b" else "")
        check_equal((parts[1], r.err), (expected, ""), f"first menu, {what}: leaves at once")
        check(parts[2].startswith("Marrowtide B5.1"), f"{what}: the next line is a command",
              parts[2])

    r, parts = run_shell(ws, ["playlist", "c", "", "   ", "z", "P", "q", "y", "version"])
    check_equal(parts[1], START_MENU + ITEM_MENU * 5,
                "c: an empty list; ENTER, blanks, unknown and capital letters show the menu again")
    check_equal(r.err, QUIT_QUESTION, "q asks on standard error")
    check(parts[2].startswith("Marrowtide B5.1"), "q, y leaves the command", parts[2])

    path, title, kind = mods.items[0]
    one_item = f"   0: {title} [{kind}]\n"
    # The answer to the quit question, and whether the list and its menu stay.
    for answer, kept in [("y", False), ("yes", False), ("Y", True), ("n", True), ("", True),
                         (" y", True)]:
        r, parts = run_shell(ws, ["playlist", "c", "n", path, "q", answer, "v"])
        head = START_MENU + ITEM_MENU + FILENAME + ITEM_MENU
        if kept:
            check_equal((parts[1], r.err), (head + ITEM_MENU + one_item + ITEM_MENU,
                                            QUIT_QUESTION),
                        f"quit answered {answer!r}: the list and the menu stay")
        else:
            check_equal((parts[1], r.err),
                        (head, QUIT_QUESTION + ">>> WARNING: v: invalid command\nTry: `help'\n"),
                        f"quit answered {answer!r}: the command ends, v goes to the shell")

    r, parts = run_shell(ws, ["playlist", "c", "p", "play", "v"])
    check_equal((parts[1], r.err), (START_MENU + ITEM_MENU * 4, ""),
                "p on an empty list returns at once, nothing is played")
    r, parts = run_shell(ws, ["playlist", "c", "n", path, "P", "Play", "v"])
    check_equal(parts[1], START_MENU + ITEM_MENU + FILENAME + ITEM_MENU * 3 + one_item +
                ITEM_MENU, "the choice is case-sensitive: P and Play play nothing")


def test_import_and_edit(ws, mods):
    listing = mods.listing()
    imported = START_MENU + listing + ITEM_MENU
    r, parts = run_shell(ws, ["playlist", "a", "v"], cwd=mods.directory)
    check_equal((parts[1], r.err), (imported + listing + ITEM_MENU, ""),
                "a imports the directory in readdir order; v lists it again")

    # d: the answer, then the order of the items left.
    for answer, left in [("0", [1, 2]), ("2", [0, 1]), (" 1", [0, 2]), ("1abc", [0, 2]),
                         ("x", [1, 2]), ("-2", [1, 2])]:
        r, parts = run_shell(ws, ["playlist", "a", "d", answer, "v"], cwd=mods.directory)
        check_equal((parts[1], r.err), (imported + DELETE + ITEM_MENU + mods.listing(left) +
                                        ITEM_MENU, ""), f"d {answer!r} deletes, as listed")
    r, parts = run_shell(ws, ["playlist", "a", "d", "7", "3", "1", "v"], cwd=mods.directory)
    check_equal((parts[1], r.err),
                (imported + (DELETE + NO_ITEM + "\n") * 2 + DELETE + ITEM_MENU +
                 mods.listing([0, 2]) + ITEM_MENU, ""),
                "d past the end: the notice on standard output, and the question again")
    r, parts = run_shell(ws, ["playlist", "a", "d", "7", "", "v"], cwd=mods.directory)
    check_equal(parts[1], imported + DELETE + NO_ITEM + "\n" + DELETE + ITEM_MENU + listing +
                ITEM_MENU, "ENTER after a miss deletes nothing")

    # m: the two answers, the order afterwards, and whether the move is refused.
    for source, target, order, refused in [
        ("2", "0", [2, 0, 1], False), ("0", "2", [1, 2, 0], False),
        ("0", "1", [1, 0, 2], False), ("1", "1", [0, 1, 2], False),
        ("x", "2", [1, 2, 0], False), ("0", "7", [0, 1, 2], True),
        ("7", "0", [0, 1, 2], True), ("3", "-1", [0, 1, 2], True),
    ]:
        r, parts = run_shell(ws, ["playlist", "a", "m", source, target, "v"],
                             cwd=mods.directory)
        error = f">>> ERROR: {NO_ITEM}\n" if refused else ""
        check_equal((parts[1], r.err), (imported + MOVE_FROM + MOVE_TO + ITEM_MENU +
                                        mods.listing(order) + ITEM_MENU, error),
                    f"m {source} {target}")
    for answers, asked in [([""], MOVE_FROM), (["1", ""], MOVE_FROM + MOVE_TO)]:
        r, parts = run_shell(ws, ["playlist", "a", "m", *answers, "v"], cwd=mods.directory)
        check_equal((parts[1], r.err), (imported + asked + ITEM_MENU + listing + ITEM_MENU, ""),
                    f"m cancelled with ENTER after {len(answers) - 1} answers")

    # s writes every path and a line feed; ENTER cancels; a failure names the file.
    saved = ws.path("saved.lst")
    r, parts = run_shell(ws, ["playlist", "a", "m", "0", "2", "s", saved], cwd=mods.directory)
    paths = [mods.items[i][0] for i in [1, 2, 0]]
    with open(saved) as f:
        check_equal(f.read(), "".join(p + "\n" for p in paths), "s saves the paths in order")
    r, parts = run_shell(ws, ["playlist", "a", "s", "", "v"], cwd=mods.directory)
    check_equal(parts[1], imported + FILENAME + ITEM_MENU + listing + ITEM_MENU,
                "s with ENTER saves nothing")
    bad = ws.path("no/such/dir/list")
    r, parts = run_shell(ws, ["playlist", "a", "s", bad], cwd=mods.directory)
    check_equal(r.err, f">>> ERROR: I/O error: {bad}: {NO_FILE}\n", "a failed save")

    # b loads a saved list; a missing file is reported and leaves an empty list.
    r, parts = run_shell(ws, ["playlist", "b", saved, "v"])
    check_equal((parts[1], r.err), (START_MENU + FILENAME + mods.listing([1, 2, 0]) + ITEM_MENU +
                                    mods.listing([1, 2, 0]) + ITEM_MENU, ""), "b loads the list")
    r, parts = run_shell(ws, ["playlist", "b", "missing.lst", "v"])
    check_equal((parts[1], r.err), (START_MENU + FILENAME + ITEM_MENU * 2,
                                    f">>> ERROR: I/O error: missing.lst: {NO_FILE}\n"),
                "b with a missing file: reported, and the item menu with an empty list")


def test_new_items(ws, mods):
    (first, first_title, first_kind), (second, second_title, second_kind) = mods.items[:2]
    saved = ws.path("new.lst")
    relative = os.path.basename(second)
    r, parts = run_shell(ws, ["playlist", "c", "n", first, "n", relative + " \t ", "n",
                              "not-there.it", "n", "", "v", "s", saved], cwd=mods.directory)
    check_equal((parts[1], r.err),
                (START_MENU + ITEM_MENU + (FILENAME + ITEM_MENU) * 4 +
                 f"   0: {first_title} [{first_kind}]\n   1: {second_title} [{second_kind}]\n" +
                 ITEM_MENU + FILENAME + ITEM_MENU, ""),
                "n adds named files; a missing file or ENTER adds nothing and prints nothing")
    with open(saved) as f:
        check_equal(f.read(), f"{first}\n{mods.directory}/{relative}\n",
                    "a relative name is joined to the directory, its trailing blanks gone")

    # A name far longer than any fixed buffer is joined whole (and names no file).
    long_name = "x" * 5000
    r, parts = run_shell(ws, ["playlist", "c", "n", long_name, "v"], cwd=mods.directory)
    check_equal((parts[1], r.err), (START_MENU + ITEM_MENU + FILENAME + ITEM_MENU * 2, ""),
                "a very long missing name adds nothing")


def test_unknown_directory(ws, mods):
    gone = ws.path("gone")
    os.mkdir(gone)
    path, title, kind = mods.items[0]
    r, parts = run_shell(ws, [f"exec rmdir {gone}", "playlist", "a", "n", "rel.it", "n", path,
                              "v"], cwd=gone)
    check_equal(parts[2], START_MENU + ITEM_MENU + FILENAME + ITEM_MENU + FILENAME + ITEM_MENU +
                f"   0: {title} [{kind}]\n" + ITEM_MENU,
                "unknown directory: a imports nothing, n takes only an absolute name")
    check_equal(r.err, f">>> ERROR: CAN'T get the current directory: {NO_FILE}\n"
                       ">>> ERROR: \"rel.it\" is relative and the current directory is unknown\n",
                "both are reported")


def test_unexaminable_entry(ws):
    # A dangling link: stat fails with ENOENT. Made before the modules, under names tried
    # until readdir gives it after at least one module (readdir order depends on the file
    # system), so that the items imported before it show.
    for attempt, name in enumerate(["dangling", "broken-link", "nowhere", "lost", "zz", "k2"]):
        def make_link(directory):
            os.symlink(os.path.join(directory, "no-target"), os.path.join(directory, name))
        mods = Fixtures(ws, f"broken{attempt}", make_link)
        entries = os.listdir(mods.directory)
        if entries.index(name) > 0:
            break
    before = [i for i, (p, _, _) in enumerate(mods.items)
              if entries.index(os.path.basename(p)) < entries.index(name)]
    check(len(before) > 0, "the link comes after a module in readdir order", entries)
    r, parts = run_shell(ws, ["playlist", "a", "v"], cwd=mods.directory)
    check_equal((parts[1], r.err),
                (START_MENU + mods.listing(before) + ITEM_MENU + mods.listing(before) + ITEM_MENU,
                 f">>> ERROR: I/O error: {mods.directory}: {NO_FILE}\n"),
                "an entry that cannot be examined: reported; the items before it stay")


def test_end_of_input(ws, mods):
    imported = START_MENU + mods.listing() + ITEM_MENU
    quiet = ""
    # The input, how its last line ends, what the command prints, what standard error gets.
    cases = [
        (["playlist"], "\n", START_MENU, quiet),
        (["playlist"], "", START_MENU, quiet),
        (["playlist", "b"], "\n", START_MENU + FILENAME, quiet),
        (["playlist", "c"], "\n", START_MENU + ITEM_MENU, quiet),
        (["playlist", "c", "x"], "", START_MENU + ITEM_MENU * 2, quiet),
        (["playlist", "c", ""], "\n", START_MENU + ITEM_MENU * 2, quiet),
        (["playlist", "c", "s"], "\n", START_MENU + ITEM_MENU + FILENAME + ITEM_MENU, quiet),
        (["playlist", "c", "n"], "\n", START_MENU + ITEM_MENU + FILENAME + ITEM_MENU, quiet),
        (["playlist", "a", "d"], "\n", imported + DELETE + ITEM_MENU, quiet),
        (["playlist", "a", "d", "7"], "\n",
         imported + DELETE + NO_ITEM + "\n" + DELETE + ITEM_MENU, quiet),
        (["playlist", "a", "d", "7"], "", imported + DELETE + NO_ITEM + "\n" + ITEM_MENU, quiet),
        (["playlist", "a", "m"], "\n", imported + MOVE_FROM + ITEM_MENU, quiet),
        (["playlist", "a", "m", "1"], "\n", imported + MOVE_FROM + MOVE_TO + ITEM_MENU, quiet),
        (["playlist", "a", "q"], "\n", imported + ITEM_MENU, QUIT_QUESTION),
        (["playlist", "a", "q", "n"], "\n", imported + ITEM_MENU, QUIT_QUESTION),
    ]
    for lines, tail, expected, err in cases:
        what = f"end of input after {lines[1:]} ({'a line feed' if tail else 'no line feed'})"
        r, parts = run_shell(ws, lines, cwd=mods.directory, tail=tail)
        check_equal((r.status, parts[1:], r.err), (0, [expected, "\n"], err),
                    f"{what}: the command and the shell end")


def test_play_saved_playlist(ws, mods):
    saved = ws.path("played.lst")
    # Imported, the last item moved to the front, saved; then loaded in a fresh run.
    r, parts = run_shell(ws, ["playlist", "a", "m", "2", "0", "s", saved, "q", "y"],
                         cwd=mods.directory)
    check_equal(r.err, QUIT_QUESTION, "import, move and save without an error")
    order = [mods.items[i] for i in [2, 0, 1]]
    with open(saved) as f:
        check_equal(f.read(), "".join(p + "\n" for p, _, _ in order), "the saved order")

    # The input ends after "play": no key can come, so every item plays.
    r, parts = run_shell(ws, ["playlist", "b", saved, "play"])
    check_equal((r.status, r.err), (0, ""), "the playlist plays without an error")
    out = parts[1]
    head = START_MENU + FILENAME + mods.listing([2, 0, 1]) + ITEM_MENU
    check_equal(out[:len(head)], head, "b loads the saved order")
    segments = out[len(head):].split(STOP_NOTICE)
    check(len(segments) == 4, "a stop notice after each item", out[-300:])
    for index, (segment, (path, title, kind)) in enumerate(zip(segments, order)):
        check_equal(TABLE_TITLE.findall(segment), [title], f"item {index}: {title}'s table")
        check_equal(segment.count(PLAYING), 1, f"item {index}: played once")
        check(-1 < segment.find(title) < segment.find(PLAYING), f"item {index}: table, then play")
    check_equal(segments[-1], ITEM_MENU, "then the item menu again")
    return saved, order


def terminal_env(ws):
    # Freed memory is overwritten at once, so that a path still used after its item was
    # freed shows as a wrong path rather than by luck as the right one.
    return {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home, "TERM": "xterm",
            "MALLOC_PERTURB_": "165"}


def start_playlist(term, prompt, saved, order):
    term.expect(prompt)
    term.send_line("playlist")
    term.expect(START_MENU)
    term.send_line("b")
    term.expect(FILENAME)
    term.send_line(saved)
    listing = "".join(f"{i:4d}: {title} [{kind}]\n" for i, (_, title, kind) in enumerate(order))
    term.expect(listing + ITEM_MENU)


def test_key_stops_playlist(ws, saved, order):
    prompt = f"marrowtide[{ws.root}]% "
    with terminal.spawn([BINARY, "-O", "null"], env=terminal_env(ws), cwd=ws.root) as term:
        start_playlist(term, prompt, saved, order)
        term.send_line("p")
        started = term.expect(STOP_NOTICE).start()
        term.send("k")
        menu = term.expect(ITEM_MENU)
        played = term.text()[:menu.end()]
        check_equal(TABLE_TITLE.findall(played), [order[0][1]],
                    "a key after the first item: only its table was shown")
        check_equal((played.count(PLAYING), played.count(STOP_NOTICE)), (1, 1),
                    "and the next item did not play")
        check("Playing" not in played[started:], "nothing plays after the notice")
        check(term.terminal_mode().normal, "the item menu reads in the normal terminal mode")
        term.send("\r")  # the key (not consumed) and ENTER make one answer: the menu again
        term.expect(ITEM_MENU)

        # The loaded module borrows the path of item 0; deleting that item must leave the
        # module a path of its own.
        term.send_line("d")
        term.expect(DELETE)
        term.send_line("0")
        term.expect(ITEM_MENU)
        term.send_line("v")
        rest = "".join(f"{i:4d}: {title} [{kind}]\n" for i, (_, title, kind) in
                       enumerate(order[1:]))
        term.expect(rest + ITEM_MENU)
        term.send_line("q")
        term.expect("are you sure [y/n]? ")
        term.send_line("y")
        term.expect(prompt)
        term.send_line("info")
        info = term.expect(prompt)
        check_equal(TABLE_TITLE.findall(term.text()[started:info.start()]), [order[0][1]],
                    "info still shows the deleted item's module")
        module_file = order[0][0]
        before = open(module_file, "rb").read()
        term.send_line("export")
        term.expect("Export to filename [press enter to cancel]? ")
        term.send_line(module_file)
        term.expect("format> ")
        term.send_line("a")
        refused = term.expect(prompt)
        check("CAN'T export onto the module file itself" in term.text()[info.end():refused.start()],
              "the export guard still knows the module's file", term.tail(300))
        check(open(module_file, "rb").read() == before, "the module file is unchanged")
        wav = ws.path("after-delete.wav")
        term.send_line("export")
        term.expect("Export to filename [press enter to cancel]? ")
        term.send_line(wav)
        term.expect("format> ")
        term.send_line("a")
        term.expect(prompt)
        check(os.path.exists(wav) and open(wav, "rb").read(4) == b"RIFF",
              "the module exports after its item was deleted")

        # A new playlist after the old one was cleared.
        path, title, kind = order[1]
        term.send_line("playlist")
        term.expect(START_MENU)
        term.send_line("c")
        term.expect(ITEM_MENU)
        term.send_line("n")
        term.expect(FILENAME)
        term.send_line(path)
        term.expect(ITEM_MENU)
        term.send_line("v")
        term.expect(f"   0: {title} [{kind}]\n" + ITEM_MENU)
        term.send_line("q")
        term.expect("are you sure [y/n]? ")
        term.send_line("y")
        term.expect(prompt)
        term.send_line("quit")
        check_equal(term.wait(timeout=10), 0, "the session ends normally")
        errors = re.findall(r">>> ERROR: .*", term.text())
        check_equal(errors, [f">>> ERROR: CAN'T export onto the module file itself "
                             f"(\"{module_file}\")", ">>> ERROR: Error while exporting!"],
                    "no error but the refused export")


def in_key_wait(pid):
    """True while the process sleeps in select (the playlist's wait for a key)."""
    with open(f"/proc/{pid}/wchan") as f:
        return f.read().startswith(("poll_schedule_timeout", "do_select"))


def test_signal_while_waiting(ws, saved, order):
    prompt = f"marrowtide[{ws.root}]% "
    # At once after the notice (the short pause before the wait), and in the wait itself.
    for sig, in_wait in [(signal.SIGINT, False), (signal.SIGTERM, True), (signal.SIGINT, True)]:
        what = f"{signal.Signals(sig).name} {'in' if in_wait else 'before'} the wait for a key"
        with terminal.spawn([BINARY, "-O", "null"], env=terminal_env(ws), cwd=ws.root) as term:
            start_playlist(term, prompt, saved, order)
            term.send_line("p")
            notice = term.expect(STOP_NOTICE)
            if in_wait:
                deadline = time.monotonic() + 1.5
                while not in_key_wait(term.pid) and time.monotonic() < deadline:
                    time.sleep(0.001)
                check(in_key_wait(term.pid), f"{what}: the program waits in select")
            sent = time.monotonic()
            term.kill(sig)
            status = term.wait(timeout=5)
            took = time.monotonic() - sent
            check_equal(status, 0, f"{what}: exit status 0")
            check(took < 1.0, f"{what}: ends at once ({took:.2f} s)")
            check_equal(term.text()[notice.end():], f">>> \n[exiting by signal {int(sig)}]\n",
                        f"{what}: the exit message and nothing else")
            check_equal(term.text().count(PLAYING), 1, f"{what}: no further item played")
            check(term.terminal_mode_after_exit(), f"{what}: terminal left in normal mode")


with Workspace() as ws:
    fixtures = Fixtures(ws)
    test_menus(ws, fixtures)
    test_import_and_edit(ws, fixtures)
    test_new_items(ws, fixtures)
    test_unknown_directory(ws, fixtures)
    test_unexaminable_entry(ws)
    test_end_of_input(ws, fixtures)
    saved_list, played_order = test_play_saved_playlist(ws, fixtures)
    for test in (test_key_stops_playlist, test_signal_while_waiting):
        try:
            test(ws, saved_list, played_order)
        except terminal.TerminalError as error:
            check(False, f"{test.__name__}: {error}")
finish()
