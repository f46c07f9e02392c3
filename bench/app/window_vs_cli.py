#!/usr/bin/env python3
"""The window's rename of N listed rows (bench_window --rename-only) against
the command line's rename of a folder of N files with the same rule, as whole
processes on tmpfs, in alternating rounds; with --compare BUILD the window of
another build too.

    bench/app/window_vs_cli.py [--files 100000] [--rounds 5] [--build build]
                               [--compare BUILD] [--folder /dev/shm] [--typed]

For the window: the click until the rename command returns (wall and CPU of
every thread), its longest pause, and the time until the folder list shows
the new names and the thumbnails' cache followed them ("settled", with the
CPU of every thread since the click and the longest pause after the click).
For the command line: the whole process (its start, listing and names
included). Medians, with the load average at the start and end. With --typed
the rule is typed into the box and Rename clicked at once, so that the click
recomputes every name first.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RENAME = re.compile(r"rename of (\d+) listed files:\s+(\d+) ms .*?(\d+) paints, (\d+) event turns, "
                    r"the window unanswering (\d+) ms at most; CPU (\d+) ms")
SETTLED = re.compile(r"settled after (\d+) ms .*?(\d+) thumbnail records followed\), the window unanswering "
                     r"(\d+) ms at most meanwhile; CPU (\d+) ms")


def window(build, n, root, typed):
    env = dict(os.environ, TMPDIR=root, QT_QPA_PLATFORM="offscreen")
    argv = [os.path.join(build, "bin", "bench_window"), "0", str(n), "--rename-only"] + (["--typed"] if typed else [])
    out = subprocess.run(argv, env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, check=True).stdout
    r, s = RENAME.search(out), SETTLED.search(out)
    if not r or not s or int(r.group(1)) != n:
        sys.exit("bench_window said:\n" + out)
    where = re.search(r'the longest pause: from "(.*?)" to "(.*?)"(.*)\n', out)
    if where and int(r.group(5)) > 100:
        print("  (%s: the pause of %s ms from \"%s\" to \"%s\"%s)" %
              (build, r.group(5), where.group(1), where.group(2), where.group(3) or ""))
    return {"click": int(r.group(2)), "click CPU": int(r.group(6)), "pause": int(r.group(5)),
            "paints": int(r.group(3)), "settled": int(s.group(1)), "settled CPU": int(s.group(4)),
            "pause after": int(s.group(3)), "records": int(s.group(2))}


def cli(build, n, root, env):
    folder = tempfile.mkdtemp(prefix="cli-", dir=root)
    for i in range(n):
        fd = os.open(os.path.join(folder, "photo %06d.jpg" % i), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        os.write(fd, b"x")
        os.close(fd)
    argv = [os.path.join(build, "bin", "travoline-cli"), "--language", "English", "--rename", "--yes", "--rule",
            "R_###### - *", folder]
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0 or not os.path.exists(os.path.join(folder, "R_000001 - photo 000000.jpg")):
        sys.exit("travoline-cli did not rename the folder")
    shutil.rmtree(folder)
    return {"wall": round(wall * 1000), "CPU": round((usage.ru_utime + usage.ru_stime) * 1000)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", type=int, default=100000)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--build", default="build")
    ap.add_argument("--compare", default=None)
    ap.add_argument("--folder", default="/dev/shm")
    ap.add_argument("--typed", action="store_true")
    args = ap.parse_args()
    root = tempfile.mkdtemp(prefix="tavwindow-", dir=args.folder)
    env = dict(os.environ, XDG_CONFIG_HOME=root, XDG_STATE_HOME=root)
    builds = [("this", args.build)] + ([("compare", args.compare)] if args.compare else [])
    runs = {label: [] for label, _ in builds}
    clis = []
    before = os.getloadavg()[0]
    try:
        for r in range(args.rounds):
            order = builds if r % 2 == 0 else builds[::-1]
            for label, build in order:
                res = window(build, args.files, root, args.typed)
                runs[label].append(res)
                print("round %d %-7s %s" % (r + 1, label, " ".join("%s=%d" % kv for kv in res.items())), flush=True)
            clis.append(cli(args.build, args.files, root, env))
            shutil.rmtree(os.path.join(root, "Travoline"), ignore_errors=True)
            print("round %d cli     wall=%d CPU=%d" % (r + 1, clis[-1]["wall"], clis[-1]["CPU"]), flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    after = os.getloadavg()[0]
    print("\n%d files on %s, %d rounds, medians, load average %.1f then %.1f" %
          (args.files, args.folder, args.rounds, before, after))
    for label, _ in builds:
        m = {k: statistics.median(x[k] for x in runs[label]) for k in runs[label][0]}
        print("window (%s): click %.0f ms wall, %.0f ms CPU, pause %.0f ms at most, %.0f paints; settled %.0f ms, "
              "%.0f ms CPU, pause after %.0f ms; worst pause %d ms" %
              (label, m["click"], m["click CPU"], m["pause"], m["paints"], m["settled"], m["settled CPU"],
               m["pause after"], max(max(x["pause"], x["pause after"]) for x in runs[label])))
    print("travoline-cli --rename, whole process: %.0f ms wall, %.0f ms CPU" %
          (statistics.median(c["wall"] for c in clis), statistics.median(c["CPU"] for c in clis)))


if __name__ == "__main__":
    main()
