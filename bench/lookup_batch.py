#!/usr/bin/python3
"""Times zentriq-lookup --batch against awk on the same 1,000,000-line tag lists, side by side:
    lookup_batch.py PROGRAM [LINES]
awk -F, '{print $0 ",x"}' reads every line and writes it back with one column more, which is the
least any tool that appends a column can do. Two shapes of list: plain fields, and the shape HMI
tools and spreadsheets export, the comment column quoted with commas inside. Prints the best and
median wall times of both programs on each, their ratio against the goal (zentriq-lookup / awk
<= 1.0), and zentriq-lookup's peak memory on a tenth of the list and on all of it (streaming: the
two stay the same). Figures only; nothing fails."""

import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 7


def tag_list(path, lines, quoted=False):
    """Tag name, device, comment: devices of every kind in proportions a real list has; with
    `quoted`, the comment in quotes with a comma inside."""
    rng = random.Random(1)
    kinds = [("D", 9999, 10), ("M", 4095, 10), ("Y", 0o377, 8), ("X", 0o377, 8), ("T", 255, 10),
             ("C", 255, 10), ("S", 1023, 10)]
    weights = [40, 25, 10, 10, 6, 6, 3]
    with open(path, "w") as f:
        for i in range(lines):
            letter, top, base = rng.choices(kinds, weights)[0]
            number = rng.randint(0, top)
            digits = format(number, "o") if base == 8 else str(number)
            comment = f'"station {i % 12}, rack {i % 7}"' if quoted else f"station {i % 12}"
            f.write(f"Line{i % 40}_Tag{i:07d},{letter}{digits},{comment}\n")


def timed(command, stdin_path):
    """Wall time and CPU time (user + system) of one run."""
    with open(stdin_path, "rb") as stdin, open(os.devnull, "wb") as out:
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


def compare(program, lines, quoted):
    lookup = [program, "--batch", "-", "--column", "2"]
    awk = ["awk", "-F,", '{print $0 ",x"}']
    with tempfile.TemporaryDirectory() as tmp:
        tags = os.path.join(tmp, "tags.csv")
        tenth = os.path.join(tmp, "tenth.csv")
        tag_list(tags, lines, quoted)
        tag_list(tenth, lines // 10, quoted)
        times = {"zentriq-lookup": [], "awk": []}
        for _ in range(RUNS):  # interleaved, so that a busy moment of the machine hits both
            times["zentriq-lookup"].append(timed(lookup, tags))
            times["awk"].append(timed(awk, tags))
        rss_tenth = peak_rss_kb(lookup, tenth)
        rss_all = peak_rss_kb(lookup, tags)
    shape = "comments quoted, commas inside" if quoted else "plain fields"
    print(f"tag list ({shape}): {lines:,} lines, {RUNS} interleaved runs each; wall time, and CPU "
          "time (user + system, which a busy machine disturbs less)")
    best = {}
    for name, runs in times.items():
        wall = [w for w, _ in runs]
        cpu = [c for _, c in runs]
        best[name] = (min(wall), min(cpu))
        print(f"  {name:15} wall best {min(wall) * 1000:6.1f} ms, median "
              f"{statistics.median(wall) * 1000:6.1f} ms; CPU best {min(cpu) * 1000:6.1f} ms "
              f"({lines / min(wall) / 1e6:.1f} M lines/s)")
    wall_ratio = best["zentriq-lookup"][0] / best["awk"][0]
    cpu_ratio = best["zentriq-lookup"][1] / max(best["awk"][1], 1e-3)
    print(f"  zentriq-lookup / awk: wall {wall_ratio:.2f}, CPU {cpu_ratio:.2f} (goal <= 1.0: "
          f"{'met' if wall_ratio <= 1.0 else 'not met'})")
    print(f"  zentriq-lookup peak RSS: {rss_tenth / 1024:.1f} MB on {lines // 10:,} lines, "
          f"{rss_all / 1024:.1f} MB on {lines:,} lines")
    return wall_ratio


def main():
    program = os.path.abspath(sys.argv[1])
    lines = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    plain = compare(program, lines, quoted=False)
    quoted = compare(program, lines, quoted=True)
    print(f"zentriq-lookup / awk, wall: plain {plain:.2f}, quoted comments {quoted:.2f}")


if __name__ == "__main__":
    main()
