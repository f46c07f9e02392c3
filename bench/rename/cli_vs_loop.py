#!/usr/bin/env python3
"""Times `travoline-cli --rename` of a folder of files against a C loop that
does only the two no-replace renames per file, both as whole processes on
tmpfs, and prints the ratio.

    bench/rename/cli_vs_loop.py [--files 10000] [--rounds 7] [--build build] [--folder /dev/shm]

Each round makes the files afresh for each program; the rounds alternate the
two programs so that a change of machine load touches both. Wall-clock and
CPU (user + system) times are the child's own, from wait4(); medians are
printed.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def make_files(folder, n):
    os.mkdir(folder)
    for i in range(n):
        fd = os.open(os.path.join(folder, "IMG_%05d.jpg" % i), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        os.write(fd, b"%d\n" % i)
        os.close(fd)


def timed(argv, env=None):
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if proc.returncode != 0:
        sys.exit("%s exited with %d: %s" % (argv[0], proc.returncode, err[-500:]))
    return wall, usage.ru_utime + usage.ru_stime


def check_renamed(folder, n, prefix):
    names = os.listdir(folder)
    expected = {prefix + "IMG_%05d.jpg" % i for i in range(n)}
    if len(names) != n or set(names) != expected:
        sys.exit("%s: the files do not have the expected names" % folder)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", type=int, default=10000)
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--build", default="build")
    ap.add_argument("--folder", default="/dev/shm")
    args = ap.parse_args()
    loop = os.path.join(args.build, "bin", "bench_rename_loop")
    cli = os.path.join(args.build, "bin", "travoline-cli")
    for exe in (loop, cli):
        if not os.access(exe, os.X_OK):
            sys.exit("missing %s: build the project first" % exe)

    root = tempfile.mkdtemp(prefix="tavbench-", dir=args.folder)
    config = tempfile.mkdtemp(prefix="tavbench-config-")
    # Own settings, journal and history: the user's undo history is left alone.
    env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_STATE_HOME=config)
    results = {"loop": [], "stat": [], "cli": []}
    order = ["loop", "stat", "cli"]
    try:
        for r in range(args.rounds):
            for name in order[r % 3:] + order[:r % 3]:
                folder = os.path.join(root, "%s%d" % (name, r))
                make_files(folder, args.files)
                if name == "loop":
                    results[name].append(timed([loop, folder, "h_"]))
                elif name == "stat":
                    results[name].append(timed([loop, folder, "h_", "--stat"]))
                else:
                    results[name].append(timed([cli, "--language", "English", "--rename", "--yes",
                                                "--rule", "h_*", folder], env))
                check_renamed(folder, args.files, "h_")
                shutil.rmtree(folder)
    finally:
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(config, ignore_errors=True)

    def med(name, k):
        return statistics.median(x[k] for x in results[name]) * 1000

    print("files: %d on %s, rounds: %d (medians; CPU = user + system)" % (args.files, args.folder, args.rounds))
    print("C loop, two no-replace renames per file: %8.1f ms wall %8.1f ms CPU" % (med("loop", 0), med("loop", 1)))
    print("C loop, one identity stat more per file: %8.1f ms wall %8.1f ms CPU" % (med("stat", 0), med("stat", 1)))
    print("travoline-cli --rename, whole process:   %8.1f ms wall %8.1f ms CPU" % (med("cli", 0), med("cli", 1)))
    print("ratio: %.2fx wall, %.2fx CPU" % (med("cli", 0) / med("loop", 0), med("cli", 1) / med("loop", 1)))
    print("loop with the stat against the loop: %.2fx CPU" % (med("stat", 1) / med("loop", 1)))


if __name__ == "__main__":
    main()
