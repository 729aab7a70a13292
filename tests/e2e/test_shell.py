"""The interactive shell fed through a pipe: the tokeniser, history, the command table,
help, the settings commands and their tables, the dialogue and the end of input."""

import os
import struct

from harness import Workspace, check, check_equal, finish

BANNER = ("Marrowtide B5.1, September 2006\n"
          "compiled by root at Fri Oct 16 10:23:48 UTC 2026 on FreeBSD\n")
SHELL_LINES = (">>> Launching the command interpreter...\n"
               ">>> Type 'help' and <ENTER> to get a list of available commands.\n"
               ">>> Configure the advanced features with the 'setadvanced' command.\n")

HELP = ("Commands available on interactive mode:\n"
        "\tquit\t\tconfig\t\tplay\n"
        "\tposition\tnoise\t\treverb\n"
        "\tmegabass\tsurround\treset\n"
        "\tloadconfig\tsaveconfig\tinfo\n"
        "\tlist / ls\tmessage\t\tsamples\n"
        "\tinstruments\texport\t\tadvanced\n"
        "\tsetadvanced\tplaylist\tvolume\n"
        "\tdisplay <X>-<Y>\tgoto <ORDER>\tsamplerate <F>\n"
        "\topen <FILE>\tvolume <V>\tsavemessage <FILE>\n"
        "\tresampling <M>\tchannels (1|2) \tcd <DIRECTORY>\n"
        "\texec <command>\tversion\n"
        "\n"
        "Hint: The '!' command prints the last executed command,\n"
        "      and the '!!' command (without quotes) runs it.\n")

CONFIG_DEFAULT = """+----------------+----------------+
|Sampling Rate:  |44.100 kHz      |
+----------------+----------------+
|Resampling Mode:|Spline          |
+----------------+----------------+
|Noise Reduction:|NO              |
+----------------+----------------+
|Reverb:         |NO              |
+----------------+----------------+
|Megabass:       |NO              |
+----------------+----------------+
|Surround:       |NO              |
+----------------+----------------+
|Channels:       |Stereo          |
+----------------+----------------+
|Master Volume:  |128             |
+----------------+----------------+
"""

ADVANCED_BOXED = """/---------------+---------------\\
|Reverb Depth   |20             |
+---------------+---------------+
|Reverb Delay   |60 ms          |
+---------------+---------------+
|Bass Amount    |40             |
+---------------+---------------+
|Bass Range     |50 Hz          |
+---------------+---------------+
|Surround Depth |50             |
+---------------+---------------+
|Surround Delay |20 ms          |
+---------------+---------------+
|Endianness     |little-endian  |
+---------------+---------------+
|Appareance     |boxed          |
+---------------+---------------+
|Verbosity      |1              |
\\---------------+---------------/
"""

TUNE = """format xm
name Shell Tune
channels 4
sample square 16 64 loop beep
instrument 1 beeper
pattern 0 16
note 0 0 C-4 1
order 0 0
"""


def session(ws, lines, args=(), cwd=None):
    """Runs the shell on the given input lines; returns the result and the outputs
    between prompts (the first element is what came before the first prompt)."""
    r = ws.run(*args, stdin="".join(line + "\n" for line in lines).encode(), cwd=cwd)
    prompt = f"marrowtide[{cwd or ws.root}]% "
    return r, r.out.split(prompt)


def test_start_and_end_of_input():
    with Workspace() as ws:
        r, parts = session(ws, [])
        check_equal((r.status, r.err), (0, ""), "end of input ends the shell with status 0")
        check_equal(parts, [BANNER + SHELL_LINES, "\n"], "banner, shell lines, one prompt")
        r, parts = session(ws, [], args=("-q",))
        check_equal(parts, ["", "\n"], "-q: no banner, no shell lines")


def test_tokeniser_and_history():
    with Workspace() as ws:
        lines = ["!", "", "   ", "# comment", "!", "help#x", "volume 100 # loud", "volume",
                 " help", "HELP", "volume\t\t 200", "!", "!!", "!", "volume", "savemessage x",
                 "info", "volume 300", "!x", "!!"]
        r, parts = session(ws, lines)
        out = parts[1:]
        check_equal(out[0], "", "'!' with nothing remembered prints nothing")
        check_equal(out[1:4], ["", "", ""], "empty, blank and comment lines print nothing")
        check_equal(out[4], "# comment\n", "'!' prints the last line as typed")
        check_equal(out[5], HELP, "help#x runs help")
        check_equal(out[7], "volume: 100\n", "the argument '100 # loud' sets 100")
        check_equal(out[11], "volume\t\t 200\n", "'!' shows the line as typed")
        check_equal(out[14], "volume: 200\n", "'!!' ran volume 200 again")
        check_equal(out[13], "volume\t\t 200\n", "'!' after '!!' still shows the whole line")
        check_equal(out[18], "volume 300\n", "'!' with any text prints the last line")
        check_equal(r.err,
                    ">>> WARNING:  help: invalid command\nTry: `help'\n"
                    ">>> WARNING: HELP: invalid command\nTry: `help'\n"
                    ">>> WARNING: savemessage: invalid command\nTry: `help'\n"
                    ">>> WARNING: info: no module loaded\n", "warnings on stderr")
        check_equal(out[0:1] + [HELP], ["", HELP], "help text byte for byte")


