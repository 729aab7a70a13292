"""Collections: the one-line JSON description of -j against the information table and the
-s, -I and -m files, and a collection converted and indexed with GNU parallel, each result
equal to the program run on one file at a time."""

import codecs
import json
import os
import subprocess

from harness import BINARY, Workspace, check, check_equal, finish

# The format the collection is converted to: any extension the program exports.
EXTENSION = "wav"

KEYS = ["file", "title", "format", "length_ms", "channels", "patterns", "samples",
        "instruments", "message"]

# Module texts are UTF-8 where their bytes form it and ISO-8859-1 byte by byte elsewhere.
codecs.register_error("module-latin-1",
                      lambda e: (e.object[e.start:e.start + 1].decode("latin-1"), e.start + 1))


def module_text(data):
    return data.decode("utf-8", errors="module-latin-1")


# name: (description, title as the decoder gives it, format as the table shows it)
FIXTURES = {
    "plain.mod": (b"format mod\nname Plain Mod\nsample square 16 64 loop Kick\n"
                  b"sample saw 16 64\nsample noise 1 400 decay Snare\npattern 0 16\n"
                  b"note 0 0 C-3 1\nnote 8 1 G-3 3\n", "Plain Mod", "Amiga Module (MOD)"),
    "latin.s3m": (b"format s3m\nname Caf\xe9 \x1b[31mNoir\nsample square 16 64 Cr\xe8me \x07bell\n"
                  b"sample saw 16 64 b\npattern 0 16\nnote 0 0 C-4 1\nnote 4 1 E-4 2\n",
                  "Caf\u00e9  [31mNoir", "Scream Tracker 3 (S3M)"),
    "utf8.xm": (("format xm\nname \u00dcber Song\nsample square 16 64 lead\n"
                 "sample noise 1 400 decay kick\ninstrument 1 Lead \x07\u266a\ninstrument 2 Drums\n"
                 "pattern 0 16\nnote 0 0 C-4 1\nnote 4 1 C-4 2\n").encode(),
                "\u00dcber Song", "Extended Module (XM)"),
    "untitled.xm": (b"format xm\nname\nsample square 16 64\npattern 0 16\nnote 0 0 C-4 1\n", "",
                    "Extended Module (XM)"),
    "message.it": (b"format it\nname Message Song\nsample square 16 64 loop beep\n"
                   b"instrument 1 Bell\npattern 0 16\nnote 0 0 C-5 1\n"
                   b"message First \x01line\tend\nmessage Second \xff line caf\xc3\xa9\n"
                   b"message\nmessage last\n", "Message Song", "Impulse Tracker (IT)"),
    "samples only.it": (b"format it\nname Sample Mode\nsample square 16 64 one\n"
                        b"sample saw 16 64 two\npattern 0 16\nnote 0 0 C-5 1\nnote 8 0 C-5 2\n",
                        "Sample Mode", "Impulse Tracker (IT)"),
}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def table_values(out):
    """The label and value cells of the information table printed on standard output."""
    values = {}
    for line in out.splitlines():
        cells = line.strip().strip("|").split("|")
        if len(cells) == 2:
            values[cells[0].strip()] = cells[1].strip()
    return values


def list_names(path):
    """The names of an -s or -I file, without their numbers; [] when it is empty."""
    if not os.path.exists(path):
        return None
    return [module_text(line[5:]) for line in read(path).split(b"\n")[:-1]]


def parsed(line):
    """The object of one JSON line, or {} when it is not JSON."""
    try:
        return json.loads(line)
    except ValueError:
        return {}


def described(result, what):
    """The object of a -j run after checking that it was the only output."""
    check_equal((result.status, result.err), (0, ""), f"{what}: status 0, nothing on stderr")
    out = result.out.encode("latin-1")
    check(out.endswith(b"\n") and out.count(b"\n") == 1, f"{what}: exactly one line", out)
    try:
        return json.loads(out.decode("utf-8"))
    except ValueError as error:
        check(False, f"{what}: valid JSON", (error, out))
        return {}


