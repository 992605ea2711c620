#!/usr/bin/env python3
"""Seeded benchmark workloads: one tablog script and the same data for sqlite3.

  gen.py WORKLOAD N OUTDIR [--seed S]

WORKLOAD is W1 (load), W2 (join), W3 (chain of joins), W4 (rows without a
clean order), W5 (W3 with every text too long to be held in a value), or one of the messy first columns M1 (dates), M2 (decimal
prices), M3 (codes spelt several ways), M4 (bare words), M5 (quoted, plain and
empty values), each also as M1J..M5J: the same rows, a small table and a join
rule; or S1 (two atoms sharing both their variables, a semi-join) or P1 (a
path of 121 atoms over a fixed graph of 957 edges; N does not change it).
Writes into OUTDIR: WORKLOAD.tl (the script), WORKLOAD.sql (a
sqlite3 script doing the same loads, joins and sorted distinct outputs, all
written to WORKLOAD.sqlite.out) and one WORKLOAD-table.csv per table.
run.py imports this module and calls generate(). Standard library only.
"""
import argparse
import datetime
import os
import random

MESSY = ("M1", "M2", "M3", "M4", "M5")
WORKLOADS = ("W1", "W2", "W3", "W4", "W5") + MESSY + tuple(m + "J" for m in MESSY) + ("S1", "P1")
FIXED = ("P1",)  # workloads whose size does not follow N
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


# The texts of W1-W3, and the long ones of W5: the same keys, in words.
SHORT = {"name": "n%07d", "dept": "d%04d", "head": "h%04d", "city": "c%03d"}
LONG = {"name": "employee n%07d of the firm", "dept": "department of research d%04d",
        "head": "head of department h%04d", "city": "city of c%03d on the river"}


