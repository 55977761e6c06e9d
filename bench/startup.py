#!/usr/bin/python3
"""Start-up cost of the converter against two floors.

bench/startup.py BUILD_DIR [RUNS]

Starts build/app/zentriq, build/bench/floor_window (a window with one label: the floor of any Qt
Widgets program) and build/bench/content_floor (a plain window with the converter's 37 controls:
same kinds, texts and places, no icon, no font fitting) as fresh processes, in turn, RUNS times
each (default 31) after two warm-up runs, on the offscreen platform and on an X server (an Xvfb
this script starts and stops itself). The probe library build/bench/libfirst_frame_probe.so is
preloaded into all three: it notes when the first window has been painted and ends the program.
For every run the script records

  first frame  driver's start mark (just before the process is spawned) to the probe's note,
  wall         start mark to the process's exit, as os.wait4 returns it,
  CPU          user and system time of the process to its exit (it ends at its first frame), from the
               same wait4: the work itself, which other programs running on the machine disturb
               far less than they disturb the first frame's wall-clock time,
  peak RSS     ru_maxrss of the exited process, from the same wait4,

and prints the medians and the ratios converter / one-label floor (goal: 1.10 or less) and
converter / content floor (goal: 1.03 or less: the converter's own work before its first frame
costs at most 3 % of what showing its content costs).
"""

import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

TIMEOUT_S = 30


def run_once(program, probe, env, mark_file):
    """One start of `program`; returns (first_frame_ms, wall_ms, cpu_ms, peak_rss_kib)."""
    if os.path.exists(mark_file):
        os.unlink(mark_file)
    start = time.monotonic_ns()
    child_env = dict(env, LD_PRELOAD=probe, ZENTRIQ_PROBE_T0=str(start), ZENTRIQ_PROBE_OUT=mark_file)
    process = subprocess.Popen([program], env=child_env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    watchdog = threading.Timer(TIMEOUT_S, process.kill)
    watchdog.start()
    _, status, usage = os.wait4(process.pid, 0)
    end = time.monotonic_ns()
    watchdog.cancel()
    process.returncode = os.waitstatus_to_exitcode(status)
    try:
        with open(mark_file) as f:
            first_frame = int(f.read()) / 1e6
    except (OSError, ValueError):
        raise SystemExit(f"startup.py: {program} exited ({process.returncode}) without showing a "
                         "window the probe saw")
    cpu = (usage.ru_utime + usage.ru_stime) * 1e3
    return first_frame, (end - start) / 1e6, cpu, usage.ru_maxrss


def measure(programs, probe, env, runs, mark_file):
    results = {name: [] for name in programs}
    for _ in range(2):  # warm-up: file cache, font cache
        for path in programs.values():
            run_once(path, probe, env, mark_file)
    for _ in range(runs):
        for name, path in programs.items():
            results[name].append(run_once(path, probe, env, mark_file))
    return results


def start_xvfb():
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24",
                               "-nolisten", "tcp"], pass_fds=(write_fd,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        display = f.readline().strip()
    if not display:
        server.kill()
        raise SystemExit("startup.py: Xvfb did not start")
    return server, ":" + display


def report(platform, results, runs):
    print(f"\nStart-up on {platform}, {runs} alternating runs each (medians; first frame also as "
          "25th-75th percentile):")
    print(f"  {'program':<10} {'first frame ms':>15} {'spread ms':>13} {'wall ms':>10} {'CPU ms':>8} "
          f"{'peak RSS MiB':>13}")
    medians = {}
    for name, samples in results.items():
        first, wall, cpu, rss = (statistics.median(column) for column in zip(*samples))
        quartiles = statistics.quantiles([s[0] for s in samples], n=4)
        medians[name] = (first, wall, cpu, rss)
        spread = f"{quartiles[0]:.1f}-{quartiles[2]:.1f}"
        print(f"  {name:<10} {first:>15.1f} {spread:>13} {wall:>10.1f} {cpu:>8.1f} {rss / 1024:>13.1f}")
    real = medians["zentriq"]
    for floor, goal in (("floor", "1.10"), ("content", "1.03")):
        base = medians[floor]
        print(f"  ratio zentriq/{floor}: first frame {real[0] / base[0]:.2f}, wall {real[1] / base[1]:.2f}, "
              f"CPU {real[2] / base[2]:.2f}, peak RSS {real[3] / base[3]:.2f}  (goal: first frame <= {goal})")


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 31
    programs = {"floor": os.path.join(build, "bench", "floor_window"),
                "content": os.path.join(build, "bench", "content_floor"),
                "zentriq": os.path.join(build, "app", "zentriq")}
    probe = os.path.join(build, "bench", "libfirst_frame_probe.so")
    for path in [probe, *programs.values()]:
        if not os.path.exists(path):
            raise SystemExit(f"startup.py: missing {path}")

    base_env = {k: v for k, v in os.environ.items() if not k.startswith(("QT_", "LD_PRELOAD"))}
    with tempfile.TemporaryDirectory() as scratch:
        mark_file = os.path.join(scratch, "first-frame")
        offscreen = dict(base_env, QT_QPA_PLATFORM="offscreen")
        report("offscreen", measure(programs, probe, offscreen, runs, mark_file), runs)

        server, display = start_xvfb()
        try:
            xcb = dict(base_env, QT_QPA_PLATFORM="xcb", DISPLAY=display)
            report(f"xcb (Xvfb {display}, no window manager)",
                   measure(programs, probe, xcb, runs, mark_file), runs)
        finally:
            server.terminate()
            server.wait()


if __name__ == "__main__":
    main()
