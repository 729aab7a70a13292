"""The binary from the outside: help, version, the settings the options store, loading
a module named on the command line and the load failures."""

import os
import stat
import struct

from harness import Workspace, check, check_equal, finish

USAGE = """Usage: {0} [<module file>] [<options>]

Options
-V : print the Marrowtide version and exit.
-i : Interactive mode (this is the default mode
     when no module file is given on command line.
-q : Quiet; Do not print the status bar.
-a <pos> : Start playback/export at order position <pos>.
-z <pos> : End playback/export at order position <pos>.
-o <output file> : Export loaded module to <output file>.
-f <output format> : Select a format to export loaded module.
                     Available formats:
                     it, wav, aiff, s16se, s16le, s16be
-d : Use the default config scheme.
-w : Save the current config scheme.
-m <output file> : Export module text message to <output file>.
-s <output file> : Export module samplenames to <output file>.
-I <output file> : Export module instrumentnames to <output file>.
Audio options:
-v <level> : Volume level (1-512)
-c <channels> : N. of channels. Possible values
                1 = mono ; 2 = stereo
-O <driver> : audio driver
              alsa09, alsa, oss, sun, macosx, arts, irix, esd, null
-r <rate> : Sampling rate in Hz. Available values:
            11025, 16000, 22050, 24000, 32000, 44100
-M <mode> : Resampling mode. Available modes:
            NO_INTERPOLATE, LINEAR, SPLINE, FIR_FILTER
+N,+R,+B,+S : Enable Noise Reduction, reverb, megabass
              & surround.
-N,-R,-B,-S : Disable Noise Reduction, reverb, megabass
              & surround.
"""

VERSION = ("Marrowtide B5.1, September 2006\n"
           "compiled by root at Fri Oct 16 10:23:48 UTC 2026 on FreeBSD\n")

DEFAULTS = [44100, 128, 2, 1, 2, 20, 60, 40, 50, 50, 20, 0, 1, 1]
FIELDS = ["sample_rate", "master_volume", "channel_count", "effect_flags",
          "resampling_mode", "reverb_depth", "reverb_delay", "bass_amount", "bass_range",
          "surround_depth", "surround_delay", "table_style", "little_endian",
          "verbosity_level"]


def stored_settings(ws):
    with open(ws.settings_file(), "rb") as f:
        data = f.read()
    check_equal(len(data), 56, "the settings file is 56 bytes")
    return list(struct.unpack("=14i", data[:56]))


def expect_record(changes):
    record = list(DEFAULTS)
    for name, value in changes.items():
        record[FIELDS.index(name)] = value
    return record


def test_help_and_version():
    with Workspace() as ws:
        for word in ["-h", "--help"]:
            r = ws.run(word)
            check_equal(r.err, USAGE.format(ws_binary_name()), f"{word}: usage text")
            check_equal((r.status, r.out), (0, ""), f"{word}: status 0, nothing on stdout")
        check(not os.path.exists(ws.settings_file()), "help does not touch the settings file")
        # A broken settings file that would silence the banner is not even read by -h.
        for words in [["-hx"], ["-h", "missing.mod", "-V"]]:
            r = ws.run(*words)
            check("Usage:" not in r.err, f"{words}: no usage text", r)
        r = ws.run("missing.mod", "-V", "-q")
        check_equal((r.status, r.out, r.err), (0, VERSION, ""),
                    "a module file followed by -V prints the version without loading")


def ws_binary_name():
    from harness import BINARY
    return BINARY


def test_saved_settings():
    cases = [
        (["-q", "-w"], {"verbosity_level": 0}),
        (["-q", "-q", "-w"], {"verbosity_level": -1}),
        (["-v", "300", "-d", "-w"], {}),
        (["-d", "-v", "300", "-w"], {"master_volume": 300}),
        (["-v", "0", "-w"], {"master_volume": 1}),
        (["-v", "-1", "-w"], {"master_volume": 768}),
        (["-c", "0", "-r", "48000", "-w"], {"channel_count": 1}),
        (["-r", "22050", "-M", "FIR_FILTER", "-w"], {"sample_rate": 22050, "resampling_mode": 3}),
        (["-M", "linear", "-w"], {}),
        (["+N", "+R", "+B", "+S", "-R", "-w"], {"effect_flags": 1 | 2 | 8 | 16}),
        (["-w", "-x", "+X", "-"], {}),
    ]
    for words, changes in cases:
        with Workspace() as ws:
            r = ws.run(*words)
            check_equal(r.status, 0, f"{words}: status 0")
            check_equal(stored_settings(ws), expect_record(changes), f"{words}: stored record")
            mode = stat.S_IMODE(os.stat(ws.settings_file()).st_mode)
            check_equal(mode, 0o600, f"{words}: settings file is private")


