#!/usr/bin/env python3
"""Times `travoline-cli --rename` of a folder of files against a C loop that
does only the two no-replace renames per file, mmv and perl rename, all as
whole processes on tmpfs, and prints the ratios; also the command line's
start (`--version`) and a preview (no --rename) of the largest folder.

    bench/rename/cli_vs_loop.py [--files 10000[,100000,...]] [--rounds 7]
                                [--build build] [--folder /dev/shm]
                                [--state DIR] [--compare BUILD] [--no-others] [--no-start]
                                [--no-preview] [--no-rename]

Each round makes the files afresh for each program; the rounds alternate the
programs (in a rotating order) so that a change of machine load touches all.
Wall-clock, CPU (user + system) and peak memory (maxrss) are the child's own,
from wait4(); medians are printed, with the load average of the machine at
the start and end of each size. mmv and perl rename (Debian packages mmv and
rename) are timed when installed. With several sizes, a table in Markdown
closes the output.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


TIME = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None


def make_files(folder, n):
    os.mkdir(folder)
    for i in range(n):
        fd = os.open(os.path.join(folder, "IMG_%07d.jpg" % i), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        os.write(fd, b"%d\n" % i)
        os.close(fd)


def timed(argv, env=None, cwd=None, stdin_bytes=None, wrap=True):
    """(wall s, CPU s, peak KiB) of one child process, which must exit 0."""
    # Started through /usr/bin/time, a small process: a child forked from
    # this Python process would count Python's memory in its peak.
    if TIME and wrap:
        argv = [TIME, "-f", "tavpeak %M"] + argv
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env, cwd=cwd,
                            stdin=subprocess.PIPE if stdin_bytes is not None else subprocess.DEVNULL)
    if stdin_bytes is not None:
        proc.stdin.write(stdin_bytes)
        proc.stdin.close()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if code != 0:
        sys.exit("%s exited with %d: %s" % (argv[0], code, err[-500:]))
    peak = usage.ru_maxrss
    lines = err.strip().splitlines()
    if TIME and wrap and lines and lines[-1].startswith("tavpeak "):
        peak = int(lines[-1].split()[1])  # the program's own, as time read it
    return wall, usage.ru_utime + usage.ru_stime, peak


def check_renamed(folder, n, prefix):
    names = os.listdir(folder)
    expected = {prefix + "IMG_%07d.jpg" % i for i in range(n)}
    if len(names) != n or set(names) != expected:
        sys.exit("%s: the files do not have the expected names" % folder)


def load():
    return os.getloadavg()[0]


def programs(args, env):
    """name -> (label, function(folder) -> timing)."""
    loop = os.path.join(args.build, "bin", "bench_rename_loop")
    cli = os.path.join(args.build, "bin", "travoline-cli")
    for exe in (loop, cli):
        if not os.access(exe, os.X_OK):
            sys.exit("missing %s: build the project first" % exe)
    table = {
        "loop": ("C loop, two no-replace renames per file", lambda f: timed([loop, f, "h_"])),
        "stat": ("C loop, one identity stat more per file", lambda f: timed([loop, f, "h_", "--stat"])),
        "cli": ("travoline-cli --rename, whole process",
                lambda f: timed([cli, "--language", "English", "--rename", "--yes", "--rule", "h_*", f], env)),
    }
    if args.compare:
        # Another build's command line in the same rounds (before and after a change).
        other = os.path.join(args.compare, "bin", "travoline-cli")
        table["compare"] = ("travoline-cli of --compare build",
                            lambda f: timed([other, "--language", "English", "--rename", "--yes", "--rule", "h_*", f],
                                            env))
    if not args.no_others and shutil.which("mmv"):
        # mmv reads the folder, checks every pair, then renames (one rename each).
        table["mmv"] = ("mmv -r '*' 'h_#1'", lambda f: timed(["mmv", "-r", "*", "h_#1"], cwd=f))
    if not args.no_others and shutil.which("file-rename"):
        # perl rename, the names given on standard input (no argument list limit).
        def perl(f):
            names = b"".join(n.encode() + b"\0" for n in os.listdir(f))
            return timed(["file-rename", "-0", "-d", "s/^/h_/"], cwd=f, stdin_bytes=names)
        table["perl"] = ("perl rename 's/^/h_/'", perl)
    return table


def median(values, k):
    return statistics.median(v[k] for v in values)


def run_size(args, n, table, root):
    order = list(table)
    results = {name: [] for name in order}
    before = load()
    rounds = args.rounds if n <= 100000 else max(1, min(args.rounds, 3))
    for r in range(rounds):
        k = r % len(order)
        for name in order[k:] + order[:k]:
            folder = os.path.join(root, "%s%d" % (name, r))
            make_files(folder, n)
            results[name].append(table[name][1](folder))
            check_renamed(folder, n, "h_")
            shutil.rmtree(folder)
    after = load()
    print("files: %d on %s, rounds: %d (medians; CPU = user + system), load average %.1f then %.1f"
          % (n, args.folder, rounds, before, after))
    base_wall = median(results["loop"], 0)
    base_cpu = median(results["loop"], 1)
    for name in order:
        wall, cpu, peak = (median(results[name], k) for k in range(3))
        print("%-42s %9.1f ms wall %9.1f ms CPU %8.1f MB peak   %.2fx wall %.2fx CPU"
              % (table[name][0] + ":", wall * 1000, cpu * 1000, peak / 1024, wall / base_wall, cpu / base_cpu))
    print(flush=True)
    return {name: (median(results[name], 0), median(results[name], 1), median(results[name], 2)) for name in order}, \
        (before, after)


def start_figure(args):
    """Median of 21 `--version` runs, wall and CPU."""
    cli = os.path.join(args.build, "bin", "travoline-cli")
    runs = [timed([cli, "--version"], wrap=False) for _ in range(21)]
    print("travoline-cli --version, 21 runs, load average %.1f: median %.1f ms wall (best %.1f), %.1f ms CPU\n"
          % (load(), median(runs, 0) * 1000, min(r[0] for r in runs) * 1000, median(runs, 1) * 1000))


def preview_figure(args, n, root, env):
    """The preview of n files with tokens and $REPC: the whole process; with
    --compare, the other build's in the same rounds, alternating."""
    builds = [("travoline-cli", args.build)]
    if args.compare:
        builds.append(("travoline-cli of --compare build", args.compare))
    folder = os.path.join(root, "preview")
    make_files(folder, n)
    rule = "Voyage ###### - * - $N$ $REPC/IMG_/Photo-$"
    runs = {label: [] for label, _ in builds}
    before = load()
    for r in range(args.rounds):
        for label, build in (builds if r % 2 == 0 else builds[::-1]):
            cli = os.path.join(build, "bin", "travoline-cli")
            runs[label].append(timed([cli, "--language", "English", "--rule", rule, folder], env))
    shutil.rmtree(folder)
    print("preview of %d files, rule '%s', %d runs each, load average %.1f then %.1f:"
          % (n, rule, args.rounds, before, load()))
    for label, _ in builds:
        print("  %-34s median %7.1f ms wall (best %7.1f), %7.1f ms CPU, %6.1f MB peak"
              % (label + ":", median(runs[label], 0) * 1000, min(t[0] for t in runs[label]) * 1000,
                 median(runs[label], 1) * 1000, median(runs[label], 2) / 1024))
    print()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", default="10000", help="one size or several, separated by commas")
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--build", default="build")
    ap.add_argument("--folder", default="/dev/shm")
    ap.add_argument("--state", default=None,
                    help="where the settings, journal and history go (default: the --folder file system)")
    ap.add_argument("--compare", default=None, help="another build folder whose command line is timed too")
    ap.add_argument("--no-others", action="store_true", help="skip mmv and perl rename")
    ap.add_argument("--no-start", action="store_true", help="skip the --version figure")
    ap.add_argument("--no-preview", action="store_true", help="skip the preview figure")
    ap.add_argument("--no-rename", action="store_true", help="skip the renames (the start and the preview only)")
    args = ap.parse_args()
    sizes = [int(s) for s in args.files.split(",")]

    root = tempfile.mkdtemp(prefix="tavbench-", dir=args.folder)
    config = tempfile.mkdtemp(prefix="tavbench-config-", dir=args.state or args.folder)
    # Own settings, journal and history: the user's undo history is left alone.
    env = dict(os.environ, XDG_CONFIG_HOME=config, XDG_STATE_HOME=config)
    table = programs(args, env)
    rows = []
    try:
        if not args.no_start:
            start_figure(args)
        for n in ([] if args.no_rename else sizes):
            rows.append((n,) + run_size(args, n, table, root))
            # Each batch adds a file to the history: keep the folder small.
            shutil.rmtree(os.path.join(config, "Travoline"), ignore_errors=True)
        if not args.no_preview:
            preview_figure(args, max(sizes), root, env)
    finally:
        shutil.rmtree(root, ignore_errors=True)
        shutil.rmtree(config, ignore_errors=True)

    if len(rows) > 1:
        names = list(table)
        print("| files | load | " + " | ".join(table[k][0] for k in names) + " |")
        print("|---:|---:|" + "---:|" * len(names))
        for n, res, (before, after) in rows:
            base = res["loop"][0]
            cells = ["%.0f ms" % (res["loop"][0] * 1000)]
            cells += ["%.0f ms (%.2fx)" % (res[k][0] * 1000, res[k][0] / base) for k in names[1:]]
            print("| %s | %.1f–%.1f | %s |" % ("{:,}".format(n), before, after, " | ".join(cells)))
        print("\ncost per file (µs wall): " + ", ".join(
            "%s %s" % ("{:,}".format(n), " / ".join("%s %.1f" % (k, res[k][0] * 1e6 / n) for k in names))
            for n, res, _ in rows))


if __name__ == "__main__":
    main()
