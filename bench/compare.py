#!/usr/bin/env python3
"""Runs a tablog program and its reference on the same scripts and compares
everything they do: the output file byte for byte, the console text and
the exit status.

  compare.py --ref PATH [--new PATH] [--random N] [--bench N] [--workloads W1,S1,...]
             [--seed S] [--jobs 2] [--timeout 30] [--bench-timeout 600] [--memory-mb 512]
             [--dir DIR]
  compare.py --show I [--seed S]     (prints random script I)

A redesign keeps every output byte; the reference is the program as it was
before (./dev compare builds it from a git revision). The scripts are:

  - every examples/*.tl;
  - every file in fuzz/seeds/ and fuzz/regressions/;
  - --random N scripts (10,000 by default) from the generator below: small,
    seeded by --seed and their number, each a different mix of
    declarations, data lines and rules, with the odd lines the language
    allows;
  - the gen.py workloads (--workloads, all by default) at --bench N rows
    (20,000 by default; 0: none).

Both programs run under the same limits: --timeout seconds (--bench-timeout
for the workloads) and, except for the workloads, an address space of
--memory-mb, under which fuzz/regressions/out-of-memory.tl gives up with
its message. Two runs that both time out count as equal. When only the
reference times out, nothing can be compared: the script is counted as
unchecked, which is not a failure (the reference can be far slower, as on
S1 at 1,000,000 rows); when only the new program times out, the scripts
differ. Scripts run in parallel over --jobs processes.

A script that differs is kept, with both outputs and consoles, in
DIR/differ/NAME/ (DIR defaults to /tmp/tablog-compare; DIR/differ is
emptied at the start), and its paths are printed. The last line says
`compare: S scripts, D differ`; the exit status is 1 when D > 0.
Standard library only.
"""
import argparse
import glob
import multiprocessing
import os
import random
import resource
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the repository free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# ---------------------------------------------------------------------------
# The random scripts. Each is a few tables of a few rows over a small pool of
# values, so that atoms join and constants and conditions match, and a few
# rules. Two scripts in five are tidy: tables of fixed names and widths,
# rules that join them as a user would write them. The others are messy:
# any line may be odd. Sizes stay small: a rule over rule heads multiplies
# rows, and the point is many different scripts, not big ones.

NUMBERS = ["0", "1", "01", "001", "1.0", "1.5", "+1", "-1", "-01", "-0", "2", "2.5", "2.25", "7",
           "07", "9", "10", "100", " 7", "7 ", "1e3", "2147483647", "2147483648", "-2147483649",
           "99999999999999999999", "0x10", "12abc"]
WORDS = ["a", "abc", "b", "x y", "NULL", "null", "k01", "Zed", "-", "+", " ", "a'b", "Anna",
         "an ordinary long word", "\t"]
# Texts around the ten bytes a value holds in place, and texts that share
# their first eight bytes, which a sort of 8-byte keys must tell apart.
TEXTS = ["", "a", "b", "B", "Anna", "Bela", "x,y", "Smith, Anna", "1", "01", "10", "9", " a",
         "a ", "0123456789", "0123456789a", "abcdefgh", "abcdefgh1", "abcdefgh2", "abcdefghXYZ",
         "employee n0012345 of the firm", "employee n0012346 of the firm", "department of research",
         "Sales", "IT", "'", "''", "a'b"]