def test_long_line_is_one_command():
    with Workspace() as ws:
        word = "x" * 300
        r, parts = session(ws, [f"exec echo {word}", "!"])
        check_equal(parts[1], word + "\n", "a 300-character exec line runs whole")
        check_equal(parts[2], f"exec echo {word}\n", "and is remembered whole")
        check_equal(r.err, "", "no part of it becomes a command of its own")


def test_settings_commands():
    with Workspace() as ws:
        cases = [
            (["volume"], "volume: 128\n", ""),
            (["volume 0", "volume"], "volume: 1\n", ""),
            (["volume 768", "volume"], "volume: 768\n", ""),
            (["volume 769", "volume"], "volume: 768\n", ""),
            (["volume -1", "volume"], "volume: 768\n", ""),
            (["volume loud", "volume"], "volume: 1\n", ""),
            (["samplerate"], "", "usage: samplerate <rate>\n"),
            (["samplerate 48000"], "", ">>> WARNING: invalid sampling rate -- 48000. not changing.\n"),
            (["resampling"], "", "usage: resampling (NO_INTERPOLATE|LINEAR|SPLINE|FIR_FILTER)\n"),
            (["resampling resample"], "", "usage: resampling (NO_INTERPOLATE|LINEAR|SPLINE|FIR_FILTER)\n"),
            (["channels"], "", "usage: channels (1|2)\n"),
            (["exec"], "", "usage: exec <system command>\n"),
            (["open"], "", "usage: open <file>\n"),
            (["load"], "", "usage: open <file>\n"),
            (["goto 3"], "", ">>> WARNING: goto: no module loaded\n"),
            (["display"], "", ">>> WARNING: display: no module loaded\n"),
            (["play"], "", ">>> WARNING: play: no module loaded\n"),
            (["position"], "", ">>> WARNING: position: no module loaded\n"),
        ]
        for lines, out, err in cases:
            r, parts = session(ws, lines)
            check_equal((parts[-2], r.err), (out, err), f"{lines}")

        def config_after(lines):
            r, parts = session(ws, lines + ["config"])
            return parts[-2]

        def row(table, label):
            return [l for l in table.splitlines() if l.startswith("|" + label)][0]

        check_equal(config_after([]), CONFIG_DEFAULT, "config byte for byte")
        check_equal(row(config_after(["samplerate 22050"]), "Sampling"),
                    "|Sampling Rate:  |22.050 kHz      |", "samplerate without a module")
        for word, mode in [("no_interpolate", "No Interpolation"), ("RESAMPLE", "No Interpolation"),
                           ("linear", "Linear"), ("Spline", "Spline"), ("fir_filter", "Fir Filter")]:
            check_equal(row(config_after(["resampling linear", f"resampling {word}"]), "Resampling"),
                        f"|Resampling Mode:|{mode:16}|", f"resampling {word}")
        for word, shown in [("1", "Mono"), ("12", "Mono"), ("2", "Stereo"), ("0", "Stereo"),
                            ("mono", "Stereo")]:
            check_equal(row(config_after(["channels 1", f"channels {word}"]), "Channels"),
                        f"|Channels:       |{shown:16}|", f"channels {word}")
        table = config_after(["noise", "reverb", "megabass", "surround", "noise"])
        check_equal([row(table, l).split("|")[2].strip()
                     for l in ["Noise", "Reverb", "Megabass", "Surround"]],
                    ["NO", "YES", "YES", "YES"], "the effect toggles; noise twice is off again")


def test_settings_file_commands():
    with Workspace() as ws:
        r, parts = session(ws, ["volume 300", "saveconfig", "reset", "volume", "loadconfig",
                                "volume", "reset", "quit", "volume"])
        check_equal(parts[4], "volume: 128\n", "reset restores the defaults")
        check_equal(parts[6], "volume: 300\n", "loadconfig brings the saved value back")
        check_equal(len(parts), 9, "quit ends the shell at once")
        with open(ws.settings_file(), "rb") as f:
            data = f.read()
        check_equal((len(data), struct.unpack("=14i", data)[1]), (56, 300),
                    "reset and quit leave the saved file as it was")


