#!/usr/bin/env python3
"""Runs the gen.py workloads through build/tablog and through sqlite3.

  run.py [--workloads W1,W2,W3,W4] [--n 10000,100000] [--runs 3] [--timeout 300] [--bin PATH]
         [--ref PATH]

--workloads also takes the groups `messy` (M1..M5 and M1J..M5J) and `all`.
Measures wall time and peak RSS of each run and prints a markdown table of
medians with the tablog/sqlite3 ratios, the tablog time against W1 and the
peak memory against W3 at the same N (when those ran too), the growth of the
time from each N to the next, and the targets. A workload whose tablog run
times out is not run at the larger N; one whose size does not follow N
(P1) runs at the first N only. Generated files go to --dir (default
/tmp/tablog-bench), never into the repository. Started by `./dev bench ARGS`,
which builds build/tablog first.

With --ref, a second tablog program (the reference: the program as it was
before a change) runs in turns with --bin, run by run, so that both meet
the same moments of a noisy machine. The table adds the reference's
medians, the ratios new/ref (flagged with ! above 1.05) and whether the two
output files are the same byte for byte. `./dev bench --ref-rev REV` builds
the program of a git revision and passes it as --ref.
"""
import argparse
import filecmp
import os
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # keep the repository free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GNU_TIME = "/usr/bin/time"
# Stated in README.md; printed under the results.
TARGETS = ("W1-W3 <= 0.15x sqlite3 time; W3 peak <= 150 MB; M4J (bare words joined) <= 200 MB and"
           " <= 2x W1 time; M1..M5J <= 150 MB and <= 2x W1 time; at N=10,000,000 W1 and W3"
           " grow <= 11x from 1,000,000 and W3 stays under 1.5 GB; S1 <= 2x W1 time; P1 <= 3 s;"
           " with --ref, W1-W3, M1-M5 and M1J-M5J within 1.05x of the reference's time and peak")
FLAG = 1.05  # a new/ref ratio above this is flagged
GROUPS = {"messy": [w for w in gen.WORKLOADS if w[0] == "M"], "all": list(gen.WORKLOADS)}


def measure(argv, stdin_path, timeout):
    """Runs argv once; returns (wall seconds, peak RSS in MB, exit status) or None on timeout."""
    use_time = os.access(GNU_TIME, os.X_OK)
    tfile = "/tmp/tablog-bench-time.%d" % os.getpid()
    cmd = [GNU_TIME, "-v", "-o", tfile] + argv if use_time else argv
    stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdin=stdin, stdout=subprocess.DEVNULL, start_new_session=True)
    timed_out = threading.Event()

    def kill():  # the whole process group that this run started
        timed_out.set()
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass

    timer = threading.Timer(timeout, kill)
    timer.start()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    timer.cancel()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if stdin_path:
        stdin.close()
    if timed_out.is_set():
        return None
    rss_kb = usage.ru_maxrss  # without GNU time: the child's own peak (KB)
    if use_time:
        with open(tfile) as f:
            for line in f:
                if "Maximum resident set size" in line:
                    rss_kb = int(line.rsplit(":", 1)[1])
                elif "Exit status" in line:
                    proc.returncode = int(line.rsplit(":", 1)[1])
        os.remove(tfile)
    return wall, rss_kb / 1024.0, proc.returncode


def data_rows(path, extra):
    """Rows written: the lines of the output file less `extra` lines."""
    with open(path, "rb") as f:
        return sum(1 for _ in f) - extra


def bench_runs(programs, runs, timeout):
    """Runs each of `programs` (label, argv, stdin path, output path, extra
    lines) `runs` times, in turns: in even rounds in the order given, in odd
    ones in reverse, so that each goes first as often as the others. Returns
    per program the median (wall, MB) and the rows written, or None after a
    timeout; a program that timed out is not run again.
    """
    results = [[] for _ in programs]
    alive = [True] * len(programs)
    for i in range(runs):
        for k in (range(len(programs)) if i % 2 == 0 else reversed(range(len(programs)))):
            if not alive[k]:
                continue
            label, argv, stdin_path = programs[k][:3]
            r = measure(argv, stdin_path, timeout)
            if r is None:
                print("  %s: timeout after %d s" % (label, timeout), file=sys.stderr)
                alive[k] = False
                continue
            if r[2] != 0:
                sys.exit("%s failed with status %d" % (label, r[2]))
            results[k].append(r)
            print("  %s: %.3f s, %.1f MB" % (label, r[0], r[1]), file=sys.stderr)
    return [(statistics.median(r[0] for r in rs), statistics.median(r[1] for r in rs),
             data_rows(p[3], p[4])) if ok else None
            for p, rs, ok in zip(programs, results, alive)]