VARIABLES = ["A", "B", "C", "D", "N", "X", "Y", "Xa"]
Z_WORDS = ["Z", "Zq", "Zab", "Z1"]
TABLES = ["T", "U", "P", "Emp", "E", "Dept"]
HEADS = ["R", "S", "Q", "Anc", "Rich", "R2"]
OPS = ["=", "<", ">"]
COLUMNS = ["A", "B", "C", "D", "Name", "Dept", "X", "a", "Z1", " B", "A", ""]
# Lines that the language reads in surprising ways: rules with "<-" where
# it does not belong, parentheses in odd numbers and places, blanks, empty
# terms, operators that do not exist, and lines that look like one kind
# and are another.
ODD_LINES = ["<-", "T(A)<-", "<-T(A)", "x<-y<-z", "R(X)<-<-T(X)", "R((X))<-T((X)),((Y))",
             "(()<-)", "R(A) <- T(A)", "R(X)<-T(X),", "R(X)<-T(X),,T(X)", "R(X)<-T(X)<-U(X)",
             "R(X)<-T(X),X>", "R(X)<-T(X),X>=1", "R(X)<-T(X),X!=1", "Q<-", "P(X)<-X>1",
             "H<-T(A)", "'a<-b',1", "1<2", "<", "Emp (Name, Dept)", "(A)", "T(", "U)", "V(A))",
             "T(A,A)", "T()", "'Smith (Jr)'", "R(X)<-T(X))", "R(X)<-(T(X)", "R(X)<-T(X,(Y))",
             "R(X,Y)<-T(X),Y=", "R(X)<-T(X),X='1'", "S(X)<-T(X),T(X)", "#comment(1)", "   ",
             "R(X)<-T(X),Zq>1", "R(X)<-Z(X)", "Z(A)", "T(A)<-T(A),T(A)"]


def literal(rng, odd=1):
    """A value as a data line writes it: quoted (in messy scripts now and
    then without its closing quote), plain number, plain word or empty."""
    r = rng.random()
    if r < 0.4:
        return "'" + rng.choice(TEXTS) + ("" if rng.random() < 0.05 * odd else "'")
    if r < 0.7:
        return rng.choice(NUMBERS)
    if r < 0.9:
        return rng.choice(WORDS)
    return ""


class ScriptMaker:
    """Makes one script. `odd` is the chance of each oddity: 0 for a tidy
    script. tables and heads map the names a rule can use to their widths."""

    def __init__(self, rng, odd):
        self.rng, self.odd = rng, odd
        self.pool = [literal(rng, odd) for _ in range(rng.randint(3, 8))]
        self.tables, self.heads = {}, {}

    def chance(self, p):
        return self.rng.random() < p * self.odd

    def value(self):
        """A value of the pool (of 3 to 8), mostly, so that rows share values."""
        rng = self.rng
        return rng.choice(self.pool) if rng.random() < 0.9 - 0.15 * self.odd else literal(rng, self.odd)

    def table(self, rows):
        """A declaration and its data lines: repeated rows, and in messy
        scripts rows with too few or too many values."""
        rng = self.rng
        name = rng.choice(TABLES[:3] if not self.odd else TABLES)
        if not self.odd and name in self.tables:
            width = self.tables[name]
        else:
            width = rng.randint(1, 4)
        cols = [rng.choice(COLUMNS) if self.chance(0.15) else "ABCD"[k] for k in range(width)]
        self.tables.setdefault(name, width)  # rules find the first declaration
        lines = []
        for _ in range(rng.randint(0 if self.odd else 1, rows)):
            if lines and rng.random() < 0.2:
                lines.append(rng.choice(lines))
                continue
            k = width + (rng.choice([-1, 1, 2]) if self.chance(0.1) else 0)
            lines.append(",".join(self.value() for _ in range(max(1, k))))
        return ["%s(%s)" % (name, ",".join(cols))] + lines

    def constant(self):
        """A rule's constant: a value of the pool or any literal, now and
        then without its quotes."""
        v = self.value()
        if v.startswith("'") and self.rng.random() < 0.2:
            v = v[1:-1]
        return v

    def atom(self, name, width, variables, used):
        """name(args): variables (each once, now and then twice), constants,
        and in messy scripts Z-words, empty arguments, lower-case words and
        one argument more or fewer than the columns. The variables go into
        `used`."""
        rng, args = self.rng, []
        free = rng.sample(variables, len(variables))
        for _ in range(max(0, width + (rng.choice([-1, 1]) if self.chance(0.15) else 0))):
            r = rng.random()
            if self.chance(0.3):
                args.append(rng.choice(Z_WORDS + ["", "", "x", "abc", "k01"]))
            elif r < 0.9 - 0.1 * self.odd:
                v = free.pop() if free and not self.chance(0.1) else rng.choice(variables)
                used.append(v)
                args.append(v)
            else:
                args.append(self.constant())
        return "%s(%s)" % (name, ",".join(args))

    def condition(self, variables):
        """V=c, V<c or V>c; in messy scripts also on a variable of no atom,
        against a variable's name, or with the constant on the left."""
        rng = self.rng
        var = rng.choice(variables + ["W", "Zq"] if self.odd else variables)
        value = rng.choice(VARIABLES) if self.chance(0.1) else self.constant()
        if self.chance(0.1):
            return value + rng.choice(OPS) + var
        return var + rng.choice(OPS) + value

    def rule(self):
        """A rule over the tables, the heads so far and unknown names; its
        head is new, a head again, a declared table or (recursive) a table
        of its own body. heads gains a new head."""
        rng = self.rng
        variables = rng.sample(VARIABLES, rng.randint(2, 5))
        n = rng.choices([1, 2, 3, 4], [30, 45, 20, 5])[0]
        if self.heads and rng.random() < 0.3:
            n = min(n, 2)  # atoms of rule heads multiply rows: few of them
        known = list(self.tables) + list(self.heads)
        body, used = [], []
        for _ in range(n):
            r = rng.random()
            if self.chance(0.1) or not known:
                name = rng.choice(HEADS + TABLES + ["Nope", " T", "t"])
            elif r < 0.75 and self.tables:
                name = rng.choice(list(self.tables))
            else:
                name = rng.choice(known)
            width = self.tables.get(name, self.heads.get(name, rng.randint(1, 3)))
            body.append(self.atom(name, width, variables, used))
        for _ in range(rng.choices([0, 1, 2], [55, 35, 10])[0]):
            # After an atom, as it is meant; in messy scripts anywhere.
            k = rng.randint(0, len(body)) if self.chance(0.5) else rng.randint(1, len(body))
            body.insert(k, self.condition(variables))
        r = rng.random()
        if r < 0.6 or not known:
            name = rng.choice(HEADS)
        elif r < 0.85:
            name = rng.choice(known)
        else:
            name = body[-1].split("(")[0] if "(" in body[-1] else rng.choice(HEADS)
        seen = sorted(set(used)) if used and not self.chance(0.3) else variables
        head_vars = rng.sample(seen, min(len(seen), rng.choices([0, 1, 2, 3], [5, 35, 45, 15])[0]))
        if self.chance(0.1):
            head_vars.append(rng.choice(Z_WORDS + ["W"]))
        if name not in self.tables and name not in self.heads:
            self.heads[name] = len(head_vars)
        arrow = "<-" if not self.chance(0.05) else rng.choice([" <- ", "<-<-", "<- "])
        return "%s(%s)%s%s" % (name, ",".join(head_vars), arrow, ",".join(body))


