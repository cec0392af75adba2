#!/usr/bin/env python3
"""Mutation testing of one folder: plants one small fault at a time in the
folder's sources, rebuilds the folder's test program, runs it, and lists the
faults that no test noticed (the survivors).

A fault is one of:
  rel    a relational operator:  <  <=   >  >=   ==  !=  (each into its
         boundary neighbour or its opposite)
  arith  + into -, - into +, * into /, / into *, ++ into --, -- into ++
  logic  && into ||, || into &&, true into false, false into true
  const  an integer constant (decimal or hexadecimal) plus or minus one
  call   a statement that is nothing but a call, deleted

Only code is changed: comments, string and character literals and
preprocessor lines are left alone. Operators are recognised with the spaces
clang-format puts around them, which keeps templates and pointers out.

Every changed file is put back after its run, also on Ctrl+C, SIGTERM or
SIGHUP; a copy of the original is kept under <build>/mutate-backup while a
file is changed, and a later run restores any copy a killed run left behind.
A fault that does not compile is not counted. A test run that outlasts the
timeout counts as killed (the fault made a test hang).

Examples, from the top of a configured checkout (cmake --preset ci):

  tools/mutate.py instrument
  tools/mutate.py procedures --operators rel,const --sample 60 --seed 1
  tools/mutate.py procedures --files Procedures.cpp --list
  tools/mutate.py procedures --files Procedures.cpp --lines 300-330
  nice -n 19 tools/mutate.py /path/to/checkout/procedures --build /path/to/checkout/build/ci

The defaults: the sources are the folder's *.cpp and *.h (tests/ left out),
the build folder is <checkout>/build/ci, the target <folder>_tests and the
test program <build>/bin/<folder>_tests, run with --gtest_fail_fast.
"""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

OPERATORS = ("rel", "arith", "logic", "const", "call")

REL = {" < ": [" <= ", " > "], " <= ": [" < ", " > "], " > ": [" >= ", " < "],
       " >= ": [" > ", " < "], " == ": [" != "], " != ": [" == "]}
ARITH = {" + ": [" - "], " - ": [" + "], " * ": [" / "], " / ": [" * "],
         "++": ["--"], "--": ["++"]}
LOGIC = {" && ": [" || "], " || ": [" && "], "true": ["false"], "false": ["true"]}
CALL_START = re.compile(r"^\s*[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*\(")
NOT_A_CALL = re.compile(r"^\s*(return|if|while|for|switch|case|delete|throw|using|static_assert)\b")
INTEGER = re.compile(r"(?<![\w.])(?<![eE][-+])(0[xX][0-9A-Fa-f]+|\d+)(?![\w.])")
WORD_OPERATORS = ("true", "false")


def code_mask(lines):
    """For each line, a list of booleans: True where the character is code
    (not inside a comment, a string or a character literal)."""
    masks = []
    in_block = False
    directive = False
    for line in lines:
        mask = [False] * len(line)
        if directive or (not in_block and line.lstrip().startswith("#")):
            directive = line.rstrip().endswith("\\")
            masks.append(mask)
            continue
        i = 0
        quote = None
        while i < len(line):
            c = line[i]
            if in_block:
                if line.startswith("*/", i):
                    in_block = False
                    i += 2
                    continue
            elif quote:
                if c == "\\":
                    i += 2
                    continue
                if c == quote:
                    quote = None
            elif line.startswith("//", i):
                break
            elif line.startswith("/*", i):
                in_block = True
                i += 2
                continue
            elif c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isalnum()):
                quote = c
            else:
                mask[i] = True
            i += 1
        masks.append(mask)
    return masks


def all_code(mask, start, end):
    return end <= len(mask) and all(mask[start:end])


