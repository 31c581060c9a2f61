#!/usr/bin/env python3
"""Start-up benchmark: the console's time from process start to the login window, and its
resident memory there, each as a ratio to a minimal Qt Widgets program started the same way in
the same run. Runs are interleaved (console, minimal, console, ...) so load changes hit both.

    tools/bench/startup_bench.py --stage build-bench/stage [--runs N]

The console's time: from just before its fork/exec to the moment its developer-log line
"CMainFrame::EnterStep(2)" (the login window is shown) arrives on its stderr, on the monotonic
clock. The minimal program's time: from just before its fork/exec to the CLOCK_MONOTONIC stamp it
prints in its first show event. Both are the same clock, so no wall-clock step can skew a ratio.
The log line's own wall-clock stamp is kept as a cross-check (it differs by the pipe delay).

A benchmark reports; it never fails a build: the exit code is 0 unless the programs are missing.
"""

import argparse
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

TIME_TARGET = 1.5
MEMORY_TARGET = 1.5
SETTLE_S = 1.0
TIMEOUT_S = 30.0


def run_console(stage, display):
    box = benchlib.ConsoleSandbox(stage, display.env)
    proc, watch, t0, wall0 = benchlib.start_console(box)
    try:
        i_login = watch.wait_for(lambda t: "CMainFrame::EnterStep(2)" in t, TIMEOUT_S)
        if i_login is None:
            tail = "\n".join(t for _, t in watch.lines[-10:])
            raise RuntimeError(f"the console did not show its login window within {TIMEOUT_S:.0f} s:\n{tail}")
        time.sleep(SETTLE_S)
        rss = benchlib.read_vmrss_kib(proc.pid)
        anon, mapped = benchlib.read_rss_split_kib(proc.pid)
        mappings = benchlib.read_rss_by_mapping_kib(proc.pid)
        entries = watch.log_entries()
    finally:
        benchlib.stop(proc)
        box.cleanup()

    def first(marker):
        for arrived, stamp, text in entries:
            if marker in text:
                return arrived, stamp
        return None, None

    login_arrived, login_stamp = first("CMainFrame::EnterStep(2)")
    create_arrived, create_stamp = first("CMainFrame::OnCreate")
    window_arrived, window_stamp = first("CMainFrame::EnterStep(1)")
    r = {
        "time": login_arrived - t0,
        "time_stamp": login_stamp - wall0,
        "rss": rss,
        "anon": anon,
        "file": mapped,
        "mappings": mappings,
    }
    # Where the time goes, from the log's own stamps (one clock inside the process).
    if create_stamp is not None:
        r["to_create"] = create_stamp - wall0
    if window_stamp is not None:
        r["to_window"] = window_stamp - wall0
        r["window_to_login"] = login_stamp - window_stamp
    return r


def run_minimal(stage, display):
    exe = os.path.join(os.path.abspath(stage), "hv_minimal_qt")
    env = dict(os.environ)
    env.update(display.env)
    t0 = time.monotonic()
    proc = subprocess.Popen([exe], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    try:
        watch = benchlib.LineWatcher(proc.stdout)
        i = watch.wait_for(lambda t: t.startswith("shown "), TIMEOUT_S)
        if i is None:
            raise RuntimeError("the minimal program did not show its window")
        shown = int(watch.lines[i][1].split()[1]) / 1e9
        time.sleep(SETTLE_S)
        rss = benchlib.read_vmrss_kib(proc.pid)
        anon, mapped = benchlib.read_rss_split_kib(proc.pid)
        mappings = benchlib.read_rss_by_mapping_kib(proc.pid)
    finally:
        benchlib.stop(proc)
    return {"time": shown - t0, "rss": rss, "anon": anon, "file": mapped, "mappings": mappings}


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--stage", default="build/stage", help="the staged program folder")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--explain", action="store_true",
                    help="list the mappings that make the memory difference (last run)")
    ap.add_argument("--offscreen", action="store_true", help="use QT_QPA_PLATFORM=offscreen even with X")
    args = ap.parse_args()
    for exe in ("HVAgent", "hv_minimal_qt"):
        if not os.access(os.path.join(args.stage, exe), os.X_OK):
            print(f"startup_bench: {exe} is not in {args.stage}; build HVAgent hv_minimal_qt hv_stage_data")
            return 2

    display = benchlib.Display(args.offscreen)
    console, minimal = [], []
    try:
        print(f"display: {display.kind}; runs: {args.runs}; settle before VmRSS: {SETTLE_S:.1f} s")
        # One unmeasured start of each warms the page cache, so run 1 is not a cold-disk outlier.
        run_console(args.stage, display)
        run_minimal(args.stage, display)
        for n in range(args.runs):
            c = run_console(args.stage, display)
            m = run_minimal(args.stage, display)
            console.append(c)
            minimal.append(m)
            print(f"run {n + 1}: console {c['time'] * 1000:7.1f} ms {c['rss']:7d} KiB | "
                  f"minimal {m['time'] * 1000:7.1f} ms {m['rss']:7d} KiB")
    finally:
        display.close()

    med = benchlib.median
    c_time = med([r["time"] for r in console])
    m_time = med([r["time"] for r in minimal])
    c_rss = med([r["rss"] for r in console])
    m_rss = med([r["rss"] for r in minimal])
    time_ratio = c_time / m_time
    mem_ratio = c_rss / m_rss

    print()
    print("medians")
    print(f"  console start -> login window   {benchlib.fmt_ms(c_time)}"
          f"   (by the log's own stamp: {benchlib.fmt_ms(med([r['time_stamp'] for r in console]))})")
    print(f"  minimal start -> window shown   {benchlib.fmt_ms(m_time)}")
    for label, runs in (("console VmRSS at login window", console), ("minimal VmRSS with its window", minimal)):
        print(f"  {label}   {med([r['rss'] for r in runs]):8.0f} KiB"
              f"   (anonymous {med([r['anon'] for r in runs]):6.0f} KiB,"
              f" mapped files and libraries {med([r['file'] for r in runs]):6.0f} KiB)")
    parts = [("to_create", "start -> main window created (log on)"),
             ("to_window", "start -> first window shown (update step)"),
             ("window_to_login", "first window -> login window")]
    print("  console, where the time goes (log stamps):")
    for key, label in parts:
        values = [r[key] for r in console if key in r]
        if values:
            print(f"    {label:44s} {benchlib.fmt_ms(med(values))}")
    if args.explain and console and minimal:
        c_map, m_map = console[-1]["mappings"], minimal[-1]["mappings"]
        diff = sorted(((c_map.get(k, 0) - m_map.get(k, 0), k) for k in set(c_map) | set(m_map)), reverse=True)
        print("  console minus minimal, resident KiB by mapping (last run, largest first):")
        for kib, name in diff[:15]:
            print(f"    {kib:7d}  {name}")
    print()
    ok_time = time_ratio <= TIME_TARGET
    ok_mem = mem_ratio <= MEMORY_TARGET
    print(f"time ratio   {time_ratio:6.2f}  (target <= {TIME_TARGET})  {'OK' if ok_time else 'TARGET MISSED'}")
    print(f"memory ratio {mem_ratio:6.2f}  (target <= {MEMORY_TARGET})  {'OK' if ok_mem else 'TARGET MISSED'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
