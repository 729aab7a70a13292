"""The manual page and the README against the program: the page formats without warnings,
documents every option of the usage text and every shell command, and the README's
example output is what the program prints now."""

import os
import re
import shutil
import subprocess
import sys

from harness import BINARY, DEMO_TUNE, Workspace, check, check_equal, finish

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MANUAL = os.path.join(SOURCE_DIR, "doc", "marrowtide.1")
README = os.path.join(SOURCE_DIR, "README.md")
README_EXAMPLES = os.path.join(SOURCE_DIR, "scripts", "readme-examples")

# The shell's command table.
COMMANDS = [
    "open", "load", "config", "help", "?", "volume", "display", "samplerate", "resampling",
    "channels", "goto", "chdir", "cd", "quit", "exit", "info", "play", "position", "noise",
    "reverb", "megabass", "surround", "reset", "loadconfig", "saveconfig", "list", "ls",
    "message", "instruments", "samples", "export", "advanced", "setadvanced", "playlist",
    "exec", "version",
]

OPTION = re.compile(r"(?<![\w-])([-+][A-Za-z])(?![\w-])")

# Options the program reads that its usage text, kept as it always was, does not name.
BEYOND_USAGE = {"-h", "-j"}


def manual_source():
    with open(MANUAL, encoding="utf-8") as f:
        return f.read()


def sections(source):
    """The lines of each .SH section, by heading."""
    result = {}
    current = None
    for line in source.split("\n"):
        if line.startswith(".SH "):
            current = line[4:].strip().strip('"')
            result[current] = []
        elif current is not None:
            result[current].append(line)
    return result


def plain(line):
    """The text of one roff line: the font macros' arguments joined, escapes removed."""
    if line.startswith("."):
        macro, _, rest = line.partition(" ")
        words = [quoted or bare
                 for quoted, bare in re.findall(r'"((?:[^"]|"")*)"|(\S+)', rest)]
        joiner = "" if macro in (".BR", ".BI", ".IR", ".RB", ".RI", ".IB") else " "
        line = joiner.join(words)
    line = re.sub(r"\\f(\[[^\]]*\]|\(..|.)", "", line)
    return (line.replace("\\-", "-").replace("\\&", "").replace("\\(en", "-")
            .replace("\\e", "\\"))


def tags(lines):
    """The tags of the section's own .TP/.TQ paragraphs (not those of an indented list)."""
    found = []
    depth = 0
    for i, line in enumerate(lines):
        if line.startswith(".RS"):
            depth += 1
        elif line.startswith(".RE"):
            depth -= 1
        elif (line.startswith(".TP") or line.startswith(".TQ")) and depth == 0:
            found.append(plain(lines[i + 1]))
    return found


def test_page_formats_cleanly():
    for program, package in [("groff", "groff-base"), ("man", "man-db")]:
        check(shutil.which(program) is not None,
              f"{program} is installed (Debian package {package})")
    if shutil.which("groff") is not None:
        done = subprocess.run(["groff", "-ww", "-z", "-man", MANUAL], capture_output=True)
        check_equal((done.returncode, done.stderr.decode()), (0, ""),
                    "groff -ww -z -man: no warnings")
    if shutil.which("man") is not None:
        env = dict(os.environ, MANWIDTH="80")
        env.pop("MAN_KEEP_FORMATTING", None)
        done = subprocess.run(["man", "-l", MANUAL], capture_output=True, env=env)
        text = done.stdout.decode("utf-8", "replace")
        err = done.stderr.decode("utf-8", "replace")
        check(done.returncode == 0 and "warning" not in err.lower(),
              "man -l renders the page without warnings", f"status {done.returncode}\n{err}")
        headings = {line for line in text.split("\n") if re.fullmatch(r"[A-Z][A-Z ]+", line)}
        for heading in ["NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "INTERACTIVE COMMANDS",
                        "FILES", "EXIT STATUS", "ENVIRONMENT", "EXAMPLES"]:
            check(heading in headings, f"the rendered page has the section {heading}",
                  sorted(headings))
        wide = [line for line in text.split("\n") if len(line) > 80]
        check_equal(wide, [], "no rendered line is wider than 80 columns")