def find_mutants(path, operators):
    """Yields (line index, column, old text, new text, kind)."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    masks = code_mask(lines)
    for n, (line, mask) in enumerate(zip(lines, masks)):
        if not any(mask):
            continue
        tables = []
        if "rel" in operators:
            tables.append(("rel", REL))
        if "arith" in operators:
            tables.append(("arith", ARITH))
        if "logic" in operators:
            tables.append(("logic", LOGIC))
        for kind, table in tables:
            for old, news in table.items():
                start = line.find(old)
                while start != -1:
                    end = start + len(old)
                    ok = all_code(mask, start, end)
                    if old in WORD_OPERATORS:
                        ok = ok and not (start > 0 and (line[start - 1].isalnum() or line[start - 1] == "_"))
                        ok = ok and not (end < len(line) and (line[end].isalnum() or line[end] == "_"))
                    if old in ("++", "--"):
                        # not part of +++ or an operator spelled out elsewhere
                        ok = ok and line[max(0, start - 1):start] not in ("+", "-")
                        ok = ok and line[end:end + 1] not in ("+", "-", "=")
                    if ok:
                        for new in news:
                            yield n, start, old, new, kind
                    start = line.find(old, start + 1)
        if "const" in operators:
            for m in INTEGER.finditer(line):
                if not all_code(mask, m.start(), m.end()):
                    continue
                text = m.group(1)
                hexadecimal = text[:2].lower() == "0x"
                octal = not hexadecimal and len(text) > 1 and text[0] == "0"
                value = int(text, 16 if hexadecimal else 8 if octal else 10)
                for delta in (1, -1):
                    if value + delta < 0:
                        continue
                    if hexadecimal:
                        new = f"0x{value + delta:0{len(text) - 2}X}"
                    elif octal:
                        new = f"0{value + delta:0{len(text) - 1}o}"
                    else:
                        new = str(value + delta)
                    yield n, m.start(), text, new, "const"
        if "call" in operators and CALL_START.match(line) and not NOT_A_CALL.match(line):
            # The statement may be wrapped: it ends where its parentheses close.
            depth = 0
            for k in range(n, min(n + 12, len(lines))):
                depth += sum((c == "(") - (c == ")")
                             for c, code in zip(lines[k], masks[k]) if code)
                if depth <= 0:
                    break
            if depth == 0 and lines[k].rstrip().endswith(");"):
                yield n, k, line.strip() + (" ..." if k > n else ""), "", "call"


SIGNALS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}


class Restorer:
    """Puts a changed file back whatever ends the run. Changing and restoring
    run with the signals blocked, so that neither is cut in half."""

    def __init__(self, backup_dir):
        self.backup_dir = backup_dir
        self.current = None

    def backup_of(self, path):
        return os.path.join(self.backup_dir, os.path.abspath(path).lstrip("/"))

    def change(self, path, text):
        signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)
        try:
            self._change(path, text)
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)

    def restore(self):
        signal.pthread_sigmask(signal.SIG_BLOCK, SIGNALS)
        try:
            self._restore()
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, SIGNALS)

    def _change(self, path, text):
        backup = self.backup_of(path)
        os.makedirs(os.path.dirname(backup), exist_ok=True)
        shutil.copy2(path, backup)
        self.current = path
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)

    def _restore(self):
        if self.current is None:
            return
        backup = self.backup_of(self.current)
        with open(backup, encoding="utf-8") as f:
            text = f.read()
        # Written anew (not renamed or copied with its old time) so that the
        # build sees a file newer than the mutant's object and rebuilds it.
        with open(self.current, "w", encoding="utf-8") as f:
            f.write(text)
        os.remove(backup)
        self.current = None

    def restore_leftovers(self):
        if not os.path.isdir(self.backup_dir):
            return
        for root, _, files in os.walk(self.backup_dir):
            for name in files:
                backup = os.path.join(root, name)
                original = "/" + os.path.relpath(backup, self.backup_dir)
                with open(backup, encoding="utf-8") as f:
                    text = f.read()
                with open(original, "w", encoding="utf-8") as f:
                    f.write(text)
                os.remove(backup)
                print(f"restored {original} from a run that was cut short", flush=True)


def run(command, timeout=None, cwd=None):
    """Returns (exit status, output); status None when it timed out."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True, env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    try:
        output, _ = process.communicate(timeout=timeout)
        return process.returncode, output.decode(errors="replace")
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return None, ""
    except BaseException:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder", help="the folder whose sources are changed, e.g. procedures")
    parser.add_argument("--build", help="the configured build folder (default <checkout>/build/ci)")
    parser.add_argument("--target", help="what to build (default <folder>_tests)")
    parser.add_argument("--test", help="the test program (default <build>/bin/<target>)")
    parser.add_argument("--files", help="comma-separated file names within the folder")
    parser.add_argument("--lines", help="only these lines, e.g. 120-180,200 (with one file)")
    parser.add_argument("--operators", default=",".join(OPERATORS),
                        help="comma-separated, of: " + ", ".join(OPERATORS))
    parser.add_argument("--sample", type=int, help="try only this many faults, drawn at random")
    parser.add_argument("--seed", type=int, default=1, help="of the sample (default 1)")
    parser.add_argument("--timeout", type=float,
                        help="seconds per test run (default 3 x the clean run + 10)")
    parser.add_argument("--jobs", type=int, default=2, help="build jobs (default 2)")
    parser.add_argument("--list", action="store_true", help="list the faults, change nothing")
    args = parser.parse_args()

    folder = os.path.abspath(args.folder)
    checkout = os.path.dirname(folder)
    name = os.path.basename(folder)
    build = os.path.abspath(args.build or os.path.join(checkout, "build", "ci"))
    target = args.target or f"{name}_tests"
    test = args.test or os.path.join(build, "bin", target)
    operators = set(args.operators.split(","))
    unknown = operators - set(OPERATORS)
    if unknown:
        parser.error("unknown operators: " + ", ".join(sorted(unknown)))

    if args.files:
        files = [os.path.join(folder, f) for f in args.files.split(",")]
    else:
        files = sorted(os.path.join(folder, f) for f in os.listdir(folder)
                       if f.endswith((".cpp", ".h")))
    mutants = [(path, *m) for path in files for m in find_mutants(path, operators)]
    if args.lines:
        wanted = set()
        for part in args.lines.split(","):
            first, _, last = part.partition("-")
            wanted.update(range(int(first), int(last or first) + 1))
        mutants = [m for m in mutants if m[1] + 1 in wanted]
    if args.sample is not None and args.sample < len(mutants):
        mutants = sorted(random.Random(args.seed).sample(mutants, args.sample),
                         key=lambda m: (m[0], m[1], m[2]))

    def where(m):
        return f"{os.path.relpath(m[0], checkout)}:{m[1] + 1}"

    def change(m):
        if m[5] == "call":
            return f"deleted {m[3]}"
        return f"{m[3].strip()} -> {m[4].strip()}"

    if args.list:
        for m in mutants:
            print(f"{where(m)}  [{m[5]}] {change(m)}")
        print(f"{len(mutants)} faults")
        return 0

    restorer = Restorer(os.path.join(build, "mutate-backup"))
    restorer.restore_leftovers()

    def stop(signum, _frame):
        raise KeyboardInterrupt(f"signal {signum}")

    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, stop)

    build_command = ["cmake", "--build", build, "--target", target, "-j", str(args.jobs)]
    test_command = [test, "--gtest_fail_fast", "--gtest_brief=1"]
    status, output = run(build_command)
    if status != 0:
        print(output)
        print("the unchanged sources do not build", file=sys.stderr)
        return 2
    began = time.monotonic()
    status, output = run(test_command)
    clean_seconds = time.monotonic() - began
    if status != 0:
        print(output)
        print("the tests fail on the unchanged sources", file=sys.stderr)
        return 2
    timeout = args.timeout or 3 * clean_seconds + 10
    print(f"{len(mutants)} faults in {name}/, clean test run {clean_seconds:.1f} s, "
          f"timeout {timeout:.0f} s", flush=True)

    killed = survived = uncompiled = 0
    survivors = []
    try:
        for i, m in enumerate(mutants, 1):
            path, n, column, old, new, kind = m
            with open(path, encoding="utf-8") as f:
                lines = f.read().split("\n")
            line = lines[n]
            if kind == "call":
                # column is the statement's last line here
                for k in range(n, column + 1):
                    lines[k] = "// " + lines[k]
            else:
                lines[n] = line[:column] + new + line[column + len(old):]
            restorer.change(path, "\n".join(lines))
            try:
                status, _ = run(build_command)
                if status != 0:
                    uncompiled += 1
                    verdict = "does not compile"
                else:
                    status, _ = run(test_command, timeout=timeout)
                    if status == 0:
                        survived += 1
                        survivors.append(m)
                        verdict = "SURVIVED"
                    else:
                        killed += 1
                        verdict = "killed" if status is not None else "killed (timeout)"
            finally:
                restorer.restore()
            print(f"[{i}/{len(mutants)}] {where(m)}  {change(m)}: {verdict}", flush=True)
    except KeyboardInterrupt as reason:
        print(f"interrupted ({reason}); sources restored", flush=True)
    finally:
        restorer.restore()
        # Leave the build as the sources are.
        run(build_command)

    tried = killed + survived
    print(f"\nSurvivors ({survived}):")
    for m in survivors:
        print(f"  {where(m)}  {change(m)}")
    score = 100.0 * killed / tried if tried else 100.0
    print(f"\nScore {name}/: {killed} killed of {tried} ({score:.1f} %), "
          f"{uncompiled} did not compile")
    return 0 if survived == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
