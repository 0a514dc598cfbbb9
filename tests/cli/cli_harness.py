"""Runs a built executable on real files and compares what it does, byte for byte.

Each case names its arguments, the files to create first, and what must come
out: standard output, standard error, the exit status, and the files that must
then exist with given contents (or must not exist). Cases run in a fresh
directory of their own, which is also the working directory of the run.

Platform differences that are not the tool's own are normalised here and only
here: a console in text mode writes "\\r\\n" (Windows), and the C library's
texts for errno values differ between platforms. The usage text names the
program as the system passed it (argv[0]); under wine that is the executable's
path on wine's drive Z:, which maps the Linux root. Where the tool itself
behaves differently on Windows, a case says so in its `windows` overrides.
"""

import argparse
import copy
import os
import re
import shutil
import subprocess
import sys
import tempfile

USAGE = (
    "MThc decompressor\n"
    "Usage: {prog} [options] <input.mid>\n"
    "\n"
    "Options:\n"
    "  -v, --verbose              Print payload preview\n"
    "  --extract-payload <path>   Write raw MThp payload to a file\n"
    "  --decompress <path>        Decompress MThc file and write MIDI to path\n"
)

# errno texts as the cases write them (glibc), and what other C libraries say.
ERRNO_TEXTS = {
    "No such file or directory": ["No such file or directory"],
    "Value too large for defined data type": ["Value too large for defined data type", "Value too large"],
    "No space left on device": ["No space left on device"],
    "Is a directory": ["Is a directory", "Permission denied"],
    "Illegal seek": ["Illegal seek", "Invalid seek"],
}


class Case:
    def __init__(self, name, args, status, stdout="", stderr="", files=None, expect_files=None,
                 absent=(), program=None, setup=None, windows=None, skip=None, stdin=None,
                 file_size_limit=None, only_files=None, runner=None, check=None):
        self.name = name
        self.args = args
        self.status = status
        self.stdout = stdout
        self.stderr = stderr
        self.files = files or {}
        self.expect_files = expect_files or {}
        self.absent = absent
        self.program = program  # key of the executable to run (default "mthc")
        self.setup = setup  # optional callable(directory) run before the case
        # Fields that differ for the Windows executable; skip="reason" there
        # for a case that cannot run on Windows (a Linux device, say).
        self.windows = windows or {}
        self.skip = skip  # why the case is not run, if it is not
        self.stdin = stdin  # bytes for standard input (default: none, /dev/null)
        # Standard output may be bytes (compared as they are), a pattern (a
        # compiled regular expression) or a callable(text) returning problems.
        self.file_size_limit = file_size_limit  # RLIMIT_FSIZE of the run, in bytes (Linux)
        # When given: the names of all the files the directory holds afterwards
        # (so that no temporary or partial file is left behind).
        self.only_files = only_files
        # A callable(directory, command) returning (status, stdout, stderr) that
        # runs the case instead of a plain run (to interrupt it, say).
        self.runner = runner
        # A callable(directory, tools) returning a list of problems, run after
        # the case; `tools` maps "mthc" and "mthc-pack" to their commands.
        self.check = check

    def for_platform(self, windows):
        case = copy.copy(self)
        if windows:
            vars(case).update(self.windows)
        return case


def into_a_full_device(directory, command):
    """A case's runner: standard output is a device that takes nothing, as a
    full disk does (Linux's /dev/full)."""
    with open("/dev/full", "wb") as full:
        done = subprocess.run(command, cwd=directory, stdout=full, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL)
    return done.returncode, b"", done.stderr


def normalise(text, windows):
    if windows:
        text = text.replace("\r\n", "\n")
        for canonical, variants in ERRNO_TEXTS.items():
            for variant in variants:
                text = text.replace(": " + variant + "'", ": " + canonical + "'")
                text = text.replace(": " + variant + "\n", ": " + canonical + "\n")
    return text


def program_name(program, emulator, windows):
    """argv[0] as the program receives it: the path it was started by, which
    wine, running a Windows executable, turns into the path on drive Z:."""
    if windows and emulator:
        return "Z:" + program.replace("/", "\\")
    return program