def random_script(seed, index):
    """Script number `index` of the seed: bytes, the same on every call."""
    rng = random.Random("compare/%d/%d" % (seed, index))
    m = ScriptMaker(rng, 0 if rng.random() < 0.4 else 1)
    rows = 8 if rng.random() < 0.8 else 25
    lines = []
    if m.chance(0.1):
        lines.append(",".join(literal(rng) for _ in range(2)))  # data before any declaration
    for _ in range(rng.randint(0 if m.odd else 2, 4)):
        lines += m.table(rows)
        if rng.random() < 0.15:
            lines.append(m.rule())  # a rule between the tables
    for _ in range(rng.choices(range(7), [5 if m.odd else 0, 20, 25, 20, 12, 8, 5])[0]):
        lines.append(m.rule())
    if m.odd:
        for _ in range(rng.choices([0, 1, 2], [55, 35, 10])[0]):
            lines.insert(rng.randint(0, len(lines)), rng.choice(ODD_LINES))
        if rng.random() < 0.1:
            lines.insert(rng.randint(0, len(lines)), "")
        if rng.random() < 0.05 and lines:  # a NUL (cuts its line), a high byte
            k = rng.randrange(len(lines))
            lines[k] += rng.choice(["\0x", "\xe9", "\xff,1"])
    ends = ["\n"] * len(lines)
    r = rng.random()
    if r < 0.07:
        ends = ["\r\n"] * len(lines)  # saved with CR LF
    elif r < 0.14 and m.odd:
        ends = [rng.choice(["\n", "\n", "\r\n", "\r\r\n"]) for _ in lines]
    if ends and rng.random() < 0.05:
        ends[-1] = ""  # no line end after the last line
    return "".join(line + end for line, end in zip(lines, ends)).encode("latin-1")