def employees(rng, n, form=SHORT):
    """Emp(Name,Dept,Salary): n unique names, 1,000 depts, 5% exact repeats."""
    emp = Table("Emp", ["Name", "Dept", "Salary"], ["TEXT", "TEXT", "INTEGER"])
    ids = list(range(n))
    rng.shuffle(ids)
    for i in ids:
        name, dept = form["name"] % i, form["dept"] % rng.randrange(DEPTS)
        sal = str(rng.randint(100000, 999999))
        emp.rows.append([(q(name), name), (q(dept), dept), (sal, sal)])
    emp.rows += [list(emp.rows[rng.randrange(n)]) for _ in range(n // 20)]
    rng.shuffle(emp.rows)
    return emp


def heads(rng, form=SHORT):
    """Boss(Dept,Head), one row per dept, and Loc(Head,City), one per head."""
    boss = Table("Boss", ["Dept", "Head"], ["TEXT", "TEXT"])
    loc = Table("Loc", ["Head", "City"], ["TEXT", "TEXT"])
    perm = list(range(DEPTS))
    rng.shuffle(perm)
    for d in range(DEPTS):
        dept, head = form["dept"] % d, form["head"] % perm[d]
        boss.rows.append([(q(dept), dept), (q(head), head)])
    for h in rng.sample(range(DEPTS), DEPTS):
        head, city = form["head"] % h, form["city"] % rng.randrange(100)
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


def lit(text):
    """A field stored in sqlite3 as its literal text, quotes included."""
    return (text, text)


def unique_rows(rng, n, make):
    """n distinct rows drawn from make(rng), then n // 20 exact repeats, shuffled."""
    seen, rows = set(), []
    while len(rows) < n:
        row = make(rng)
        key = tuple(f for f, _ in row)
        if key not in seen:
            seen.add(key)
            rows.append(row)
    rows += [list(rows[rng.randrange(n)]) for _ in range(n // 20)]
    rng.shuffle(rows)
    return rows


def small_table(rng, name, cols, keys, value):
    """A table of one row per key (in random order): key, value(rng)."""
    t = Table(name, cols, ["TEXT", "TEXT"])
    for k in rng.sample(keys, len(keys)):
        t.rows.append([lit(k), lit(value(rng))])
    return t


FIRST_DAY = datetime.date(2015, 1, 1).toordinal()
DAYS = datetime.date(2025, 1, 1).toordinal() - FIRST_DAY


def day(rng):
    """A plain date of 2015-2024; all dates of one year read as the year."""
    return datetime.date.fromordinal(FIRST_DAY + rng.randrange(DAYS)).isoformat()


def price(rng):
    """A plain decimal from -100.00 to 999.99, about 9% negative; 7.50 and
    7.99 both read as 7."""
    c = rng.randrange(-10000, 100000)
    return "%s%d.%02d" % ("-" if c < 0 else "", abs(c) // 100, abs(c) % 100)


def code(rng):
    """A plain code below 100,000 spelt 7 (50%), 07, 007 or 0007 (35%) or +7
    (15%): one number, several texts."""
    x, r = rng.randrange(100000), rng.random()
    if r < 0.5:
        return "%d" % x
    return ("0" * rng.randint(1, 3) if r < 0.85 else "+") + "%d" % x


def mixed_key(rng):
    """Quoted 'k01234' (40%), plain numbers (25%), plain words k01234 (25%),
    empty = Null (10%)."""
    r, x = rng.random(), rng.randrange(100000)
    if r < 0.4:
        return q("k%05d" % x)
    if r < 0.65:
        return "%d" % x
    return "k%05d" % x if r < 0.9 else ""


def messy(workload, rng, n):
    """The tables of M1..M5 (and with J: the small table of the join rule).

    The big table holds n distinct rows plus 5% exact repeats; every field is
    stored in sqlite3 as its literal text, so 7 and 0007, 'k1' and k1 stay
    distinct values there as they do in the script; empty fields are Null.
    """
    m, joined = workload[:2], workload.endswith("J")
    teams = ["t%03d" % i for i in range(1000)]
    if m == "M1":
        big = Table("Ev", ["Day", "Code"], ["TEXT", "TEXT"])
        big.rows = unique_rows(rng, n, lambda r: [lit(day(r)), lit(q("p%03d" % r.randrange(1000)))])
        small = lambda: small_table(rng, "Who", ["Code", "Team"], [q("p%03d" % i) for i in range(1000)],
                                    lambda r: q(r.choice(teams)))
    elif m == "M2":
        big = Table("Sale", ["Price", "Item"], ["TEXT", "TEXT"])
        big.rows = unique_rows(rng, n, lambda r: [lit(price(r)), lit("item%d" % r.randrange(1000))])
        small = lambda: small_table(rng, "Stock", ["Item", "Shop"], ["item%d" % i for i in range(1000)],
                                    lambda r: q("s%02d" % r.randrange(100)))
    elif m == "M3":
        big = Table("Part", ["Code", "Bin"], ["TEXT", "TEXT"])
        big.rows = unique_rows(rng, n, lambda r: [lit(code(r)), lit(q("b%03d" % r.randrange(1000)))])
        small = lambda: small_table(rng, "Bin", ["Bin", "Owner"], [q("b%03d" % i) for i in range(1000)],
                                    lambda r: q("o%02d" % r.randrange(100)))
    elif m == "M4":
        big = Table("Member", ["Who", "Team"], ["TEXT", "TEXT"])
        big.rows = unique_rows(rng, n, lambda r: [lit("w%07d" % r.randrange(10 * n)), lit(r.choice(teams))])
        small = lambda: small_table(rng, "Home", ["Team", "City"], teams,
                                    lambda r: "c%03d" % r.randrange(100))
    else:
        big = Table("Mx", ["Key", "Grp", "Id"], ["TEXT", "TEXT", "TEXT"])
        big.rows = unique_rows(rng, n, lambda r: [lit(mixed_key(r)), lit(q("g%03d" % r.randrange(1000))),
                                                  lit("%d" % r.randrange(10 * n))])
        small = lambda: small_table(rng, "Lab", ["Grp", "Label"], [q("g%03d" % i) for i in range(1000)],
                                    lambda r: q("l%02d" % r.randrange(100)))
    return [big, small()] if joined else [big]


def old_and_new(rng, n):
    """Old(Name,Dept) and New(Name,Dept) for S1: n rows each, in random order.

    Names are quoted ('n0012345') and unique within a table; departments are
    five quoted texts. Half of New's names are also Old's, with Old's
    department; the other half are New's alone.
    """
    depts = ["d%d" % i for i in range(5)]
    old = Table("Old", ["Name", "Dept"], ["TEXT", "TEXT"])
    new = Table("New", ["Name", "Dept"], ["TEXT", "TEXT"])
    dept_of = [rng.choice(depts) for _ in range(n)]
    for i in range(n):
        old.rows.append([lit(q("n%07d" % i)), lit(q(dept_of[i]))])
    shared = rng.sample(range(n), n // 2)
    new.rows = [[lit(q("n%07d" % i)), lit(q(dept_of[i]))] for i in shared]
    new.rows += [[lit(q("n%07d" % i)), lit(q(rng.choice(depts)))] for i in range(n, 2 * n - n // 2)]
    for t in (old, new):
        rng.shuffle(t.rows)
    return old, new


# P1's graph: three lanes side by side over 270 layers. Each node leads to
# the node of its lane in the next layer, and at 75 of the 269 steps,
# evenly spread, also to the node one lane up: 3 * 269 + 2 * 75 = 957 edges.
# The rule walks 121 steps.
PATH_LANES, PATH_STEPS, PATH_CHANGES, PATH_ATOMS = 3, 269, 75, 121


def path_graph(rng):
    """E(From,To) for P1: nodes quoted as 'n042_1' (layer 42, lane 1), the
    edges in random order.

    A walk changes lanes at most twice, so the walks of k steps number about
    (270 - k) * (0.28 k)^2 / 2: they grow with k but do not explode. A rule
    that keeps every variable of its body holds tens of thousands of such
    walks (92,803 at 121 atoms), over a hundred columns wide; the pairs of a
    walk's ends that Path keeps are 894.
    """
    e = Table("E", ["From", "To"], ["TEXT", "TEXT"])
    changes = {k * PATH_STEPS // PATH_CHANGES for k in range(PATH_CHANGES)}
    for t in range(PATH_STEPS):
        for lane in range(PATH_LANES):
            ups = (lane,) + ((lane + 1,) if t in changes and lane + 1 < PATH_LANES else ())
            for up in ups:
                e.rows.append([lit(q("n%03d_%d" % (t, lane))), lit(q("n%03d_%d" % (t + 1, up)))])
    rng.shuffle(e.rows)
    return e


def path_rule():
    """Path(A,B)<-E(X120,B),...,E(X1,X2),E(A,X1): written from the walk's
    end back to its start, so that the rightmost atom brings the head's
    first column and Path holds (start, end)."""
    names = ["A"] + ["X%d" % k for k in range(1, PATH_ATOMS)] + ["B"]
    atoms = ["E(%s,%s)" % (names[k], names[k + 1]) for k in range(PATH_ATOMS)]
    return "Path(A,B)<-" + ",".join(reversed(atoms))


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
RULES["W5"] = RULES["W3"]
# Dates compare byte-wise in the condition, in both programs.
RULES["M1J"] = [("Late", ["D", "T"], "Late(D,T)<-Who(C,T),Ev(D,C),D>2020-06-30",
                 "SELECT DISTINCT e.Day, w.Team FROM Who w JOIN Ev e ON e.Code = w.Code"
                 " WHERE e.Day > '2020-06-30'")]
RULES["M2J"] = [("Sold", ["P", "S"], "Sold(P,S)<-Stock(I,S),Sale(P,I)",
                 "SELECT DISTINCT s.Price, k.Shop FROM Stock k JOIN Sale s ON s.Item = k.Item")]
RULES["M3J"] = [("Held", ["C", "O"], "Held(C,O)<-Bin(B,O),Part(C,B)",
                 "SELECT DISTINCT p.Code, b.Owner FROM Bin b JOIN Part p ON p.Bin = b.Bin")]
RULES["M4J"] = [("Town", ["W", "C"], "Town(W,C)<-Home(T,C),Member(W,T)",
                 "SELECT DISTINCT m.Who, h.City FROM Home h JOIN Member m ON m.Team = h.Team")]
RULES["M5J"] = [("Tag", ["K", "L"], "Tag(K,L)<-Lab(G,L),Mx(K,G,I)",
                 "SELECT DISTINCT m.Key, l.Label FROM Lab l JOIN Mx m ON m.Grp = l.Grp")]

# Two atoms that share both variables are joined where either agrees, and
# the shared columns take the right atom's values: Same holds every New row
# whose name or department Old has, which with five departments is all of
# New. The join meets about N * N / 5 pairs on the way.
RULES["S1"] = [("Same", ["N", "D"], "Same(N,D)<-Old(N,D),New(N,D)",
                "SELECT DISTINCT n.Name, n.Dept FROM New n WHERE n.Name IN (SELECT Name FROM Old)"
                " OR n.Dept IN (SELECT Dept FROM Old)")]
# The walks of exactly 121 steps, as pairs of their ends.
RULES["P1"] = [("Path", ["A", "B"], path_rule(),
                "WITH RECURSIVE p(a, b, k) AS (SELECT \"From\", \"To\", 1 FROM E UNION"
                " SELECT p.a, e.\"To\", p.k + 1 FROM p JOIN E e ON e.\"From\" = p.b"
                " WHERE p.k < %d) SELECT DISTINCT a, b FROM p WHERE k = %d" % (PATH_ATOMS, PATH_ATOMS))]


def generate(workload, n, outdir, seed=1):
    """Writes the workload's files; returns the script path, the sql path,
    the sqlite3 output path and the number of tables the script prints."""
    # M1 and M1J share their big table: the seed names the data, not the rule.
    data = workload[:2] if workload[0] == "M" else workload
    rng = random.Random("%s/%d/%d" % (data, 0 if workload in FIXED else n, seed))
    if workload[0] == "M":
        tables = messy(workload, rng, n)
    elif workload == "W4":
        tables = list(mixed(rng, n))
    elif workload == "S1":
        tables = list(old_and_new(rng, n))
    elif workload == "P1":
        tables = [path_graph(rng)]
    else:
        form = LONG if workload == "W5" else SHORT
        tables = [employees(rng, n, form)]
        if workload != "W1":
            boss, loc = heads(rng, form)
            tables += [boss, loc] if workload in ("W3", "W5") else [boss]
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
        cols = ", ".join('"%s" %s' % c for c in zip(t.cols, t.sql_types))  # From is a keyword
        sql += ['CREATE TABLE "%s"(%s);' % (t.name, cols), ".import %s %s" % (csv, t.name)]
        # .import reads empty fields as empty texts; the script reads them as Null.
        sql += ["UPDATE \"%s\" SET \"%s\" = NULL WHERE \"%s\" = '';" % (t.name, c, c)
                for i, c in enumerate(t.cols) if any(r[i][0] == "" for r in t.rows)]
    for head, cols, _, select in rules:
        sql.append('CREATE TABLE "%s"(%s);' % (head, ", ".join('"%s"' % c for c in cols)))
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