def bench_one(label, argv, stdin_path, out, extra, runs, timeout):
    """Median (wall, MB) over runs and the rows written, or None after a timeout."""
    return bench_runs([(label, argv, stdin_path, out, extra)], runs, timeout)[0]


def fmt(x, pattern):
    return "timeout" if x is None else pattern % x


def ratio(x, y, pattern="%.2f"):
    """x / y, or "-" when either is missing. An x given as a string (the limit
    of a run that timed out) gives a lower bound, ">...".
    """
    if x is None or not y or isinstance(y, str):
        return "-"
    if isinstance(x, str):
        return ">" + pattern % (float(x) / y)
    return pattern % (x / y)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--workloads", default="W1,W2,W3,W4",
                    help="comma-separated, of %s, or the groups messy, all" % ",".join(gen.WORKLOADS))
    ap.add_argument("--n", default="10000,100000", help="comma-separated row counts")
    ap.add_argument("--runs", type=int, default=3, help="runs per program and workload")
    ap.add_argument("--timeout", type=float, default=300, help="seconds per run")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "tablog"), help="the tablog program")
    ap.add_argument("--ref", help="a reference tablog program, run in turns with --bin")
    ap.add_argument("--dir", default="/tmp/tablog-bench")
    ap.add_argument("--no-sqlite", action="store_true", help="run tablog only")
    a = ap.parse_args()
    workloads = []
    for w in (w.strip() for w in a.workloads.split(",") if w.strip()):
        for x in GROUPS.get(w.lower(), [w.upper()]):
            if x not in gen.WORKLOADS:
                sys.exit("unknown workload %s" % x)
            if x not in workloads:
                workloads.append(x)
    sizes = [int(s.replace("_", "")) for s in a.n.split(",") if s.strip()]
    if not os.access(a.bin, os.X_OK):
        sys.exit("no program at %s: build it first (./dev bench builds it)" % a.bin)
    if a.ref and not os.access(a.ref, os.X_OK):
        sys.exit("no reference program at %s" % a.ref)
    sqlite = None if a.no_sqlite else shutil.which("sqlite3")
    if not a.no_sqlite and not sqlite:
        sys.exit("sqlite3 not found (or pass --no-sqlite)")

    # (workload, n) -> (tablog result, sqlite3 result, reference result,
    # whether the outputs of tablog and the reference are the same); None =
    # timeout or not run.
    res = {}
    skipped = set()  # workloads whose tablog run timed out at a smaller N
    ref_skipped = {}  # workload -> the N at which its reference run timed out
    for n in sizes:
        for w in workloads:
            if w in skipped:
                print("%s N=%d: skipped (timed out at a smaller N)" % (w, n), file=sys.stderr)
                continue
            if w in gen.FIXED and n != sizes[0]:
                continue  # the same script at every N
            d = os.path.join(a.dir, str(n))
            print("%s N=%d: generating in %s" % (w, n, d), file=sys.stderr)
            script, sql, sql_out, tables = gen.generate(w, n, d, a.seed)
            rules = len(gen.RULES.get(w, []))
            out = os.path.join(d, w + ".tablog.out")
            # tablog also writes the rules, an empty line, and per table a
            # header and an empty line; sqlite3 writes rows only.
            extra = rules + 1 + 2 * tables
            programs = [("tablog", [a.bin, script, out], None, out, extra)]
            ref_out = os.path.join(d, w + ".ref.out")
            if a.ref and w not in ref_skipped:
                programs.append(("ref", [a.ref, script, ref_out], None, ref_out, extra))
            t, r = (bench_runs(programs, a.runs, a.timeout) + [None])[:2]
            if t is None:
                skipped.add(w)
            if a.ref and r is None:
                ref_skipped.setdefault(w, n)
            same = filecmp.cmp(out, ref_out, shallow=False) if t and r else None
            s = None
            if sqlite:
                argv = [sqlite, "-batch", "-bail", "-init", "/dev/null", ":memory:"]
                s = bench_one("sqlite3", argv, sql, sql_out, 0, a.runs, a.timeout)
            res[w, n] = (t, s, r, same)

    def secs(r):  # seconds of one result; a timeout as the string of its limit
        return r[0] if r else ("%g" % a.timeout)

    def tablog(w, n, i):  # field i (0 = seconds, 1 = MB) of tablog's result, or None
        r = res.get((w, n))
        if r and i == 0:
            return secs(r[0])
        return r[0][i] if r and r[0] else None

    def versus_ref(x, y):  # new / ref, flagged above FLAG; "<" when only the reference timed out
        if x is None:
            return "-"
        if y is None:
            return "<%.2f" % (x / a.timeout)
        q = x / y
        return "%.2f%s" % (q, " !" if q > FLAG else "")

    refs = " reference: %s;" % a.ref if a.ref else ""
    print("\nMedian of %d runs; machine: %d cores; program: %s;%s Rows = data rows written;"
          " x W1 = tablog time / W1's tablog time, x W3 = tablog MB / W3's tablog MB,"
          " both at the same N; >x: a lower bound from a run that timed out.%s\n"
          % (a.runs, os.cpu_count(), a.bin, refs,
             " new/ref: tablog / reference, ! above %.2f; same: the two output files"
             " are equal byte for byte." % FLAG if a.ref else ""))
    ref_cols = " ref s | ref MB | time new/ref | MB new/ref | same |" if a.ref else ""
    print("| Workload | N | tablog s | tablog MB |%s x W1 time | x W3 MB | sqlite3 s | sqlite3 MB"
          " | time ratio | memory ratio | rows tablog / sqlite3 |" % ref_cols)
    print("|---|---:|---:|---:|" + ("---:|" * 4 + "---|" if a.ref else "") + "---:|" * 7)
    for n in sizes:
        for w in workloads:
            if (w, n) not in res:
                continue
            t, s, r, same = res[w, n]
            ts = fmt(t and t[0], "%.3f")
            tm = fmt(t and t[1], "%.1f")
            refc = ""
            if a.ref:
                gone = "skipped" if ref_skipped.get(w, n) < n else None
                refc = " %s | %s | %s | %s | %s |" % (
                    gone or fmt(r and r[0], "%.3f"), gone or fmt(r and r[1], "%.1f"),
                    "-" if gone else versus_ref(t and t[0], r and r[0]),
                    versus_ref(t and t[1], r[1]) if r else "-",
                    "-" if same is None else ("yes" if same else "NO"))
            w1 = ratio(tablog(w, n, 0), tablog("W1", n, 0))
            w3 = ratio(tablog(w, n, 1), tablog("W3", n, 1))
            ss = fmt(s and s[0], "%.3f") if sqlite else "-"
            sm = fmt(s and s[1], "%.1f") if sqlite else "-"
            tr = "%.2f" % (t[0] / s[0]) if t and s else "-"
            mr = "%.2f" % (t[1] / s[1]) if t and s else "-"
            rows = "%s / %s" % (t[2] if t else "-", s[2] if s else "-")
            print("| %s | %d | %s | %s |%s %s | %s | %s | %s | %s | %s | %s |"
                  % (w, n, ts, tm, refc, w1, w3, ss, sm, tr, mr, rows))

    steps = list(zip(sizes, sizes[1:]))
    if steps:
        print("\nGrowth of the time from one N to the next (tablog / %ssqlite3):\n"
              % ("reference / " if a.ref else ""))
        print("| Workload | " + " | ".join("%d to %d" % st for st in steps) + " |")
        print("|---|" + "---:|" * len(steps))
        for w in workloads:
            cells = []
            for x, y in steps:
                rx, ry = res.get((w, x)), res.get((w, y))
                if rx is None or ry is None:
                    cells.append("-")
                    continue
                g = [ratio(secs(q), p and p[0], "%.1fx") for p, q in zip(rx[:3], ry[:3])]
                cells.append(" / ".join([g[0]] + ([g[2]] if a.ref else []) + [g[1] if sqlite else "-"]))
            print("| %s | %s |" % (w, " | ".join(cells)))
    print("\nTargets at N=1,000,000: " + TARGETS)


if __name__ == "__main__":
    main()