def test_every_option_is_documented():
    with Workspace() as ws:
        usage = ws.run("-h").err
    documented_by_usage = set(OPTION.findall(usage))
    check({"-V", "-o", "-f", "-I", "+N", "-S"} <= documented_by_usage,
          "the options are read from the usage text", usage)
    in_page = set()
    for tag in tags(sections(manual_source()).get("OPTIONS", [])):
        in_page.update(OPTION.findall(tag))
    check_equal(sorted(documented_by_usage - in_page), [],
                "every option of the usage text has an entry in OPTIONS")
    check_equal(sorted(BEYOND_USAGE - in_page), [],
                "OPTIONS documents the options beyond the usage text")
    # The page documents no option the program lacks.
    check_equal(sorted(in_page - documented_by_usage - BEYOND_USAGE), [],
                "OPTIONS documents only options the usage text names")


def test_every_command_is_documented():
    entries = tags(sections(manual_source()).get("INTERACTIVE COMMANDS", []))
    in_page = set()
    for tag in entries:
        for part in tag.split(","):
            if part.strip():
                in_page.add(part.split()[0])
    check_equal(sorted(in_page), sorted(COMMANDS),
                "INTERACTIVE COMMANDS has an entry for each shell command, and no other")
    # Each name of the list is a command of the shell (and an unknown one is told apart).
    with Workspace() as ws:
        unknown = [name for name in COMMANDS + ["nosuchcommand"]
                   if "invalid command" in ws.run("-O", "null", stdin=f"{name}\n".encode()).err]
    check_equal(unknown, ["nosuchcommand"], "the shell knows every listed command")


def test_readme_examples_are_current():
    env = dict(os.environ, MARROWTIDE=BINARY, DEMO_TUNE=DEMO_TUNE)
    done = subprocess.run([sys.executable, README_EXAMPLES, "--check"], capture_output=True,
                          env=env, timeout=120)
    check(done.returncode == 0, "README.md's examples are what the program prints now",
          done.stdout.decode() + done.stderr.decode())

    with open(README, encoding="utf-8") as f:
        readme = f.read()
    block = readme[readme.find("<!-- examples:begin -->"):readme.find("<!-- examples:end -->")]
    # Independently of the script: the table the program prints is in the block.
    with Workspace() as ws:
        played = ws.run(DEMO_TUNE, "-O", "null")
    table = [line for line in played.out.split("\n") if line[:1] in ("+", "|")]
    check(table and all(line in block.split("\n") for line in table),
          "the README shows the demo tune's table as the program prints it",
          f"table:\n{chr(10).join(table)}")

    # The check notices a README that is out of date.
    with Workspace() as ws:
        stale = ws.path("README.md")
        with open(stale, "w", encoding="utf-8") as f:
            f.write(readme.replace("ord: 1 - pat: 1 - row: 0", "ord: 1 - pat: 1 - row: 5", 1))
        done = subprocess.run([sys.executable, README_EXAMPLES, "--check", "--readme", stale],
                              capture_output=True, env=env, timeout=120)
        check_equal(done.returncode, 1, "the check fails on a stale README")


def test_exit_statuses_agree():
    in_page = set()
    for tag in tags(sections(manual_source()).get("EXIT STATUS", [])):
        in_page.add(int(tag))
    with open(README, encoding="utf-8") as f:
        readme = f.read()
    section = readme[readme.find("## Exit statuses"):]
    in_readme = {int(n) for n in re.findall(r"^\| (\d+) \|", section, re.MULTILINE)}
    check_equal(in_page, {0, 2, 3, 4}, "the manual's exit statuses")
    check_equal(in_readme, in_page, "the README lists the manual's exit statuses")
    with Workspace() as ws:
        statuses = [ws.run("-V").status,
                    ws.run(DEMO_TUNE, "-q", "-o", ws.path("song.xyz")).status,
                    ws.run(ws.path("missing.xm"), "-q").status]
    check_equal(statuses, [0, 2, 4], "-V, an unknown export format, a missing module")


test_page_formats_cleanly()
test_every_option_is_documented()
test_every_command_is_documented()
test_readme_examples_are_current()
test_exit_statuses_agree()
finish()