# ---------------------------------------------------------------------------
# Running and comparing.

CONFIG = {}  # set in each worker process by init()


def init(config):
    CONFIG.update(config)
    os.makedirs(CONFIG["work"], exist_ok=True)
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # a crash leaves no core file


def run(program, script, out, timeout, memory_mb):
    """Runs `program script out`; returns (status, stdout, stderr, output
    file bytes or None), or None when it timed out."""
    if os.path.exists(out):
        os.remove(out)
    # The child inherits the cap from this process, which holds it only while
    # it starts the child: without a function to run between fork and exec,
    # the start is a cheap vfork. (The workers are small, fresh processes;
    # see main.)
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    if memory_mb:
        resource.setrlimit(resource.RLIMIT_AS, (memory_mb << 20, hard))
    try:
        p = subprocess.Popen([program, script, out], stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    finally:
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    try:
        stdout, stderr = p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
        return None
    output = None
    if os.path.exists(out):
        with open(out, "rb") as f:
            output = f.read()
    return p.returncode, stdout, stderr, output


def check(case):
    """Runs one case through both programs: (kind, name, verdict, details).
    verdict: same, timeout (both), unchecked (the reference only) or differ;
    details name what differs and where it is kept."""
    kind, name, source = case
    work = os.path.join(CONFIG["work"], str(os.getpid()))
    os.makedirs(work, exist_ok=True)
    made = []  # generated files, removed afterwards
    if kind == "random":
        script = os.path.join(work, "script.tl")
        with open(script, "wb") as f:
            f.write(random_script(CONFIG["seed"], source))
        made.append(script)
    elif kind == "bench":
        d = os.path.join(work, "bench")
        script = gen.generate(name.split("-")[0], source, d, CONFIG["seed"])[0]
        made.append(d)
    else:
        script = source
    bench = kind == "bench"
    timeout = CONFIG["bench_timeout" if bench else "timeout"]
    memory = 0 if bench else CONFIG["memory_mb"]
    outs = [os.path.join(work, "new.out"), os.path.join(work, "ref.out")]
    new = run(CONFIG["new"], script, outs[0], timeout, memory)
    ref = run(CONFIG["ref"], script, outs[1], timeout, memory)
    details = ""
    if new is None and ref is None:
        verdict = "timeout"
    elif ref is None:
        verdict = "unchecked"
    elif new == ref:
        verdict = "same"
    else:
        verdict = "differ"
        if new is None:
            what = ["the new program timed out after %g s" % timeout]
        else:
            what = [part for part, a, b in zip(["status", "console", "console (stderr)", "output file"],
                                               new, ref) if a != b]
        details = keep(kind, name, script, outs, new, ref, ", ".join(what))
    for path in made + outs:
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)
    return kind, name, verdict, details


