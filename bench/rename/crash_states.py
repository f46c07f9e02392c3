#!/usr/bin/env python3
"""Every crash state of one rename batch, and of its recovery, recovered and checked.

    bench/rename/crash_states.py [--build build] [--files 20] [--small] [--card] [--keep]

Runs one batch of FILES files with the real rename code
(build/bin/rename_crash_child) under an LD_PRELOAD shim
(build/bin/libfs_log_shim.so) that logs, in order, every call that changes a
name on disk (rename, link, unlink, mkdir, create) or makes something durable
(fsync of a folder or a file, with the journal's content at each sync). The
batch covers:

  - swaps and a rotation in one folder, plain renames;
  - first use: the journal's folder and two parents above it do not exist;
  - a move into new folders three levels deep, made by the batch;
  - moves to another file system (/dev/shm), one into two new folders;
  - with --card (root, FUSE and exfat-fuse): a camera card (an exFAT image on
    a loop device, which ignores case and has neither a no-replace rename nor
    hard links) with a case-only rename and a reversal that changes case.

Then, for every prefix of that log, it builds the disk as a crash at that
point could have left it, and for each such state runs recovery
(rename_crash_child JOURNAL recover) and checks that every file is whole,
exactly once, under its old or its new name, with no temporary name, no
unfinished or second copy, no placeholder, and no journal left. A crash at
point k leaves:

  kill      every call before k (the process died, the kernel kept it all);
  power     only what was synced before k: a change of names in a folder
            survives when that folder was synced after it (a move between
            two folders needs both), a new folder only when its parent was
            synced and it is reachable through surviving folders, a file's
            content is the one it had at its last fsync (a copy never
            synced is empty);
  power+F   as power, plus, on one file system F, any prefix of its calls
            that were not synced yet.

Crashes during recovery: for the distinct states (all of them, or a sample
with --small), the recovery itself runs under the shim, and every prefix of
its log is a crash state (kill and power) that a second recovery must put
right, checked the same way.

The roots (photos on the disk, the state folder on the disk, /dev/shm, the
card) are treated as separate file systems. Identical states are recovered
once. Exit status 0 when every state passed.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

NAME_OPS = ("rename", "link", "unlink", "mkdir", "rmdir", "create", "symlink")


def parse_log(path):
    ops = []
    with open(path, "rb") as f:
        for raw in f.read().split(b"\n"):
            if not raw:
                continue
            fields = raw.decode("utf-8", "surrogateescape").split("\t")
            ops.append((fields[0], fields[1:]))
    return ops


def folder(path):
    return os.path.dirname(path)


def sanitizer_runtime(exe):
    """The shared AddressSanitizer runtime exe is linked with, if any: it must
    come first in the preload list, before the shim, or the child stops at once."""
    out = subprocess.run(["ldd", exe], capture_output=True, text=True).stdout
    for line in out.splitlines():
        parts = line.split()
        name = parts[0] if parts else ""
        if (name.startswith("libasan.so") or name.startswith("libclang_rt.asan")) and "=>" in parts:
            return parts[parts.index("=>") + 1]
    return None


def run_quiet(argv):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


class Card:
    """An exFAT image mounted through FUSE on a loop device, or why not."""

    def __init__(self, base):
        self.mount = self.loop = None
        self.why = None
        if os.geteuid() != 0:
            self.why = "not root"
            return
        for tool in ("mkfs.exfat", "mount.exfat-fuse", "losetup"):
            if not shutil.which(tool):
                self.why = "%s not installed (exfat-fuse, exfatprogs)" % tool
                return
        if not os.access("/dev/fuse", os.W_OK):
            self.why = "no /dev/fuse"
            return
        self.dir = tempfile.mkdtemp(prefix="tavstates-card-", dir=base)
        image = os.path.join(self.dir, "card.img")
        with open(image, "wb") as f:
            f.truncate(16 << 20)
        if run_quiet(["mkfs.exfat", image]).returncode != 0:
            self.why = "mkfs.exfat failed"
            return
        r = run_quiet(["losetup", "-f", "--show", image])
        if r.returncode != 0:
            self.why = "no loop device: " + r.stdout.strip()
            return
        self.loop = r.stdout.strip()
        mnt = os.path.join(self.dir, "mnt")
        os.mkdir(mnt)
        self.mount = mnt
        if not self.remount(first=True):
            self.mount = None

    def remount(self, first=False):
        """A fresh mount, as after a restart: exfat-fuse keeps names it has
        seen under one case and then refuses them under another."""
        if not first:
            run_quiet(["umount", self.mount])
        r = run_quiet(["mount.exfat-fuse", self.loop, self.mount])
        if r.returncode != 0:
            self.why = "mount failed: " + r.stdout.strip()
            return False
        return True

    def close(self):
        if self.mount:
            run_quiet(["umount", self.mount])
        if self.loop:
            run_quiet(["losetup", "-d", self.loop])
        if getattr(self, "dir", None):
            shutil.rmtree(self.dir, ignore_errors=True)


class Replay:
    """A log of calls over a starting disk: the disk a crash at any point leaves."""

    def __init__(self, scenario, ops, base_names, base_dirs, base_files):
        # base_names: path -> token; base_files: token -> (content, mtime_ns, inode)
        self.s = scenario
        self.ops = ops
        self.base_names = base_names
        self.base_dirs = base_dirs
        self.base_files = base_files
        self.covered_at = self.coverage()

    def fs_of_op(self, j):
        op, a = self.ops[j]
        return self.s.fs_of(a[1] if op in ("rename", "link", "symlink") else a[0])

    def folders_of(self, k):
        op, a = self.ops[k]
        if op in ("rename", "link"):
            return {folder(a[0]), folder(a[1])}
        if op == "symlink":
            return {folder(a[1])}
        return {folder(a[0])}

    def coverage(self):
        """For each call, the index of the sync that makes it durable (or None)."""
        covered_at = [None] * len(self.ops)
        parts = {}
        pending = []
        for k, (op, a) in enumerate(self.ops):
            if op == "fsync" and a[1] == "dir":
                still = []
                for j in pending:
                    parts[j].discard(a[0])
                    if not parts[j]:
                        covered_at[j] = k
                    else:
                        still.append(j)
                pending = still
            elif op in NAME_OPS:
                parts[k] = set(self.folders_of(k))
                pending.append(k)
        return covered_at

    def first_unsynced(self, k):
        return max([j + 1 for j in range(k) if self.covered_at[j] is not None and self.covered_at[j] < k] or [0])

    def variants(self, k, ordered=True):
        out = [("kill", None, None), ("power", None, None)]
        if ordered:
            first = self.first_unsynced(k)
            for fs in self.s.roots:
                for cut in range(first + 1, k + 1):
                    out.append(("ordered", fs, cut))
        return out

    def state(self, k, mode, fs=None, cut=None):
        names = dict(self.base_names)
        dirs = set(self.base_dirs)
        volatile = {}  # token -> content as last synced
        created = {}  # token -> inode at creation
        skipped = 0
        live = dict(names)  # the process's own view, to follow fsyncs
        for j in range(k):
            op, a = self.ops[j]
            keep = (mode == "kill" or (self.covered_at[j] is not None and self.covered_at[j] < k)
                    or (mode == "ordered" and j < cut and self.fs_of_op(j) == fs))
            if op == "create":
                tok = live.get(a[0]) or ("new", id(self), j)
                live[a[0]] = tok
                created.setdefault(tok, int(a[1]))
                volatile.setdefault(tok, b"")
            elif op == "rename" and a[0] in live:
                live[a[1]] = live.pop(a[0])
            elif op == "link" and a[0] in live:
                live[a[1]] = live[a[0]]
            elif op == "unlink":
                live.pop(a[0], None)
            elif op == "fsync" and a[1] == "file" and a[0] in live:
                tok = live[a[0]]
                volatile[tok] = bytes.fromhex(a[3]) if len(a) > 3 else self.s.copy_content(int(a[2]))
            if not keep or op == "fsync":
                continue
            if op == "create":
                if a[0] not in names:
                    names[a[0]] = live[a[0]]
            elif op == "rename":
                if a[0] in names:
                    names[a[1]] = names.pop(a[0])
                else:
                    skipped += 1
            elif op == "link":
                if a[0] in names:
                    names[a[1]] = names[a[0]]
                else:
                    skipped += 1
            elif op == "unlink":
                if names.pop(a[0], None) is None:
                    skipped += 1
            elif op == "mkdir":
                dirs.add(a[0])
            elif op == "rmdir":
                dirs.discard(a[0])
        content = {}
        for tok in set(names.values()):
            if tok in self.base_files:
                content[tok] = volatile.get(tok, self.base_files[tok][0])
            else:
                content[tok] = volatile.get(tok, b"")
        # A folder is there only when every folder above it, up to its root, is.
        reachable = set()
        for d in sorted(dirs, key=len):
            if d in self.s.root_dirs or (folder(d) in reachable):
                reachable.add(d)
        names = {p: t for p, t in names.items() if folder(p) in reachable}
        return names, reachable, content, created, skipped

    def materialise(self, names, dirs, content, created):
        self.s.wipe()
        for d in sorted(dirs, key=len):
            if not os.path.isdir(d):
                os.mkdir(d)
        where = {}
        inode_map = {}
        journals = []
        for p in sorted(names, key=lambda p: (self.s.fs_of(p) == "journal", p)):
            tok = names[p]
            if tok in where:
                os.link(where[tok], p)
                continue
            where[tok] = p
            if self.s.fs_of(p) == "journal":
                journals.append((p, content[tok]))
                continue
            with open(p, "wb") as f:
                f.write(content[tok])
            st = os.lstat(p)
            if tok in self.base_files:
                _, mtime, ino = self.base_files[tok]
                os.utime(p, ns=(mtime, mtime))
                inode_map[ino] = os.lstat(p).st_ino
            elif tok in created:
                inode_map[created[tok]] = st.st_ino
        for p, data in journals:
            with open(p, "wb") as f:
                f.write(rewrite_identities(data, inode_map))


def rewrite_identities(data, inode_map):
    """The journal names files by inode; the replayed files have new ones."""
    out = []
    for line in data.split(b"\n"):
        f = line.split(b"\t")
        if f[0] == b"R" and len(f) == 8 and int(f[5]) in inode_map:
            f[5] = str(inode_map[int(f[5])]).encode()
        elif f[0] == b"I" and len(f) == 5 and int(f[3]) in inode_map:
            f[3] = str(inode_map[int(f[3])]).encode()
        out.append(b"\t".join(f))
    return b"\n".join(out)


class Scenario:
    def __init__(self, files, build, use_card):
        self.child = os.path.join(build, "bin", "rename_crash_child")
        self.shim = os.path.join(os.path.abspath(build), "bin", "libfs_log_shim.so")
        for exe in (self.child, self.shim):
            if not os.path.exists(exe):
                sys.exit("missing %s: build the project first" % exe)
        runtime = sanitizer_runtime(self.child)
        self.preload = (runtime + ":" if runtime else "") + self.shim
        base = os.environ.get("TMPDIR", "/tmp")
        self.disk = tempfile.mkdtemp(prefix="tavstates-disk-", dir=base)
        self.state_root = tempfile.mkdtemp(prefix="tavstates-state-", dir=base)
        self.other = tempfile.mkdtemp(prefix="tavstates-other-", dir="/dev/shm")
        if os.stat(self.disk).st_dev == os.stat(self.other).st_dev:
            sys.exit("/dev/shm is on the same file system as %s: no move to another file system" % base)
        self.card = Card(base) if use_card else None
        self.photos = os.path.join(self.disk, "photos")
        # First use: neither the journal's folder nor the two above it exist.
        self.journal = os.path.join(self.state_root, "state", "Travoline", "journal")
        self.roots = {"photos": self.disk, "journal": self.state_root, "other": self.other}
        if self.card and self.card.mount:
            self.roots["card"] = self.card.mount
        self.root_dirs = set(self.roots.values())
        self.n = files
        self.log_no = 0

    def fs_of(self, path):
        for name, root in self.roots.items():
            if path == root or path.startswith(root + "/"):
                return name
        return None

    def make_files(self):
        """Files of distinct sizes (a copy is told by its size) and contents."""
        os.mkdir(self.photos)
        self.originals = {}
        for i in range(self.n):
            p = os.path.join(self.photos, "f%02d.jpg" % i)
            data = (b"%02d" % i) * (500 + 37 * i)
            if i in (8, 9):
                data = data * 40  # copied in several pieces
            self.originals[p] = data
        if "card" in self.roots:
            for k, name in enumerate(("IMG_0001.JPG", "x1", "x2", "x3")):
                self.originals[os.path.join(self.card.mount, name)] = (b"c%d" % k) * (300 + 11 * k)
        for p, data in self.originals.items():
            with open(p, "wb") as f:
                f.write(data)

    def moves(self):
        ph = self.photos

        def f(i):
            return os.path.join(ph, "f%02d.jpg" % i)

        m = {}
        m[f(0)], m[f(1)] = f(1), f(0)  # swaps
        m[f(2)], m[f(3)] = f(3), f(2)
        m[f(4)], m[f(5)], m[f(6)] = f(5), f(6), f(4)  # rotation
        m[f(7)] = os.path.join(ph, "2007", "a", "b", "f07.jpg")  # new folders three deep
        m[f(8)] = os.path.join(self.other, "n1", "n2", "f08.jpg")  # another file system, new folders
        m[f(9)] = os.path.join(self.other, "f09.jpg")
        for i in range(10, self.n):
            m[f(i)] = os.path.join(ph, "n_f%02d.jpg" % i)
        if "card" in self.roots:
            c = self.card.mount
            m[os.path.join(c, "IMG_0001.JPG")] = os.path.join(c, "img_0001.jpg")  # case only
            m[os.path.join(c, "x1")] = os.path.join(c, "X3")  # a reversal that changes case
            m[os.path.join(c, "x2")] = os.path.join(c, "X2")
            m[os.path.join(c, "x3")] = os.path.join(c, "X1")
        return m

    def logged(self, argv):
        self.log_no += 1
        log = os.path.join(os.path.dirname(self.state_root), os.path.basename(self.state_root) + ".log%d" % self.log_no)
        env = dict(os.environ, LD_PRELOAD=self.preload, TAV_FSLOG=log, TAV_FSLOG_DATA=self.state_root)
        r = subprocess.run(argv, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        ops = parse_log(log) if os.path.exists(log) else []
        if os.path.exists(log):
            os.unlink(log)
        ops = [(op, a) for op, a in ops if a and self.fs_of(a[1] if op in ("rename", "link", "symlink") else a[0])]
        return r.returncode, r.stderr.strip(), ops

    def record(self):
        self.make_files()
        self.new_of = self.moves()
        base_names, base_files = {}, {}
        for p, data in self.originals.items():
            st = os.lstat(p)
            tok = ("orig", p)
            base_names[p] = tok
            base_files[tok] = (data, st.st_mtime_ns, st.st_ino)
        argv = [self.child, self.journal, "none", "0"]
        for old, new in self.new_of.items():
            argv += [old, new]
        rc, err, ops = self.logged(argv)
        if rc != 1:
            sys.exit("the batch exited with %d: %s" % (rc, err))
        for old, new in self.new_of.items():
            with open(new, "rb") as f:
                if f.read() != self.originals[old]:
                    sys.exit("the batch did not rename %s to %s" % (old, new))
        self.batch = Replay(self, ops, base_names, set(self.root_dirs) | {self.photos}, base_files)

    def copy_content(self, size):
        for data in self.originals.values():
            if len(data) == size:
                return data
        return b"?" * size

    def wipe(self):
        for root in self.roots.values():
            for e in os.listdir(root):
                p = os.path.join(root, e)
                if os.path.isdir(p) and not os.path.islink(p):
                    shutil.rmtree(p)
                else:
                    os.unlink(p)

    def snapshot(self):
        """The disk as it is now, as the start of a replay."""
        names, dirs, files = {}, set(), {}
        for root in self.roots.values():
            for d, subdirs, entries in os.walk(root):
                dirs.add(d)
                for e in entries:
                    p = os.path.join(d, e)
                    st = os.lstat(p)
                    tok = ("snap", st.st_ino, self.fs_of(p))
                    names[p] = tok
                    if tok not in files:
                        with open(p, "rb") as f:
                            files[tok] = (f.read(), st.st_mtime_ns, st.st_ino)
        return names, dirs, files

    def check(self):
        """Problems after recovery: empty when every file is whole, once,
        under its old or new name, and nothing else is left."""
        found = {}
        problems = []
        for name, root in self.roots.items():
            if name == "journal":
                continue
            for d, _, files in os.walk(root):
                for e in files:
                    p = os.path.join(d, e)
                    with open(p, "rb") as f:
                        found[p] = f.read()
        where = {}
        for old, data in self.originals.items():
            at = [p for p, c in found.items() if c == data]
            if len(at) != 1 or at[0] not in (old, self.new_of[old]):
                problems.append("%s found at %s" % (os.path.basename(old), at or "nowhere"))
            for p in at:
                where[p] = old
        for p in found:
            if p not in where:
                problems.append("left over: %s (%d bytes)" % (p, len(found[p])))
        if os.path.isdir(self.journal) and os.listdir(self.journal):
            problems.append("journal left: %s" % os.listdir(self.journal))
        sides = {"old" if p == old else "new" for p, old in where.items()}
        return problems, sides

    def restart(self):
        """The card mounted afresh before a state is laid out on it and
        before its recovery, as after a restart."""
        if "card" in self.roots:
            self.card.remount()

    def recover_argv(self):
        return [self.child, self.journal, "recover"]

    def cleanup(self):
        for root in (self.disk, self.state_root, self.other):
            shutil.rmtree(root, ignore_errors=True)
        if self.card:
            self.card.close()


def signature(names, dirs, content):
    h = hashlib.sha256()
    for p in sorted(names):
        h.update(p.encode("utf-8", "surrogateescape") + b"\0")
        h.update(hashlib.sha256(content[names[p]]).digest())
        h.update(repr(names[p][0]).encode())
    for d in sorted(dirs):
        h.update(b"D" + d.encode("utf-8", "surrogateescape"))
    return h.hexdigest()


class Tally:
    def __init__(self):
        self.states = self.failures = self.skipped = self.mixed = 0
        self.seen = {}

    def report(self, label, shown):
        if shown <= 10:
            print(label)


def explore(s, replay, tally, where, ordered=True, on_state=None):
    """Every crash state of replay: recovered and checked."""
    for k in range(len(replay.ops) + 1):
        for mode, fs, cut in replay.variants(k, ordered):
            names, dirs, content, created, skipped = replay.state(k, mode, fs, cut)
            tally.states += 1
            sig = signature(names, dirs, content)
            if sig in tally.seen:
                continue
            tally.skipped += skipped
            s.restart()
            replay.materialise(names, dirs, content, created)
            s.restart()
            if on_state:
                rc, err, problems, sides = on_state()
            else:
                r = run_quiet(s.recover_argv())
                rc, err = r.returncode, r.stdout.strip()
                problems, sides = s.check()
            if rc != 0:
                problems.append("recovery exited %d: %s" % (rc, err[:300]))
            tally.mixed += len(sides) > 1
            tally.seen[sig] = (names, dirs, content, created)
            if problems:
                tally.failures += 1
                if tally.failures <= 10:
                    op = replay.ops[k - 1] if k else None
                    print("%s: crash after call %d (%s%s), %s: %s" % (
                        where, k, mode, "" if fs is None else " %s<%d" % (fs, cut),
                        " ".join([op[0]] + op[1][:2]) if op else "before it", "; ".join(problems)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--files", type=int, default=20)
    ap.add_argument("--small", action="store_true",
                    help="11 files, and crashes during recovery for a sample of states (seconds)")
    ap.add_argument("--card", action="store_true",
                    help="add the exFAT card (root, FUSE, exfat-fuse): see the README for what it finds")
    ap.add_argument("--keep", action="store_true", help="keep the folders of the last state")
    args = ap.parse_args()
    files = 11 if args.small else args.files
    if files < 11:
        sys.exit("--files: at least 11")
    s = Scenario(files, args.build, args.card)
    try:
        if s.card and s.card.why:
            print("exFAT card skipped: %s" % s.card.why)
        s.record()
        ops = s.batch.ops
        kinds = {}
        for op, a in ops:
            kinds[op] = kinds.get(op, 0) + 1
        print("files: %d%s; calls logged: %d (%s)" % (
            len(s.originals), " (4 on an exFAT card)" if "card" in s.roots else "", len(ops),
            ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
        batch = Tally()
        explore(s, s.batch, batch, "batch")
        print("batch: crash points: %d, crash states: %d, distinct states recovered and checked: %d" % (
            len(ops) + 1, batch.states, len(batch.seen)))
        print("durable calls that could not apply (their earlier call was lost): %d" % batch.skipped)
        print("states ending with some files under old and some under new names: %d" % batch.mixed)

        # Crashes during recovery: the recovery of each chosen state, logged,
        # then every crash state of it recovered again.
        chosen = list(batch.seen.values())
        if args.small:
            step = max(1, len(chosen) // 6)
            chosen = chosen[::step][:6]
        again = Tally()
        recoveries = 0
        for names, dirs, content, created in chosen:
            s.restart()
            s.batch.materialise(names, dirs, content, created)
            s.restart()
            b_names, b_dirs, b_files = s.snapshot()
            rc, err, rops = s.logged(s.recover_argv())
            if not any(op in NAME_OPS for op, _ in rops):
                continue
            recoveries += 1
            again.seen = {}
            explore(s, Replay(s, rops, b_names, b_dirs, b_files), again, "recovery", ordered=False)
        print("recoveries crashed in turn: %d, their crash states: %d, recovered again and checked" % (
            recoveries, again.states))
        failures = batch.failures + again.failures
        print("states with a file lost, duplicated, misnamed or left over: %d" % failures)
        return 0 if failures == 0 else 1
    finally:
        if not args.keep:
            s.cleanup()


if __name__ == "__main__":
    sys.exit(main())
