"""The shell's export menu and text commands on the real binary."""

import os

from harness import Workspace, check, check_equal, finish

TUNE = """format it
name Menu Tune
channels 4
sample square 16 64 loop lead
sample saw 16 64 loop bass
instrument 1 Lead
pattern 0 16
note 0 0 C-4 1
note 8 1 C-3 1
message Hello
message World
"""

MENU = """
Available formats:
[select an option, or press ENTER to cancel]
================ Audio export options =================
a) Export audio as WAVE (WAV), 16-bit
b) Export audio as Audio IFF (AIFF), 16-bit
c) Export audio as Audio IFF (AIFF), 24-bit
d) Export audio as Audio IFF (AIFF), 32-bit
e) Export audio as raw system-endian 16-bit PCM
f) Export audio as raw little-endian 16-bit PCM
g) Export audio as raw big-endian 16-bit PCM

=============== Module export options =================
h) Convert to Impulse Tracker (IT)

=======================================================
(audio will be exported using current sound options)
format> """

ASK = "Export to filename [press enter to cancel]? "


def session(ws, tune, lines):
    text = "".join(line + "\n" for line in [f"open {tune}"] + lines)
    r = ws.run("-q", stdin=text.encode())
    return r, r.out.split(f"marrowtide[{ws.root}]% ")


def test_menu():
    with Workspace() as ws:
        tune = ws.module("menu.it", TUNE)
        r, parts = session(ws, tune, ["export", "out.wav  ", "abc"])
        check_equal(parts[2], ASK + MENU, "the file name question and the menu, byte for byte")
        wav = ws.path("out.wav")
        check(os.path.exists(wav) and open(wav, "rb").read(4) == b"RIFF",
              "'abc' runs the WAVE entry; the name's trailing blanks are gone")
        r, parts = session(ws, tune, ["export", "again.raw", " a", "A", "q", "f"])
        check_equal(parts[2], ASK + MENU * 4, "' a', 'A' and 'q' show the menu again")
        check_equal(open(ws.path("again.raw"), "rb").read(), open(wav, "rb").read()[44:],
                    "f: little-endian raw, the WAVE's samples")
        r, parts = session(ws, tune, ["export", "   ", "help"])
        check_equal(parts[2], ASK, "a blank file name cancels before any menu")
        check(parts[3].startswith("Commands available"), "and the next line is a command")
        r, parts = session(ws, tune, ["export", "cancelled.wav", "", "help"])
        check_equal(parts[2], ASK + MENU, "an empty answer cancels")
        check(not os.path.exists(ws.path("cancelled.wav")), "nothing is written")
        r, parts = session(ws, tune, ["export", "x.it", "h"])
        check_equal(r.err, ">>> ERROR: ModPlug compiled without 'save' support\n"
                           ">>> ERROR: Error while exporting!\n", "h always fails")
        reason = "CAN'T open(\"{}\"): No such file or directory\n"
        r, parts = session(ws, tune, ["export", ws.path("no/dir/x.wav"), "a"])
        check_equal(r.err, ">>> ERROR: " + reason.format(ws.path("no/dir/x.wav")) +
                    ">>> ERROR: Error while exporting!\n", "a failed WAVE export, reason first")
        r, parts = session(ws, tune, ["export", ws.path("no/dir/x.aiff"), "c"])
        check_equal((r.err, parts[2].endswith("format> Error while exporting!\n")),
                    (">>> ERROR: " + reason.format(ws.path("no/dir/x.aiff")), True),
                    "a failed AIFF export is reported on standard output, its reason on error")
        for letter, bits in [("b", 16), ("c", 24), ("d", 32)]:
            name = ws.path(f"menu{bits}.aiff")
            session(ws, tune, ["export", name, letter])
            data = open(name, "rb").read() if os.path.exists(name) else b""
            check(data[:4] == b"FORM" and data[8:12] == b"AIFF", f"{letter}: an AIFF file")
        r, parts = session(ws, tune, ["export"])
        check_equal(parts[2], ASK, "end of input at the file name question cancels")
        r, parts = session(ws, tune, ["export", "eof.wav"])
        check_equal(parts[2], ASK + MENU, "end of input at the menu cancels")


def test_text_commands():
    with Workspace() as ws:
        tune = ws.module("menu.it", TUNE)
        r, parts = session(ws, tune, ["message", "samples", "instruments"])
        check_equal(parts[2], "Hello\nWorld\n", "message pages the song text")
        check_equal(parts[3], "  1. lead\n  2. bass\n", "samples")
        check_equal(parts[4], "  1. Lead\n", "instruments")
        plain = ws.module("plain.mod", "format mod\nname Plain\nsample square 16 64 loop x\n"
                                       "pattern 0\nnote 0 0 C-4 1\n")
        r, parts = session(ws, plain, ["message", "instruments"])
        check_equal(parts[2:4], ["No message is available...\n", "Song has no instruments.\n"],
                    "the notices for missing texts")
        r = ws.run("-q", stdin=b"message\nsamples\ninstruments\nexport\n")
        check_equal(r.err, "".join(f">>> WARNING: {c}: no module loaded\n"
                                   for c in ["message", "samples", "instruments", "export"]),
                    "the text commands and export need a module")


test_menu()
test_text_commands()
finish()