def test_saved_settings_are_read_back():
    with Workspace() as ws:
        ws.run("-v", "400", "-c", "1", "-w")
        ws.run("-r", "16000", "-w")  # the file's values, then the options, are saved
        check_equal(stored_settings(ws),
                    expect_record({"master_volume": 400, "channel_count": 1,
                                   "sample_rate": 16000}), "options apply over the file")
        # A stored verbosity of 0 silences the banner of every later start.
        ws.run("-q", "-w")
        r = ws.run("-V")
        check_equal(r.out, VERSION, "-V prints whatever the verbosity")
        tune = ws.module("tune.mod", MOD_TUNE)
        r = ws.run(tune, "-O", "null")
        check_equal((r.status, r.out, r.err), (0, "Playing \n(any key to pause)\n\n", ""),
                    "verbosity 0: only the playing notice")


MOD_TUNE = """format mod
name Command Line
sample square 16 64 loop beep
pattern 0
note 0 0 C-4 1
"""

S3M_TUNE = MOD_TUNE.replace("format mod", "format s3m")
XM_TUNE = MOD_TUNE.replace("format mod", "format xm") + "instrument 1 beeper\n"
IT_TUNE = MOD_TUNE.replace("format mod", "format it") + "instrument 1 beeper\n"

# One empty-but-for-one-note 64-row pattern at speed 6, tempo 125: 7.68 s, which the
# decoder reports rounded to whole seconds.
TABLES = {
    "mod": (MOD_TUNE, """+-------------------------------------+
|            Command Line             |
+------------------+------------------+
|Length:           |0:08              |
+------------------+------------------+
|Format:           |Amiga Module (MOD)|
+------------------+------------------+
|Instruments:      |0 instruments     |
+------------------+------------------+
|Samples:          |31 samples        |
+------------------+------------------+
|Channels:         |4 channels        |
+------------------+------------------+
|Patterns:         |1 patterns        |
+------------------+------------------+
"""),
    "s3m": (S3M_TUNE, """+---------------------------------------------+
|                Command Line                 |
+----------------------+----------------------+
|Length:               |0:08                  |
+----------------------+----------------------+
|Format:               |Scream Tracker 3 (S3M)|
+----------------------+----------------------+
|Instruments:          |0 instruments         |
+----------------------+----------------------+
|Samples:              |1 samples             |
+----------------------+----------------------+
|Channels:             |4 channels            |
+----------------------+----------------------+
|Patterns:             |1 patterns            |
+----------------------+----------------------+
"""),
    "xm": (XM_TUNE, """+-----------------------------------------+
|              Command Line               |
+--------------------+--------------------+
|Length:             |0:08                |
+--------------------+--------------------+
|Format:             |Extended Module (XM)|
+--------------------+--------------------+
|Instruments:        |1 instruments       |
+--------------------+--------------------+
|Samples:            |1 samples           |
+--------------------+--------------------+
|Channels:           |4 channels          |
+--------------------+--------------------+
|Patterns:           |1 patterns          |
+--------------------+--------------------+
"""),
    "it": (IT_TUNE, """+-----------------------------------------+
|              Command Line               |
+--------------------+--------------------+
|Length:             |0:08                |
+--------------------+--------------------+
|Format:             |Impulse Tracker (IT)|
+--------------------+--------------------+
|Instruments:        |1 instruments       |
+--------------------+--------------------+
|Samples:            |1 samples           |
+--------------------+--------------------+
|Channels:           |4 channels          |
+--------------------+--------------------+
|Patterns:           |1 patterns          |
+--------------------+--------------------+
"""),
}


def test_loading_prints_the_table():
    for fmt, (description, table) in TABLES.items():
        with Workspace() as ws:
            tune = ws.module("tune." + fmt, description)
            r = ws.run(tune, "-O", "null")
            # Once from the load and once before playback starts.
            check_equal((r.status, r.out[:r.out.find("Playing")], r.err),
                        (0, VERSION + table + table, ""), f"{fmt}: banner and information table")
            r = ws.run(tune, "-i")
            check(r.out.startswith(VERSION + table + ">>> Launching"), f"{fmt}: -i loads once",
                  r.out)


def test_load_failures():
    with Workspace() as ws:
        missing = ws.path("missing.xm")
        r = ws.run(missing)
        check_equal((r.status, r.out), (4, VERSION), "missing file: status 4 after the banner")
        check_equal(r.err, f'>>> ERROR: CAN\'T stat("{missing}"): No such file or directory\n'
                           ">>> ERROR: file load: No such file or directory\n",
                    "missing file: stat report, then file load")
        empty = ws.path("empty.xm")
        open(empty, "wb").close()
        r = ws.run(empty)
        check_equal((r.status, r.err),
                    (4, f'>>> ERROR: size of "{empty}" is zero!\n'
                        ">>> ERROR: file load: the file is empty\n"), "empty file")
        text = ws.path("notes.txt")
        with open(text, "w") as f:
            f.write("shopping list: milk, eggs\n")
        r = ws.run(text)
        check_equal((r.status, r.err),
                    (4, ">>> ERROR: file load: not a module the decoder can read\n"),
                    "a file the decoder refuses")
        r = ws.run("-q", missing)
        check_equal((r.status, r.out, r.err.count("ERROR")), (4, "", 2),
                    "quiet: errors are still reported")
        r = ws.run(missing, "-i")
        check_equal(r.status, 0, "with -i a failed load is no error")


test_help_and_version()
test_saved_settings()
test_saved_settings_are_read_back()
test_loading_prints_the_table()
test_load_failures()
finish()
