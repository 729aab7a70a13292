"""Texts chosen by whoever made a module file: on the screen no control character of theirs
reaches the terminal (titles, names, the message, in every view), while the files written
from them keep the bytes as the decoder gives them; long messages still give AIFF files that
every reader opens."""

import os
import re

from audio_files import aifc_frames, aiff_chunks, sndfile_read
from harness import Workspace, check, check_equal, finish

ESC = "\x1b"
BEL = "\x07"
NEXT_LINE = "\u0085"  # a C1 control, two bytes in UTF-8

# Names hold the escapes the terminal would act on: colours, a window title, a clear screen.
HOSTILE = f"""format it
name {ESC}[31mRed{BEL}Title{NEXT_LINE}x
sample square 16 64 loop {ESC}[1mBold{NEXT_LINE}\x7f
sample saw 16 64 loop plain saw
instrument 1 {ESC}]0;owned{BEL}{NEXT_LINE}
instrument 2 Lead
pattern 0 16
note 0 0 C-4 1
order 0
message first line {ESC}[2J cleared
message second{NEXT_LINE}line\x7f end
"""

# The header probe gives the title's bytes as they stand; the decoder blanks the bytes
# below 32 in names itself, but lets the others through.
SHOWN_TITLE = "?[31mRed?Title?x"
DECODED_TITLE = f" [31mRed Title{NEXT_LINE}x"


def controls(text):
    """The control characters in text other than line feeds, as the screen would get them."""
    return re.findall(r"[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]", text)


def test_screen(ws):
    tune = ws.module("hostile.it", HOSTILE)
    folder = os.path.dirname(tune)
    lines = [f"open {tune}", "info", "message", "samples", "instruments", "ls",
             "playlist", "a", "v", "q", "y"]
    r = ws.run(stdin="".join(line + "\n" for line in lines).encode(), cwd=folder)
    check_equal(controls(r.out), [], "no control character of the module reaches the screen")
    titles = re.findall(r"^\| +\[31mRed Title\?x +\|$", r.out, re.M)
    check_equal(len(titles), 2, "the decoder's title in the tables at open and info")
    table = [line for line in r.out.split("\n") if line.startswith(("+", "|"))][:14]
    check(len(table) == 14 and len({len(line) for line in table}) == 1,
          "the table's frame is measured on the title as shown", "\n".join(table))
    check("first line ?[2J cleared\nsecond?line? end\n" in r.out,
          "the message keeps its line breaks, each control a '?'", r.out)
    check("  1.  [1mBold??\n  2. plain saw\n" in r.out, "sample names", r.out)
    check("  1. ?]0;owned??\n  2. Lead\n" in r.out, "instrument names", r.out)
    check(f"+ hostile.it: <{SHOWN_TITLE}> [IT, " in r.out, "the listing's title", r.out)
    check(re.search(r"   \d: " + re.escape(SHOWN_TITLE) + r" \[IT\]\n", r.out) is not None,
          "the playlist view's title", r.out)


def test_files_keep_the_bytes(ws):
    tune = ws.module("hostile.it", HOSTILE)
    message, samples, instruments = ws.path("m.txt"), ws.path("s.txt"), ws.path("i.txt")
    r = ws.run(tune, "-q", "-m", message, "-s", samples, "-I", instruments)
    check_equal(r.status, 0, "the text jobs")
    with open(message, "rb") as f:
        check_equal(f.read(), f"first line {ESC}[2J cleared\nsecond{NEXT_LINE}line\x7f end"
                    .encode(), "-m writes the message as the decoder gives it")
    with open(samples, "rb") as f:
        check_equal(f.read(), f"  1.  [1mBold{NEXT_LINE}\x7f\n  2. plain saw\n".encode(),
                    "-s writes the names as the decoder gives them")
    with open(instruments, "rb") as f:
        check_equal(f.read(), f"  1. {ESC}]0;owned{BEL}{NEXT_LINE}\n  2. Lead\n".encode(),
                    "-I writes the names as the decoder gives them")
    aiff = ws.path("hostile.aiff")
    r = ws.run(tune, "-q", "-o", aiff)
    chunks = dict(aiff_chunks(aiff))
    check_equal(chunks.get("NAME"), DECODED_TITLE.encode(),
                "the AIFF's NAME holds the name as the decoder gives it")
    check_equal(chunks.get("ANNO"), f"first line {ESC}[2J cleared\nsecond{NEXT_LINE}line\x7f end"
                .encode(), "the AIFF's ANNO holds the message's bytes")


def long_message_tune(size):
    line = "0123456789" * 9 + "abcdefgh"  # 98 characters and the line break: 99 bytes
    count = size // 99
    return "format it\nname Long Text\nsample square 16 64 loop beep\npattern 0 16\n" \
           "note 0 0 C-4 1\norder 0\n" + "".join(f"message {line}\n" for _ in range(count))


def test_long_messages(ws):
    plain = ws.path("plain.aiff")
    r = ws.run(ws.module("plain.it", long_message_tune(0)), "-q", "-o", plain)
    frames = aifc_frames(plain)
    check(r.status == 0 and frames, "a song without a message exports", r)
    for size in (10000, 60000):
        tune = ws.module(f"long{size}.it", long_message_tune(size))
        out = ws.path(f"long{size}.aiff")
        r = ws.run(tune, "-q", "-o", out)
        length = size // 99 * 99 - 1
        check_equal((r.status, r.err),
                    (0, f">>> WARNING: the song message has {length} bytes; the AIFF file "
                        "keeps its first 8189\n"), f"{size} bytes: one warning line")
        read = sndfile_read(out)
        check(read is not None and read[0] == frames, f"{size} bytes: libsndfile opens the "
              "file with every frame", read)
        check_equal(aifc_frames(out), frames, f"{size} bytes: aifc reads every frame")
        anno = dict(aiff_chunks(out)).get("ANNO", b"")
        check(len(anno) == 8189 and read is not None and read[3] == anno,
              f"{size} bytes: the message's first 8189 bytes are stored and read back")


with Workspace() as ws:
    test_screen(ws)
    test_files_keep_the_bytes(ws)
    test_long_messages(ws)
finish()