def test_description_matches_the_other_views():
    with Workspace() as ws:
        for name, (description, title, module_format) in FIXTURES.items():
            path = ws.module(name, description)
            facts = described(ws.run(path, "-j"), name)
            check_equal(list(facts), KEYS, f"{name}: the keys, in order")
            check_equal((facts.get("file"), facts.get("title"), facts.get("format")),
                        (path, title, module_format), f"{name}: file, title and format")

            lists = {job: ws.path(f"{name}.{job}") for job in ["s", "I", "m"]}
            r = ws.run(path, "-s", lists["s"], "-I", lists["I"], "-m", lists["m"])
            table = table_values(r.out)
            ms = facts.get("length_ms", -1)
            check(isinstance(ms, int) and ms > 0, f"{name}: a length in milliseconds", ms)
            samples, instruments = facts.get("samples"), facts.get("instruments")
            check_equal(
                (table.get("Format:"), table.get("Length:"), table.get("Channels:"),
                 table.get("Patterns:"), table.get("Samples:"), table.get("Instruments:")),
                (facts.get("format"), f"{ms // 60000}:{ms // 1000 % 60:02d}",
                 f"{facts.get('channels')} channels", f"{facts.get('patterns')} patterns",
                 f"{len(samples or [])} samples", f"{len(instruments or [])} instruments"),
                f"{name}: the information table's facts")
            check_equal(samples, list_names(lists["s"]), f"{name}: the -s file's names")
            check_equal(instruments, list_names(lists["I"]), f"{name}: the -I file's names")
            message = module_text(read(lists["m"])) if os.path.exists(lists["m"]) else None
            check_equal(facts.get("message"), message, f"{name}: the -m file's text")

        # Spot checks of what the fixtures hold, so that the views cannot agree on nothing.
        plain = described(ws.run(ws.path("plain.mod"), "-j"), "plain.mod")
        check_equal(plain.get("samples", [])[:4], ["Kick", "", "Snare", ""],
                    "MOD sample names in order, empty ones kept")
        check_equal(plain.get("instruments"), [], "no instruments: an empty array")
        latin = described(ws.run(ws.path("latin.s3m"), "-j"), "latin.s3m")
        check_equal(latin.get("samples"), ["Cr\u00e8me  bell", "b"],
                    "ISO-8859-1 bytes in a name (the decoder blanks control codes there)")
        xm = described(ws.run(ws.path("utf8.xm"), "-j"), "utf8.xm")
        check_equal(xm.get("instruments"), ["Lead \u0007\u266a", "Drums"],
                    "UTF-8 and a control code in an instrument name")
        message = described(ws.run(ws.path("message.it"), "-j"), "message.it")
        check_equal(message.get("message"),
                    "First \u0001line\tend\nSecond \u00ff line caf\u00e9\n\nlast",
                    "the message: LF line ends, both encodings, control codes escaped")
        check_equal(message.get("instruments"), ["Bell"], "IT instrument names")
        untitled = described(ws.run(ws.path("untitled.xm"), "-j"), "untitled.xm")
        check_equal((untitled.get("title"), untitled.get("samples"), untitled.get("message")),
                    ("", [""], None), "empty title and sample name, no message")