def test_advanced_and_dialogue():
    with Workspace() as ws:
        answers = ["setadvanced",
                   "abc",                              # reverb depth: no digits, 0
                   "abc", "30", "42abc",               # reverb delay: 0 and 30 refused, 42
                   "  15",                             # bass amount
                   "101", "-1", "100",                 # bass range: two refused, 100
                   "5",                                # surround depth
                   "40",                               # surround delay
                   "LITTLE", " little", "b", "bigger",  # byte order: three refused, big
                   "boxed ", "Boxed", "boxed",         # style: two refused, boxed
                   "4", "2",                           # verbosity: 4 refused, 2
                   "advanced"]
        r, parts = session(ws, answers)
        prompts = parts[1]
        check(prompts.startswith("+---------------+---------------+\n|Reverb Depth   |20"),
              "setadvanced shows the table first", prompts)
        dialogue = prompts[prompts.index("Reverb Depth [0-100]? "):]
        check_equal(dialogue,
                    "Reverb Depth [0-100]? " +
                    "Reverb Delay in ms. [40-200]? " * 3 +
                    "Bass Amount [0-100]? " +
                    "Bass Range in Hz. [10-100]? " * 3 +
                    "Surround Depth [0-100]? " +
                    "Surround Delay in ms. [5-40]? " +
                    "local endianness [little-endian, big-endian]? " * 4 +
                    "appareance [classic, strong, boxed]? " * 3 +
                    "verbosity level? " * 2, "the prompts, repeated for refused answers")
        check_equal(parts[2], """/---------------+---------------\\
|Reverb Depth   |0              |
+---------------+---------------+
|Reverb Delay   |42 ms          |
+---------------+---------------+
|Bass Amount    |15             |
+---------------+---------------+
|Bass Range     |100 Hz         |
+---------------+---------------+
|Surround Depth |5              |
+---------------+---------------+
|Surround Delay |40 ms          |
+---------------+---------------+
|Endianness     |big-endian     |
+---------------+---------------+
|Appareance     |boxed          |
+---------------+---------------+
|Verbosity      |2              |
\\---------------+---------------/
""", "advanced shows what the dialogue stored")

        r, parts = session(ws, ["setadvanced"])
        check(parts[1].endswith("verbosity level? "),
              "at end of input the dialogue writes all nine prompts and returns", parts[1])
        check_equal(parts[1].count("? "), 9, "nine prompts at end of input")
        r, parts = session(ws, ["setadvanced", "", "", "", "", "", "", "", "boxed", "", "advanced"])
        check_equal(parts[-2], ADVANCED_BOXED, "empty answers keep every value; boxed style")


def test_directory_commands():
    with Workspace() as ws:
        sub = ws.path("sub")
        os.mkdir(sub)
        r, parts = session(ws, ["cd sub", "cd /does/not/exist", "exec pwd", "cd", "exec pwd"])
        r2 = r.out
        check(f"marrowtide[{sub}]% " in r2, "cd changes the directory the prompt shows", r2)
        check(f"marrowtide[{sub}]% {sub}\n" in r2, "a failed cd changes nothing, prints nothing", r2)
        check(r2.rstrip().endswith(f"marrowtide[{ws.home}]% {ws.home}\nmarrowtide[{ws.home}]%"),
              "cd without an argument goes home", r2)
        check_equal(r.err, "", "no messages")


def test_module_commands():
    with Workspace() as ws:
        tune = ws.module("shell.xm", TUNE)
        r, parts = session(ws, [f"open {tune}   ", "position", "goto -1", "goto 1", "position",
                                "samplerate 22050", "version"])
        check_equal(parts[4], "", "goto prints nothing")
        check(parts[1].startswith("+---"), "open prints the information table", parts[1])
        check_equal(parts[2], ">>> Order: 0 - Pattern: 0 - Row: 0\n", "position at the start")
        check_equal(r.err, "usage: goto <order>\n", "goto -1 prints its usage")
        check_equal(parts[7], BANNER, "version prints the version lines")
        r, parts = session(ws, ["info", "open /no/such/file", "info"], args=(tune, "-i"))
        check(parts[1].startswith("+---"), "-i starts the shell with the module loaded")
        check_equal(r.err, '>>> ERROR: CAN\'T stat("/no/such/file"): No such file or directory\n'
                           ">>> WARNING: info: no module loaded\n",
                    "a failed open leaves no module")
        r, parts = session(ws, [f"open {tune}", "goto 1", "play"], args=("-O", "null"))
        status = parts[3].split("\r")
        check_equal(status[0], "Playing \n(any key to pause)\n"
                    ">>> {0:00}  ord: 1 - pat: 0 - row: 0 - tempo: 125     ",
                    "play after goto 1 starts at order 1")


test_start_and_end_of_input()
test_tokeniser_and_history()
test_long_line_is_one_command()
test_settings_commands()
test_settings_file_commands()
test_advanced_and_dialogue()
test_directory_commands()
test_module_commands()
finish()