def run_case(case, programs, emulator, windows):
    problems = []
    directory = tempfile.mkdtemp(prefix="mthc-cli-")
    try:
        for name, data in case.files.items():
            path = os.path.join(directory, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        if case.setup:
            case.setup(directory)
        program = programs[case.program or "mthc"]
        command = emulator + [program] + case.args
        if case.runner:
            returncode, raw_out, raw_err = case.runner(directory, command)
        else:
            limit = None
            if case.file_size_limit is not None:
                import resource

                def limit():
                    resource.setrlimit(resource.RLIMIT_FSIZE, (case.file_size_limit, case.file_size_limit))
            done = subprocess.run(command, cwd=directory, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  input=case.stdin, stdin=None if case.stdin is not None else subprocess.DEVNULL,
                                  timeout=300, preexec_fn=limit)
            returncode, raw_out, raw_err = done.returncode, done.stdout, done.stderr
        stdout = normalise(raw_out.decode("utf-8", "replace"), windows)
        stderr = normalise(raw_err.decode("utf-8", "replace"), windows)
        prog = program_name(program, emulator, windows)
        expected_out = case.stdout.replace("{prog}", prog) if isinstance(case.stdout, str) else None
        expected_err = case.stderr.replace("{prog}", prog) if isinstance(case.stderr, str) else None
        if returncode != case.status:
            problems.append("exit status %d, expected %d" % (returncode, case.status))
        if callable(case.stdout):
            problems.extend(case.stdout(stdout))
        for label, got, pattern in (("output", stdout, case.stdout), ("error", stderr, case.stderr)):
            if isinstance(pattern, re.Pattern) and not pattern.fullmatch(got):
                problems.append("standard %s differs:\n--- got\n%s--- expected (pattern)\n%s\n"
                                % (label, got, pattern.pattern))
        if isinstance(case.stdout, bytes) and raw_out != case.stdout:
            problems.append("standard output differs: %d bytes, expected %d" % (len(raw_out), len(case.stdout)))
        if expected_out is not None and stdout != expected_out:
            problems.append("standard output differs:\n--- got\n%s--- expected\n%s" % (stdout, expected_out))
        if expected_err is not None and stderr != expected_err:
            problems.append("standard error differs:\n--- got\n%s--- expected\n%s" % (stderr, expected_err))
        for name, data in case.expect_files.items():
            path = os.path.join(directory, name)
            if not os.path.isfile(path):
                problems.append("file %s was not written" % name)
                continue
            with open(path, "rb") as f:
                got = f.read()
            if got != data:
                problems.append("file %s differs: %d bytes, expected %d" % (name, len(got), len(data)))
        for name in case.absent:
            if os.path.lexists(os.path.join(directory, name)):
                problems.append("file %s must not exist" % name)
        if case.check:
            tools = {key: emulator + [path] for key, path in programs.items()}
            problems.extend(case.check(directory, tools))
        if case.only_files is not None:
            present = set()
            for root, _, names in os.walk(directory):
                present.update(os.path.relpath(os.path.join(root, n), directory) for n in names)
            if present != set(case.only_files):
                problems.append("the directory holds %s, expected %s" % (sorted(present), sorted(case.only_files)))
    finally:
        shutil.rmtree(directory, ignore_errors=True)
    return problems


def main(cases):
    parser = argparse.ArgumentParser()
    parser.add_argument("--mthc", required=True)
    parser.add_argument("--mthc-pack")
    parser.add_argument("--emulator", default="", help="command that runs the executables, e.g. wine")
    parser.add_argument("--windows", action="store_true", help="normalise Windows console output")
    parser.add_argument("--filter", default="")
    # A suite that uses it reads it itself, before it makes its cases.
    parser.add_argument("--hold-library", help="tests/cli/hold_in_fsync.cpp, built")
    options = parser.parse_args()

    # Standard input, which every tool started here inherits unless a case
    # gives it another, is never the terminal that ctest or a shell passes
    # on: under wine a program whose input is a terminal gets a console of
    # its own, where the Windows mthc-pack waits for Enter before it ends.
    null_input = os.open(os.devnull, os.O_RDONLY)
    os.dup2(null_input, 0)
    os.close(null_input)

    programs = {"mthc": os.path.abspath(options.mthc)}
    if options.mthc_pack:
        programs["mthc-pack"] = os.path.abspath(options.mthc_pack)
    emulator = options.emulator.split() if options.emulator else []

    failed = passed = skipped = 0
    for case in cases:
        if options.filter not in case.name:
            continue
        if (case.program or "mthc") not in programs:
            skipped += 1
            continue
        case = case.for_platform(options.windows)
        if case.skip:
            skipped += 1
            print("skip %s: %s" % (case.name, case.skip))
            continue
        problems = run_case(case, programs, emulator, options.windows)
        if problems:
            failed += 1
            print("FAIL %s" % case.name)
            for p in problems:
                print("    " + p.replace("\n", "\n    "))
        else:
            passed += 1
            print("ok   %s" % case.name)
    print("%d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed or not passed else 0
