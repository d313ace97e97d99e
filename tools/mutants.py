#!/usr/bin/env python3
"""Mutation testing: plants one small fault at a time in chosen source files, rebuilds, runs the
matching tests and reports which faults no test noticed (the survivors).

    tools/mutants.py [--build DIR] [--tests REGEX] [--targets T ...] [--sample N] [--seed S]
                     [--lines A-B] [--timeout SEC] [--list] FILE ...

Faults, one token each: comparison operators (== != < <= > >=), arithmetic (+ - * / += -=
++ --), logical (&& ||), a negated condition (if/while), an integer constant one higher or one
lower, true/false swapped, and a deleted statement.  Comments, string and character literals
and preprocessor lines are left alone.  A mutant that does not compile is "stillborn" and not
counted; one whose tests fail or time out is "killed"; one whose tests all pass "survived".

Each mutant rebuilds the build directory (only what changed) and runs ctest -R REGEX there.
The original file is always put back, also on Ctrl-C.  The build directory must already be
configured (cmake -S . -B DIR).  Survivors are printed as FILE:LINE with the changed line; the
score is killed / (killed + survived).
"""
import argparse
import os
import random
import re
import signal
import subprocess
import sys
import time

COMPARISONS = {"==": ["!="], "!=": ["=="], "<": ["<=", ">"], "<=": ["<", ">"],
               ">": [">=", "<"], ">=": [">", "<"]}
ARITHMETIC = {"+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"], "+=": ["-="], "-=": ["+="],
              "%": ["*"]}
LOGICAL = {"&&": ["||"], "||": ["&&"]}
INCDEC = {"++": ["--"], "--": ["++"]}
STATEMENT_START = re.compile(
    r"^\s*(?!return\b|case\b|default\b|break\b|continue\b|else\b|\}|\{|#|//|public:|private:|"
    r"protected:)[A-Za-z_*(].*;\s*$")
DECLARATION = re.compile(
    r"^\s*(const\s+|static\s+|constexpr\s+|inline\s+|auto\b|int\b|bool\b|size_t\b|double\b|"
    r"float\b|char\b|long\b|unsigned\b|uint\d+_t\b|int\d+_t\b|std::|using\b|typedef\b|"
    r"struct\b|class\b|enum\b|namespace\b|template\b|[A-Z]\w*(<[^;]*>)?[&*]?\s+[a-z_]\w*\s*[;={(])")


def code_mask(text):
    """A list of booleans: True where a character is code (not comment, literal or directive)."""
    mask = [True] * len(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c == "#":
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                mask[k] = False
            i = j
            continue
        if c == "\n":
            line_start = True
            i += 1
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                mask[k] = False
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            for k in range(i, j):
                mask[k] = False
            i = j
        elif c == 'R' and text.startswith('R"', i):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(")" + (m.group(1) if m else "") + '"', i)
            j = n if end < 0 else end + len(m.group(1) if m else "") + 2
            for k in range(i, j):
                mask[k] = False
            i = j
        elif c in "\"'":
            if c == "'" and i > 0 and (text[i - 1].isalnum()):
                i += 1  # a digit separator such as 1'000
                continue
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            for k in range(i, min(j + 1, n)):
                mask[k] = False
            i = j + 1
        else:
            i += 1
    return mask


def mutants(text):
    """Every mutant of a text: (offset, length, replacement, kind)."""
    mask = code_mask(text)
    out = []

    def is_code(a, b):
        return all(mask[a:b])

    # Operators surrounded by spaces (how the code is formatted), so that template brackets,
    # pointers and references are not taken for comparisons and arithmetic.
    for m in re.finditer(r"(?<= )(==|!=|<=|>=|<|>|\+=|-=|\+|-|\*|/|%|&&|\|\|)(?= )", text):
        op = m.group(1)
        if not is_code(m.start(), m.end()):
            continue
        for table, kind in ((COMPARISONS, "comparison"), (ARITHMETIC, "arithmetic"),
                            (LOGICAL, "logical")):
            for repl in table.get(op, []):
                out.append((m.start(), len(op), repl, kind))
    for m in re.finditer(r"\+\+|--", text):
        if is_code(m.start(), m.end()):
            out.append((m.start(), 2, INCDEC[m.group(0)][0], "arithmetic"))
    for m in re.finditer(r"\b(if|while) \(", text):
        start = m.end()
        depth, j = 1, start
        while j < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[j], 0)
            j += 1
        if depth == 0 and is_code(m.start(), j):
            cond = text[start:j - 1]
            out.append((start, len(cond), "!(" + cond + ")", "negated condition"))
    for m in re.finditer(r"(?<![\w.])(\d+)(?![\w.'])", text):
        if not is_code(m.start(), m.end()):
            continue
        value = int(m.group(1))
        out.append((m.start(), len(m.group(1)), str(value + 1), "constant"))
        if value > 0:
            out.append((m.start(), len(m.group(1)), str(value - 1), "constant"))
    for m in re.finditer(r"\b(true|false)\b", text):
        if is_code(m.start(), m.end()):
            out.append((m.start(), len(m.group(1)),
                        "false" if m.group(1) == "true" else "true", "boolean"))
    offset = 0
    for line in text.splitlines(keepends=True):
        body = line.rstrip("\n")
        if (STATEMENT_START.match(body) and not DECLARATION.match(body) and
                is_code(offset, offset + len(body.rstrip()))):
            indent = len(body) - len(body.lstrip())
            out.append((offset + indent, len(body) - indent, "", "deleted statement"))
        offset += len(line)
    return sorted(set(out))


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def run(cmd, timeout, cwd=None):
    """Runs a command in a session of its own; on a time-out the whole session is killed, so
    that a test caught in an endless loop does not outlive its run."""
    start = time.time()
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        return proc.returncode, out.decode(errors="replace"), time.time() - start
    except subprocess.TimeoutExpired:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        out, _ = proc.communicate()
        return None, out.decode(errors="replace"), time.time() - start


