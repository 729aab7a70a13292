"""The compressed exports, the loop count and the fade on the real binary: every format by
extension, by -f name and from the menu, checked by libsndfile and by each format's own
tools; -l and -F against the same exports without them; the shell's loops and fadeout."""

import ctypes
import os
import signal
import subprocess
import time

from harness import BINARY, Workspace, check, check_equal, finish

# An intro order and two orders that the last one's B01 jumps back to. Every order lasts
# 32 rows of 6 ticks at tempo 125: 3.84 s.
LOOPING = """format it
name Listener Loop
channels 2
message For the road
message and the archive
sample saw 37 7 loop lead
pattern 0 32
seq 0 0 4 1 C-4 E-4 G-4 C-5 G-4 E-4 C-4 E-4
pattern 1 32
seq 0 0 4 1 D-4 F-4 A-4 D-5 A-4 F-4 D-4 F-4
pattern 2 32
seq 1 0 4 1 E-5 G-5 B-5 G-5 E-5 G-5 B-5 G-5
note 31 0 --- - B01
order 0 1 2
"""
ORDER_SECONDS = 3.84
RATE = 44100

# libsndfile's reader, through ctypes: the format, rate, channels and every sample.
SNDFILE = ctypes.CDLL("libsndfile.so.1")
SFM_READ = 0x10
SF_STR_TITLE = 1
SF_STR_COMMENT = 5


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


SNDFILE.sf_open.restype = ctypes.c_void_p
SNDFILE.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
SNDFILE.sf_read_int.restype = ctypes.c_int64
SNDFILE.sf_read_int.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
SNDFILE.sf_get_string.restype = ctypes.c_char_p
SNDFILE.sf_get_string.argtypes = [ctypes.c_void_p, ctypes.c_int]
SNDFILE.sf_close.argtypes = [ctypes.c_void_p]

FORMATS = {  # libsndfile's major format and subtype
    "flac": 0x170002, "flac24": 0x170003, "vorbis": 0x200060, "opus": 0x200064,
    "mp3": 0x230082, "wav": 0x010002, "aiff24": 0x020003,
}


class Sound:
    def __init__(self, path):
        info = SfInfo()
        handle = SNDFILE.sf_open(path.encode(), SFM_READ, ctypes.byref(info))
        self.ok = handle is not None
        self.format = self.rate = self.channels = self.frames = 0
        self.samples = []
        self.title = self.comment = None
        if not self.ok:
            return
        self.format, self.rate, self.channels = info.format, info.samplerate, info.channels
        self.frames = info.frames
        count = info.frames * info.channels
        buffer = (ctypes.c_int * count)()
        SNDFILE.sf_read_int(handle, buffer, count)
        self.samples = list(buffer)
        title = SNDFILE.sf_get_string(handle, SF_STR_TITLE)
        comment = SNDFILE.sf_get_string(handle, SF_STR_COMMENT)
        self.title = title.decode() if title else None
        self.comment = comment.decode() if comment else None
        SNDFILE.sf_close(handle)


def tool_accepts(*command):
    done = subprocess.run(command, capture_output=True)
    return done.returncode == 0, done.stdout.decode("latin-1") + done.stderr.decode("latin-1")


