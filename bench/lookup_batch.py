#!/usr/bin/python3
"""Times zentriq-lookup --batch against awk on the same 1,000,000-line tag lists, side by side:
    lookup_batch.py PROGRAM [--lines N] [--before PROGRAM] [--windows EXE]
awk -F, '{print $0 ",x"}' reads every line and writes it back with one column more, which is the
least any tool that appends a column can do. Three shapes of list: plain fields; the shape HMI tools
export, the comment column quoted with commas inside; and a spreadsheet's semicolon export in UTF-8
with a byte-order mark, CR LF and umlauts (read with --delimiter ';'). Each is written to /dev/null
and to a file, the runs of both programs interleaved; prints the median wall and CPU times and their
ratios against the goal (zentriq-lookup / awk <= 1.0), and zentriq-lookup's peak memory on the list
and on ten times as many rows (streaming: the two stay the same). Then `zentriq-lookup D100` (31
runs; with --before, interleaved with that build), and with --windows the Windows build on the same
lists under Wine (printed, not judged: Wine's file I/O is not Windows'). The load average is printed
before and after. Figures only; nothing fails."""

import argparse
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 11
AWK = ["awk", "-F,", '{print $0 ",x"}']
SHAPES = {
    "plain": ("plain fields", []),
    "quoted": ("comments quoted, commas inside", []),
    "semicolon": ("semicolons, UTF-8 with a byte-order mark, CR LF", ["--delimiter", ";"]),
}


def tag_list(path, lines, shape):
    """Tag name, device, comment: devices of every kind in proportions a real list has."""
    rng = random.Random(1)
    kinds = [("D", 9999, 10), ("M", 4095, 10), ("Y", 0o377, 8), ("X", 0o377, 8), ("T", 255, 10),
             ("C", 255, 10), ("S", 1023, 10)]
    weights = [40, 25, 10, 10, 6, 6, 3]
    encoding = "utf-8-sig" if shape == "semicolon" else "utf-8"
    with open(path, "w", encoding=encoding, newline="") as f:
        for i in range(lines):
            letter, top, base = rng.choices(kinds, weights)[0]
            number = rng.randint(0, top)
            device = letter + (format(number, "o") if base == 8 else str(number))
            if shape == "plain":
                f.write(f"Line{i % 40}_Tag{i:07d},{device},station {i % 12}\n")
            elif shape == "quoted":
                f.write(f'Line{i % 40}_Tag{i:07d},{device},"station {i % 12}, rack {i % 7}"\n')
            else:
                f.write(f'Line{i % 40}_Tag{i:07d};{device};"Förderband {i % 12}; Station {i % 7}"'
                        "\r\n")


def timed(command, stdin_path, out_path):
    """Wall time and CPU time (user + system) of one run; the output file is emptied before."""
    with open(stdin_path, "rb") as stdin, open(out_path, "wb") as out:
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        subprocess.run(command, stdin=stdin, stdout=out, check=False)
        wall = time.perf_counter() - start
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def peak_rss_kb(command, stdin_path):
    """Peak resident memory of one run, measured in a fresh child that only runs the command."""
    probe = ("import resource,subprocess,sys;"
             "subprocess.run(sys.argv[2:],stdin=open(sys.argv[1],'rb'),stdout=subprocess.DEVNULL);"
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)")
    done = subprocess.run([sys.executable, "-c", probe, stdin_path] + command, capture_output=True,
                          text=True, check=True)
    return int(done.stdout)


def medians(runs):
    return statistics.median(w for w, _ in runs), statistics.median(c for _, c in runs)


def compare(program, tags, shape, tmp):
    lookup = [program, "--batch", "-", "--column", "2"] + SHAPES[shape][1]
    outputs = {"/dev/null": os.devnull, "a file": os.path.join(tmp, "out.csv")}
    times = {(name, dest): [] for name in ("zentriq-lookup", "awk") for dest in outputs}
    for _ in range(RUNS):  # interleaved, so that a busy moment of the machine hits both
        for dest, path in outputs.items():
            times[("zentriq-lookup", dest)].append(timed(lookup, tags, path))
            times[("awk", dest)].append(timed(AWK, tags, path))
    lines = sum(1 for _ in open(tags, "rb"))
    print(f"{SHAPES[shape][0]}: {lines:,} lines, {os.path.getsize(tags) / 1e6:.1f} MB, {RUNS} "
          "interleaved runs each, medians")
    ratios = {}
    for dest in outputs:
        ours = medians(times[("zentriq-lookup", dest)])
        theirs = medians(times[("awk", dest)])
        ratios[dest] = (ours[0] / theirs[0], ours[1] / max(theirs[1], 1e-4))
        print(f"  to {dest:9}  zentriq-lookup wall {ours[0] * 1000:6.1f} ms, CPU "
              f"{ours[1] * 1000:6.1f} ms | awk wall {theirs[0] * 1000:6.1f} ms, CPU "
              f"{theirs[1] * 1000:6.1f} ms | ratio wall {ratios[dest][0]:.2f}, CPU "
              f"{ratios[dest][1]:.2f}")
    return lookup, ratios