def summary(counts):
    counted = counts["killed"] + counts["survived"]
    score = 100.0 * counts["killed"] / counted if counted else 0.0
    return (f"killed {counts['killed']}, survived {counts['survived']}, "
            f"stillborn {counts['stillborn']}: score {score:.1f} %")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--build", default="build", help="configured build directory")
    parser.add_argument("--tests", default=".", help="ctest -R regular expression")
    parser.add_argument("--targets", nargs="*", default=[],
                        help="build only these targets (default: everything)")
    parser.add_argument("--sample", type=int, default=0, help="at most N mutants per file")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--lines", default="", help="only lines A-B of each file")
    parser.add_argument("--timeout", type=float, default=300,
                        help="seconds for the tests of one mutant (a hang counts as killed)")
    parser.add_argument("--list", action="store_true", help="only list the mutants")
    args = parser.parse_args()

    interrupted = []
    signal.signal(signal.SIGINT, lambda *_: interrupted.append(True))
    totals = {"killed": 0, "survived": 0, "stillborn": 0}
    per_file = {}
    build = ["cmake", "--build", args.build]
    for t in args.targets:
        build += ["--target", t]
    survivors = []
    for path in args.files:
        original = open(path, encoding="utf-8").read()
        found = mutants(original)
        if args.lines:
            a, b = (int(x) for x in args.lines.split("-"))
            found = [m for m in found if a <= line_of(original, m[0]) <= b]
        if args.sample and len(found) > args.sample:
            found = sorted(random.Random(args.seed).sample(found, args.sample))
        print(f"== {path}: {len(found)} mutants", flush=True)
        counts = per_file.setdefault(path, {"killed": 0, "survived": 0, "stillborn": 0})
        try:
            for number, (offset, length, repl, kind) in enumerate(found, 1):
                if interrupted:
                    break
                line = line_of(original, offset)
                before = original[offset:offset + length]
                label = f"{path}:{line} {kind}: '{before}' -> '{repl}'"
                if args.list:
                    print(label)
                    continue
                mutated = original[:offset] + repl + original[offset + length:]
                with open(path, "w", encoding="utf-8") as f:
                    f.write(mutated)
                code, output, _ = run(build, 900)
                if code != 0:
                    totals["stillborn"] += 1
                    counts["stillborn"] += 1
                    print(f"[{number}/{len(found)}] stillborn {label}", flush=True)
                    continue
                code, output, seconds = run(
                    ["ctest", "--test-dir", args.build, "-R", args.tests, "-j2",
                     "--timeout", str(int(args.timeout)), "--stop-on-failure"],
                    args.timeout)
                if code == 0 and "No tests were found" in output:
                    sys.exit(f"no test matches {args.tests!r}")
                status = "survived" if code == 0 else "killed"
                totals[status] += 1
                counts[status] += 1
                print(f"[{number}/{len(found)}] {status} ({seconds:.1f} s) {label}", flush=True)
                if status == "survived":
                    survivors.append(label)
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
    if args.list:
        return 0
    # Rebuild the originals so the chosen targets are left as they were.
    run(build, 900)
    print("\nsurvivors:" if survivors else "\nno survivors")
    for s in survivors:
        print("  " + s)
    if len(per_file) > 1:
        for path, counts in per_file.items():
            print(f"{path}: {summary(counts)}")
    print(summary(totals))
    return 1 if interrupted else 0


if __name__ == "__main__":
    sys.exit(main())