def test_every_format_by_name_and_extension():
    with Workspace() as ws:
        song = ws.module("loop.it", LOOPING)
        r = ws.run(song, "-q", "-o", ws.path("ref.wav"))
        check_equal(r.status, 0, "the WAVE export to compare with")
        r = ws.run(song, "-q", "-o", ws.path("ref.aiff"), "-f", "aiff24")
        check_equal(r.status, 0, "the 24-bit AIFF export to compare with")
        wave, aiff = Sound(ws.path("ref.wav")), Sound(ws.path("ref.aiff"))
        cases = [  # words after the song, the file, its format, its rate
            (["-o", "song.flac"], "song.flac", "flac", RATE),
            (["-o", "SONG.FLAC"], "SONG.FLAC", "flac", RATE),
            (["-o", "song.flac", "-f", "flac24"], "song.flac", "flac24", RATE),
            (["-o", "song.ogg"], "song.ogg", "vorbis", RATE),
            (["-o", "song.oga"], "song.oga", "vorbis", RATE),
            (["-o", "song.opus"], "song.opus", "opus", 48000),
            (["-o", "song.mp3"], "song.mp3", "mp3", RATE),
            (["-o", "named", "-f", "vorbis"], "named", "vorbis", RATE),
            (["-f", "opus", "-o", "song.Opus"], "song.Opus", "opus", 48000),
            (["-o", "song.wav", "-f", "mp3"], "song.wav", "mp3", RATE),
        ]
        for words, name, kind, rate in cases:
            what = " ".join(words)
            path = ws.path(name)
            r = ws.run(song, *[ws.path(w) if w == name else w for w in words])
            check_equal(r.status, 0, f"{what}: status")
            check_equal(r.err, "", f"{what}: nothing on standard error")
            check(r.out.endswith(" bytes written  \r>>> \ndone!\n"),
                  f"{what}: the progress line and the end", r)
            says = "Ogg Opus, rendered at 48 kHz" if kind == "opus" else None
            if says:
                check(f">>> Exporting audio as {says} ('{path}')\n" in r.out,
                      f"{what}: says it renders at 48 kHz", r)
            sound = Sound(path)
            check(sound.ok, f"{what}: libsndfile reads it")
            check_equal((sound.format, sound.rate, sound.channels), (FORMATS[kind], rate, 2),
                        f"{what}: format, rate and channels")
            check_equal((sound.title, sound.comment),
                        ("Listener Loop", "For the road\nand the archive"), f"{what}: the tags")
            seconds = sound.frames / rate
            check(3 * ORDER_SECONDS - 0.01 < seconds < 3 * ORDER_SECONDS + 0.3,
                  f"{what}: the song's length", seconds)
            if kind == "flac":
                check(sound.samples == wave.samples, f"{what}: the WAVE export's samples")
                ok, said = tool_accepts("flac", "-t", "-s", path)
                check(ok, f"{what}: flac -t accepts it", said)
            if kind == "flac24":
                check(sound.samples == aiff.samples, f"{what}: the 24-bit AIFF's samples")
                ok, said = tool_accepts("flac", "-t", "-s", path)
                check(ok, f"{what}: flac -t accepts it", said)
            if kind == "vorbis":
                ok, said = tool_accepts("ogginfo", path)
                check(ok and "WARNING" not in said, f"{what}: ogginfo accepts it", said)
            if kind == "opus":
                ok, said = tool_accepts("opusinfo", path)
                check(ok and "WARNING" not in said, f"{what}: opusinfo accepts it", said)
            os.remove(path)