def keep(kind, name, script, outs, new, ref, what):
    """Copies a differing case into DIR/differ/KIND-NAME/; returns the lines to print."""
    d = os.path.join(CONFIG["differ"], "%s-%s" % (kind, name.replace("/", "_")))
    os.makedirs(d, exist_ok=True)
    kept = os.path.join(d, "script.tl")
    shutil.copyfile(script, kept)
    lines = ["differ: %s %s (%s)" % (kind, name, what), "  script: %s" % kept]
    for label, out, r in (("new", outs[0], new), ("ref", outs[1], ref)):
        path = os.path.join(d, label + ".out")
        if r is None:
            lines.append("  %s: timed out" % label)
            continue
        if os.path.exists(out):
            shutil.copyfile(out, path)
        console = os.path.join(d, label + ".console")
        with open(console, "wb") as f:
            f.write(r[1] + r[2])
        lines.append("  %s: %s (status %d, console in %s)"
                     % (label, path if r[3] is not None else "no output file", r[0], console))
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--ref", help="the reference tablog program (required but with --show)")
    ap.add_argument("--new", default=os.path.join(ROOT, "build", "tablog"), help="the program checked")
    ap.add_argument("--random", type=int, default=10000, help="random scripts")
    ap.add_argument("--bench", type=int, default=20000, help="rows of the gen.py workloads; 0: none")
    ap.add_argument("--workloads", default="all", help="comma-separated gen.py workloads, or all")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=float, default=30, help="seconds per run of a script")
    ap.add_argument("--bench-timeout", type=float, default=600, help="seconds per run of a workload")
    ap.add_argument("--memory-mb", type=int, default=512, help="address space of a script's run")
    ap.add_argument("--dir", default="/tmp/tablog-compare")
    ap.add_argument("--show", type=int, metavar="I", help="print random script I and stop")
    a = ap.parse_args()
    if a.show is not None:
        sys.stdout.buffer.write(random_script(a.seed, a.show))
        return 0
    if not a.ref:
        ap.error("--ref is required")
    for p in (a.new, a.ref):
        if not os.access(p, os.X_OK):
            sys.exit("no program at %s" % p)
    workloads = gen.WORKLOADS if a.workloads == "all" else [w.strip() for w in a.workloads.split(",")]
    for w in workloads:
        if w not in gen.WORKLOADS:
            sys.exit("unknown workload %s" % w)

    cases = []
    for kind, pattern in (("example", "examples/*.tl"), ("seed", "fuzz/seeds/*"),
                          ("regression", "fuzz/regressions/*")):
        cases += [(kind, os.path.basename(p), p) for p in sorted(glob.glob(os.path.join(ROOT, pattern)))
                  if os.path.isfile(p)]
    cases += [("random", "%05d" % i, i) for i in range(a.random)]
    # The workloads go first, P1 and S1 (the longest) ahead of the others.
    workloads = sorted(workloads, key=lambda w: w not in ("P1", "S1"))
    bench = [("bench", "%s-%d" % (w, a.bench), a.bench) for w in workloads] if a.bench else []

    differ_dir = os.path.join(a.dir, "differ")
    shutil.rmtree(differ_dir, ignore_errors=True)
    work = os.path.join(a.dir, "work")
    shutil.rmtree(work, ignore_errors=True)
    config = {"new": os.path.abspath(a.new), "ref": os.path.abspath(a.ref), "seed": a.seed,
              "timeout": a.timeout, "bench_timeout": a.bench_timeout, "memory_mb": a.memory_mb,
              "work": work, "differ": differ_dir}
    print("compare: %s against the reference %s" % (config["new"], config["ref"]), file=sys.stderr)
    start = time.perf_counter()
    counts = {"same": 0, "timeout": 0, "unchecked": 0, "differ": 0}
    listed = {"timeout": [], "unchecked": []}
    done = 0
    # A worker ends after each task (a workload, or 32 scripts): the memory
    # that generating a workload took goes with it, and the address space
    # cap of run() stays above what a worker holds.
    with multiprocessing.Pool(a.jobs, init, (config,), maxtasksperchild=1) as pool:
        parts = [pool.imap_unordered(check, bench, 1)] if bench else []
        parts.append(pool.imap_unordered(check, cases, 32))
        for part in parts:
            for kind, name, verdict, details in part:
                counts[verdict] += 1
                done += 1
                if details:
                    print(details, flush=True)
                if verdict in listed:
                    listed[verdict].append("%s %s" % (kind, name))
                if kind == "bench" or done % 1000 == 0:
                    print("  %d/%d done (%s %s: %s), %.0f s" % (done, len(cases) + len(bench), kind,
                                                               name, verdict, time.perf_counter() - start),
                          file=sys.stderr)
    shutil.rmtree(work, ignore_errors=True)
    for verdict, text in (("timeout", "timed out in both"),
                          ("unchecked", "unchecked (the reference timed out, the new program did not)")):
        if listed[verdict]:
            print("%s: %s" % (text, ", ".join(sorted(listed[verdict]))))
    extra = "".join(", %d %s" % (counts[k], label) for k, label in
                    (("timeout", "timed out in both"), ("unchecked", "unchecked")) if counts[k])
    print("compare: %d scripts, %d differ%s (%d examples and fuzz files, %d random, %d workloads at"
          " N=%d; %.0f s)" % (done, counts["differ"], extra, len(cases) - a.random, a.random,
                             len(bench), a.bench, time.perf_counter() - start))
    return 1 if counts["differ"] else 0


if __name__ == "__main__":
    sys.exit(main())