def test_description_replaces_every_other_job():
    with Workspace() as ws:
        path = ws.module("utf8.xm", FIXTURES["utf8.xm"][0])
        alone = ws.run(path, "-j").out
        for words in [["-o", ws.path("x.wav"), "-m", ws.path("m.txt"), "-s", ws.path("s.txt")],
                      ["-q", "-q"], ["-w"]]:
            r = ws.run(path, *words, "-j", "-O", "null")
            check_equal((r.status, r.out, r.err), (0, alone, ""), f"-j with {words}")
        check(not any(os.path.exists(ws.path(f)) for f in ["x.wav", "m.txt", "s.txt"]),
              "-j writes no other file")
        check(os.path.exists(ws.settings_file()), "-w still saves the settings with -j")

        with open("/dev/full", "wb") as full:
            done = subprocess.run([BINARY, path, "-j"], stdout=full, stderr=subprocess.PIPE,
                                  env={"HOME": ws.home}, timeout=30)
        check_equal((done.returncode, done.stderr),
                    (2, b">>> ERROR: CAN'T write(): No space left on device\n"),
                    "-j onto a full standard output: reported, status 2")

        r = ws.run(path, "-j", "-i")
        check("Launching the command interpreter" in r.out and r.status == 0,
              "-i: the shell starts; batch jobs are ignored", r)

        with open(ws.path("empty.mod"), "wb"):
            pass
        with open(ws.path("noise.mod"), "wb") as f:
            f.write(bytes(range(256)) * 8)
        for name in ["missing.mod", "empty.mod", "noise.mod"]:
            r = ws.run(ws.path(name), "-j")
            check_equal((r.status, r.out), (4, ""), f"{name}: status 4, nothing on stdout")
            check(">>> ERROR: file load: " in r.err, f"{name}: the load failure on stderr", r)


def run_parallel(ws, *words):
    # parallel keeps its own files under PARALLEL_HOME, away from the program's HOME.
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": ws.home,
           "PARALLEL_HOME": ws.path("parallel-home")}
    done = subprocess.run(["parallel", "--will-cite", "-j2", *words], capture_output=True,
                          env=env, timeout=240, cwd=ws.root)
    return done.returncode, done.stdout, done.stderr.decode("latin-1")


def test_collection_in_parallel():
    with Workspace() as ws:
        os.mkdir(ws.path("collection"))
        files = [ws.module(os.path.join("collection", name), description)
                 for name, (description, _, _) in FIXTURES.items()]
        # Every run reads the same settings file; nobody may write it.
        r = ws.run(files[0], "-r", "22050", "-c", "1", "-w", "-j")
        settings = read(ws.settings_file())
        home = sorted(os.listdir(ws.home))

        status, _, err = run_parallel(ws, BINARY, "{}", "-q", "-o", "{.}." + EXTENSION,
                                      ":::", *files)
        check_equal((status, err), (0, ""), f"parallel conversion to {EXTENSION}")
        os.mkdir(ws.path("alone"))
        for path in files:
            name = os.path.basename(os.path.splitext(path)[0]) + "." + EXTENSION
            one = os.path.join(ws.path("alone"), name)
            r = ws.run(path, "-q", "-o", one)
            converted = read(os.path.splitext(path)[0] + "." + EXTENSION)
            check(r.status == 0 and len(read(one)) > 1000, f"{name}: converted alone", r)
            check(converted == read(one), f"{name}: the parallel conversion equals it")

        status, out, err = run_parallel(ws, BINARY, "{}", "-j", ":::", *files)
        check_equal((status, err), (0, ""), "parallel index")
        lines = out.decode("utf-8").splitlines(keepends=True)
        alone = [ws.run(path, "-j").out.encode("latin-1").decode("utf-8") for path in files]
        check_equal(sorted(lines), sorted(alone), "each index line equals the file's own -j")
        check_equal(sorted(parsed(line).get("file", "") for line in lines), sorted(files),
                    "one line per file")

        check_equal(read(ws.settings_file()), settings, "the settings file is left alone")
        check_equal(sorted(os.listdir(ws.home)), home, "nothing new in HOME")
        expected = sorted([os.path.basename(f) for f in files] +
                          [os.path.basename(os.path.splitext(f)[0]) + "." + EXTENSION
                           for f in files])
        check_equal(sorted(os.listdir(ws.path("collection"))), expected,
                    "the collection holds the modules and their conversions, nothing else")


test_description_matches_the_other_views()
test_description_replaces_every_other_job()
test_collection_in_parallel()
finish()