def test_loops_and_fade():
    with Workspace() as ws:
        song = ws.module("loop.it", LOOPING)
        lengths = {}
        for loops in ("0", "1"):
            r = ws.run(song, "-q", "-l", loops, "-o", ws.path(f"l{loops}.wav"))
            check_equal(r.status, 0, f"-l {loops}")
            lengths[loops] = Sound(ws.path(f"l{loops}.wav")).frames
        # The loop twice: the two looped orders once more, give or take the last chunk.
        added = (lengths["1"] - lengths["0"]) / RATE
        check(abs(added - 2 * ORDER_SECONDS) < 0.12, "-l 1 plays the loop twice", added)

        for out in ("lf.wav", "lf.flac"):
            r = ws.run(song, "-q", "-l", "1", "-F", "10", "-o", ws.path(out))
            check_equal(r.status, 0, f"-l 1 -F 10 to {out}")
            faded = Sound(ws.path(out))
            plain = Sound(ws.path("l1.wav"))
            check_equal(len(faded.samples), len(plain.samples), f"{out}: the same length")
            first = (plain.frames - 10 * RATE) * 2
            check(faded.samples[:first] == plain.samples[:first],
                  f"{out}: sample for sample the same up to the fade")
            fade = 10 * RATE
            worst = max(abs(faded.samples[i] - plain.samples[i] * (fade - (i // 2 - first // 2)) / fade)
                        for i in range(first, len(plain.samples)))
            check(worst <= 65536, f"{out}: the gain falls linearly to nothing", worst)
            tail = plain.samples[len(plain.samples) - fade // 2:]
            check(max(abs(v) for v in tail) > 100 * 65536,
                  f"{out}: the song still sounds in the fade's second half")

        for words in (["-o", "endless.flac"], ["-o", "endless.wav"], ["-o", "endless.aiff"]):
            r = ws.run(song, "-l", "-1", *[ws.path(w) if "." in w else w for w in words])
            check_equal((r.status, r.err), (2, ">>> ERROR: CAN'T export an endless loop\n"
                                               ">>> ERROR: export failed!\n"),
                        f"-l -1 {words[1]} is refused")
            check(not os.path.exists(ws.path(words[1])), f"-l -1 {words[1]}: nothing written")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def test_endless_playback_until_a_signal():
    with Workspace() as ws:
        song = ws.module("loop.it", LOOPING)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home}
        # The null driver does not pace playback: the song once takes a few hundredths
        # of a second, so a playback still going after a whole second of work loops.
        process = subprocess.Popen([BINARY, song, "-q", "-O", "null", "-l", "-1"],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=env)
        try:
            while process.poll() is None and cpu_seconds(process.pid) < 1.0:
                time.sleep(0.05)
            check(process.poll() is None, "-l -1 plays on and on")
            process.send_signal(signal.SIGTERM)
            out, err = process.communicate(timeout=30)
            check_equal((process.returncode, err), (0, b""), "a signal ends it as always")
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()


def test_shell_commands_and_menu():
    with Workspace() as ws:
        song = ws.module("loop.it", LOOPING)
        lines = ["loops", "loops 2", "loops", "loops twice", "loops", "fadeout", "fadeout 2.5",
                 "fadeout", "fadeout -1", "fadeout", "loops 0", "fadeout 0"]
        r = ws.run("-q", stdin="".join(line + "\n" for line in lines).encode())
        check_equal(r.out.replace(f"marrowtide[{ws.root}]% ", ""),
                    "loops: 0\nloops: 2\nloops: 2\nfadeout: 0\nfadeout: 2.5\nfadeout: 2.5\n\n",
                    "loops and fadeout print and set")
        check_equal(r.err, "usage: loops [<count>]\nusage: fadeout [<seconds>]\n",
                    "a word that is no count or no seconds gives the usage")

        letters = {"i": "flac", "j": "flac24", "k": "vorbis", "l": "opus", "m": "mp3"}
        script = [f"open {song}"]
        for letter in letters:
            script += ["export", ws.path(f"menu-{letter}"), letter]
        # The loop count and the fade reach the menu's exports too.
        script += ["loops 1", "fadeout 3", "export", ws.path("menu-faded"), "i",
                   "loops -1", "export", ws.path("menu-endless"), "k"]
        r = ws.run("-q", stdin="".join(line + "\n" for line in script).encode())
        for letter, kind in letters.items():
            sound = Sound(ws.path(f"menu-{letter}"))
            check_equal((sound.ok, sound.format), (True, FORMATS[kind]), f"menu entry {letter}")
        plain = Sound(ws.path("menu-i"))
        faded = Sound(ws.path("menu-faded"))
        check(faded.frames > plain.frames + 2 * ORDER_SECONDS * RATE - 6000,
              "loops 1 lengthens the menu's export", (plain.frames, faded.frames))
        check_equal(r.err, ">>> ERROR: CAN'T export an endless loop\n"
                           ">>> ERROR: Error while exporting!\n",
                    "an endless loop is refused from the menu as entry a's failures are")
        check(not os.path.exists(ws.path("menu-endless")), "nothing written for it")


test_every_format_by_name_and_extension()
test_loops_and_fade()
test_endless_playback_until_a_signal()
test_shell_commands_and_menu()
finish()
