#!/usr/bin/env python3
"""Seeded benchmark workloads: one tablog script and the same data for sqlite3.

  gen.py WORKLOAD N OUTDIR [--seed S]

WORKLOAD is W1 (load), W2 (join), W3 (chain of joins) or W4 (rows without a
clean order). Writes into OUTDIR: WORKLOAD.tl (the script), WORKLOAD.sql (a
sqlite3 script doing the same loads, joins and sorted distinct outputs, all
written to WORKLOAD.sqlite.out) and one WORKLOAD-table.csv per table.
run.py imports this module and calls generate(). Standard library only.
"""
import argparse
import os
import random

WORKLOADS = ("W1", "W2", "W3", "W4")
DEPTS = 1000
KEYS = 1000


def q(text):
    return "'" + text + "'"


class Table:
    """One table: its script declaration, sqlite3 columns and rows.

    Each row is a list of fields as (script literal, sqlite3 value) pairs.
    """

    def __init__(self, name, cols, sql_types):
        self.name, self.cols, self.sql_types, self.rows = name, cols, sql_types, []


def employees(rng, n):
    """Emp(Name,Dept,Salary): n unique names, 1,000 depts, 5% exact repeats."""
    emp = Table("Emp", ["Name", "Dept", "Salary"], ["TEXT", "TEXT", "INTEGER"])
    ids = list(range(n))
    rng.shuffle(ids)
    for i in ids:
        name, dept, sal = "n%07d" % i, "d%04d" % rng.randrange(DEPTS), str(rng.randint(100000, 999999))
        emp.rows.append([(q(name), name), (q(dept), dept), (sal, sal)])
    emp.rows += [list(emp.rows[rng.randrange(n)]) for _ in range(n // 20)]
    rng.shuffle(emp.rows)
    return emp


def heads(rng):
    """Boss(Dept,Head), one row per dept, and Loc(Head,City), one per head."""
    boss = Table("Boss", ["Dept", "Head"], ["TEXT", "TEXT"])
    loc = Table("Loc", ["Head", "City"], ["TEXT", "TEXT"])
    perm = list(range(DEPTS))
    rng.shuffle(perm)
    for d in range(DEPTS):
        dept, head = "d%04d" % d, "h%04d" % perm[d]
        boss.rows.append([(q(dept), dept), (q(head), head)])
    for h in rng.sample(range(DEPTS), DEPTS):
        head, city = "h%04d" % h, "c%03d" % rng.randrange(100)
        loc.rows.append([(q(head), head), (q(city), city)])
    return boss, loc


def plain_number(rng, hi):
    """A plain number; one in ten written with a leading zero (7 and 07)."""
    x = rng.randrange(hi)
    return ("0%d" if rng.random() < 0.1 else "%d") % x


def mixed(rng, n):
    """Tables whose rows do not form a clean order.

    Mix(Key,Val): 1,000 quoted keys, plain numbers as 7 and 07, 1% Null.
    Word(Word,Key): unquoted words (all read as 0), keys quoted or not.
    Ref(Key,Grp): every key once quoted and once unquoted.
    In sqlite3 every field is the raw literal text, so quoted and unquoted
    texts and 7 and 07 stay distinct values; Null stays NULL.
    """
    keys = ["k%04d" % i for i in range(KEYS)]
    mix = Table("Mix", ["Key", "Val"], ["TEXT", "TEXT"])
    for _ in range(n * 62 // 100):
        k = q(rng.choice(keys))
        v = "" if rng.random() < 0.01 else plain_number(rng, 1000)
        mix.rows.append([(k, k), (v, v)])
    syllables = ["ka", "lo", "mi", "ne", "ru", "sa", "ti", "vo", "ze", "bu"]
    vocab = ["".join(rng.choice(syllables) for _ in range(4)) for _ in range(5000)]
    word = Table("Word", ["Word", "Key"], ["TEXT", "TEXT"])
    for _ in range(max(n * 35 // 100 - 2 * KEYS, n // 10)):
        k = rng.choice(keys)
        k = q(k) if rng.random() < 0.5 else k
        w = rng.choice(vocab)
        word.rows.append([(w, w), (k, k)])
    for t in (mix, word):
        t.rows += [list(rng.choice(t.rows)) for _ in range(len(t.rows) * 3 // 100)]
        rng.shuffle(t.rows)
    ref = Table("Ref", ["Key", "Grp"], ["TEXT", "TEXT"])
    for k in keys:
        for lit in (q(k), k):
            g = plain_number(rng, 50)
            ref.rows.append([(lit, lit), (g, g)])
    rng.shuffle(ref.rows)
    return mix, word, ref


# (head table, head columns, script rule, sqlite3 SELECT) per workload.
RULES = {
    "W2": [("Rich", ["N", "H"], "Rich(N,H)<-Boss(D,H),Emp(N,D,S),S>500000",
            "SELECT DISTINCT e.Name, b.Head FROM Boss b JOIN Emp e ON e.Dept = b.Dept"
            " WHERE e.Salary > 500000")],
    "W4": [("Big", ["K", "V", "G"], "Big(K,V,G)<-Ref(K,G),Mix(K,V),V>5",
            "SELECT DISTINCT m.Key, m.Val, r.Grp FROM Ref r JOIN Mix m ON m.Key = r.Key"
            " WHERE m.Val > '5'"),
           ("Tagged", ["W", "G"], "Tagged(W,G)<-Ref(K,G),Word(W,K)",
            "SELECT DISTINCT w.Word, r.Grp FROM Ref r JOIN Word w ON w.Key = r.Key")],
}
RULES["W3"] = RULES["W2"] + [
    ("Where", ["N", "C"], "Where(N,C)<-Loc(H,C),Rich(N,H)",
     "SELECT DISTINCT r.N, l.City FROM Loc l JOIN Rich r ON r.H = l.Head")]


def generate(workload, n, outdir, seed=1):
    """Writes the workload's files; returns the script path, the sql path,
    the sqlite3 output path and the number of tables the script prints."""
    rng = random.Random("%s/%d/%d" % (workload, n, seed))
    if workload == "W4":
        tables = list(mixed(rng, n))
    else:
        tables = [employees(rng, n)]
        if workload != "W1":
            boss, loc = heads(rng)
            tables += [boss, loc] if workload == "W3" else [boss]
    rules = RULES.get(workload, [])
    os.makedirs(outdir, exist_ok=True)
    base = os.path.join(outdir, workload)
    with open(base + ".tl", "w") as f:
        for t in tables:
            f.write("%s(%s)\n" % (t.name, ",".join(t.cols)))
            f.write("".join(",".join(lit for lit, _ in r) + "\n" for r in t.rows))
        f.write("".join(rule + "\n" for _, _, rule, _ in rules))
    out = base + ".sqlite.out"
    sql = [".mode csv"]
    for t in tables:
        csv = "%s-%s.csv" % (base, t.name)
        with open(csv, "w") as f:
            f.write("".join(",".join(v for _, v in r) + "\n" for r in t.rows))
        cols = ", ".join("%s %s" % c for c in zip(t.cols, t.sql_types))
        sql += ['CREATE TABLE "%s"(%s);' % (t.name, cols), ".import %s %s" % (csv, t.name)]
        # .import reads empty fields as empty texts; the script reads them as Null.
        sql += ["UPDATE \"%s\" SET %s = NULL WHERE %s = '';" % (t.name, c, c)
                for i, c in enumerate(t.cols) if any(r[i][0] == "" for r in t.rows)]
    for head, cols, _, select in rules:
        sql.append('CREATE TABLE "%s"(%s);' % (head, ", ".join(cols)))
        sql.append('INSERT INTO "%s" %s;' % (head, select))
    sql += [".mode list", ".separator ,", ".output " + out]
    for name, ncols in [(t.name, len(t.cols)) for t in tables] + [(h, len(c)) for h, c, _, _ in rules]:
        order = ", ".join(str(i + 1) for i in range(ncols))
        sql.append('SELECT DISTINCT * FROM "%s" ORDER BY %s;' % (name, order))
    with open(base + ".sql", "w") as f:
        f.write("\n".join(sql) + "\n")
    return base + ".tl", base + ".sql", out, len(tables) + len(rules)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("workload", choices=WORKLOADS)
    ap.add_argument("n", type=int)
    ap.add_argument("outdir")
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    for path in generate(a.workload, a.n, a.outdir, a.seed)[:2]:
        print(path)


if __name__ == "__main__":
    main()