def memory(lookup, tags, tmp):
    """Peak RSS on the list and on ten copies of it one after another."""
    tenfold = os.path.join(tmp, "tenfold.csv")
    with open(tenfold, "wb") as out:
        for _ in range(10):
            with open(tags, "rb") as part:
                shutil.copyfileobj(part, out)
    rows = sum(1 for _ in open(tags, "rb"))
    small, large = peak_rss_kb(lookup, tags), peak_rss_kb(lookup, tenfold)
    os.remove(tenfold)
    print(f"  zentriq-lookup peak RSS: {small / 1024:.1f} MB on {rows:,} rows, {large / 1024:.1f} MB "
          f"on {10 * rows:,} rows")


def one_item(programs):
    """`zentriq-lookup D100`, 31 runs of each program interleaved: median wall and CPU."""
    runs = {name: [] for name in programs}
    for _ in range(31):
        for name, program in programs.items():
            runs[name].append(timed([program, "D100"], os.devnull, os.devnull))
    for name, times in runs.items():
        wall, cpu = medians(times)
        print(f"  zentriq-lookup D100 ({name}): wall {wall * 1000:.2f} ms, CPU {cpu * 1000:.2f} ms "
              "(median of 31)")


def windows(exe, lists, tmp):
    """The Windows build under Wine on the same lists, to /dev/null: the copying reader, Wine's
    own reads and writes. Its start-up under Wine is timed alone to be told apart."""
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    import win32_startup  # the Wine prefix the Win32 start-up benchmark keeps
    prefix = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(exe))), "bench", "wine")
    env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "DISPLAY"))}
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", HOME=tmp,
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    win32_startup.make_prefix(prefix, env)
    wine = [win32_startup.WINE, exe]
    server = subprocess.Popen([win32_startup.WINESERVER, "-p", "-f"], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Never a pipe for Wine's output: the services it starts keep a pipe they inherit open.
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "env": env,
             "check": False}
    try:
        subprocess.run([win32_startup.WINE, "wineboot"], stdin=subprocess.DEVNULL, **quiet)
        subprocess.run(wine + ["D100"], stdin=subprocess.DEVNULL, **quiet)  # warm
        start_up = []
        for _ in range(5):
            start = time.perf_counter()
            subprocess.run(wine + ["D100"], stdin=subprocess.DEVNULL, **quiet)
            start_up.append(time.perf_counter() - start)
        base = statistics.median(start_up)
        print(f"Windows build under Wine 8 (copying reader), median of 5 runs to /dev/null; "
              f"zentriq-lookup.exe D100 alone takes {base * 1000:.0f} ms:")
        for shape, tags in lists.items():
            walls = []
            for _ in range(5):
                with open(tags, "rb") as stdin:
                    start = time.perf_counter()
                    subprocess.run(wine + ["--batch", "-", "--column", "2"] + SHAPES[shape][1],
                                   stdin=stdin, **quiet)
                    walls.append(time.perf_counter() - start)
            wall = statistics.median(walls)
            print(f"  {SHAPES[shape][0]}: wall {wall * 1000:.0f} ms, "
                  f"{(wall - base) * 1000:.0f} ms past start-up")
    finally:
        subprocess.run([win32_startup.WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        server.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("program")
    parser.add_argument("--lines", type=int, default=1_000_000)
    parser.add_argument("--before", help="an earlier build, for `zentriq-lookup D100`")
    parser.add_argument("--windows", help="zentriq-lookup.exe of the Windows build")
    args = parser.parse_args()
    program = os.path.abspath(args.program)
    print("load average before: {:.2f} {:.2f} {:.2f}".format(*os.getloadavg()))
    summary = []
    with tempfile.TemporaryDirectory() as tmp:
        lists = {}
        for shape in SHAPES:
            lists[shape] = os.path.join(tmp, f"{shape}.csv")
            tag_list(lists[shape], args.lines, shape)
            lookup, ratios = compare(program, lists[shape], shape, tmp)
            memory(lookup, lists[shape], tmp)
            summary += [f"{shape} to {dest}: wall {wall:.2f}, CPU {cpu:.2f}"
                        for dest, (wall, cpu) in ratios.items()]
        programs = {"this build": program}
        if args.before:
            programs["before"] = os.path.abspath(args.before)
        one_item(programs)
        if args.windows:
            windows(os.path.abspath(args.windows), lists, tmp)
    print("load average after: {:.2f} {:.2f} {:.2f}".format(*os.getloadavg()))
    print("zentriq-lookup / awk, medians (goal <= 1.0):")
    for line in summary:
        print("  " + line)


if __name__ == "__main__":
    main()
