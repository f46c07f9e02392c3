#!/usr/bin/env python3
"""Every crash state of one rename batch, recovered and checked.

    bench/rename/crash_states.py [--build build] [--files 20] [--keep]

Runs one batch of FILES files (swaps, a rotation, a move into a folder made
for it, moves to another file system, plain renames) with the real rename
code (build/bin/rename_crash_child) under an LD_PRELOAD shim
(build/bin/libfs_log_shim.so) that logs, in order, every call that changes a
name on disk (rename, link, unlink, mkdir, create) or makes something durable
(fsync of a folder or a file, with the journal's content at each sync).

Then, for every prefix of that log, it builds the disk as a crash at that
point could have left it, and for each such state runs recovery
(rename_crash_child JOURNAL recover) and checks that every file is whole,
exactly once, under its old or its new name, with no temporary name, no
unfinished or second copy, and no journal left. A crash at point k leaves:

  kill      every call before k (the process died, the kernel kept it all);
  power     only what was synced before k: a change of names in a folder
            survives when that folder was synced after it (a move between
            two folders needs both), a file's content is the one it had at
            its last fsync (a copy never synced is empty);
  power+F   as power, plus, on one file system F, any prefix of its calls
            that were not synced yet (file systems that keep their changes
            in order, as a journaling one does, write out such a prefix).

The three roots (photos on the disk, the journal on the disk, a folder on
/dev/shm) are treated as three separate file systems whatever they really
are. Identical states are recovered once. Exit status 0 when every state
passed.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile


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


class Scenario:
    def __init__(self, files, build):
        self.build = build
        self.child = os.path.join(build, "bin", "rename_crash_child")
        self.shim = os.path.join(os.path.abspath(build), "bin", "libfs_log_shim.so")
        for exe in (self.child, self.shim):
            if not os.path.exists(exe):
                sys.exit("missing %s: build the project first" % exe)
        base = os.environ.get("TMPDIR", "/tmp")
        self.disk = tempfile.mkdtemp(prefix="tavstates-disk-", dir=base)
        self.journal = tempfile.mkdtemp(prefix="tavstates-journal-", dir=base)
        self.other = tempfile.mkdtemp(prefix="tavstates-other-", dir="/dev/shm")
        if os.stat(self.disk).st_dev == os.stat(self.other).st_dev:
            sys.exit("/dev/shm is on the same file system as %s: no move to another file system" % base)
        self.photos = os.path.join(self.disk, "photos")
        self.roots = {"photos": self.disk, "journal": self.journal, "other": self.other}
        self.n = files

    def fs_of(self, path):
        for name, root in self.roots.items():
            if path == root or path.startswith(root + "/"):
                return name
        return None

    def make_files(self):
        """Files of distinct sizes (a copy is told by its size) and contents."""
        os.mkdir(self.photos)
        self.originals = {}  # old path -> content
        for i in range(self.n):
            p = os.path.join(self.photos, "f%02d.jpg" % i)
            data = (b"%02d" % i) * (500 + 37 * i)
            if i in (8, 9):
                data = data * 40  # copied in several pieces
            with open(p, "wb") as f:
                f.write(data)
            self.originals[p] = data

    def moves(self):
        ph = self.photos
        m = {}

        def f(i):
            return os.path.join(ph, "f%02d.jpg" % i)

        m[f(0)], m[f(1)] = f(1), f(0)  # swaps
        m[f(2)], m[f(3)] = f(3), f(2)
        m[f(4)], m[f(5)], m[f(6)] = f(5), f(6), f(4)  # rotation
        m[f(7)] = os.path.join(ph, "2007", "f07.jpg")  # into a folder made for it
        m[f(8)] = os.path.join(self.other, "f08.jpg")  # to another file system
        m[f(9)] = os.path.join(self.other, "f09.jpg")
        for i in range(10, self.n):
            m[f(i)] = os.path.join(ph, "n_f%02d.jpg" % i)
        return m

    def record(self):
        self.make_files()
        self.new_of = self.moves()
        # The folder a folder pattern asks for is made just before the batch,
        # unsynced; it is the log's first call.
        os.mkdir(os.path.join(self.photos, "2007"))
        self.initial = {}  # path -> (inode, content, mtime_ns)
        for p, data in self.originals.items():
            st = os.lstat(p)
            self.initial[p] = (st.st_ino, data, st.st_mtime_ns)
        log = os.path.join(self.journal, "..", os.path.basename(self.journal) + ".log")
        env = dict(os.environ, LD_PRELOAD=self.shim, TAV_FSLOG=log, TAV_FSLOG_DATA=self.journal)
        argv = [self.child, self.journal, "none", "0"]
        for old, new in self.new_of.items():
            argv += [old, new]
        rc = subprocess.run(argv, env=env).returncode
        if rc != 1:
            sys.exit("the batch exited with %d" % rc)
        self.ops = [("mkdir", [os.path.join(self.photos, "2007")])] + parse_log(log)
        os.unlink(log)
        for old, new in self.new_of.items():
            with open(new, "rb") as f:
                if f.read() != self.originals[old]:
                    sys.exit("the batch did not rename %s to %s" % (old, new))
        # Keep only the calls on the three roots (the shim sees the whole process).
        self.ops = [(op, a) for op, a in self.ops
                    if a and self.fs_of(a[1] if op in ("rename", "link", "symlink") else a[0])]

    # ---- the model -------------------------------------------------------

    def coverage(self):
        """For each call, the index of the sync that makes it durable (or None)."""
        n = len(self.ops)
        covered_at = [None] * n
        pending = []  # indices of entry changes not yet durable
        for k, (op, a) in enumerate(self.ops):
            if op == "fsync" and a[1] == "dir":
                still = []
                for j in pending:
                    self.synced_parts[j].discard(a[0])
                    if not self.synced_parts[j]:
                        covered_at[j] = k
                    else:
                        still.append(j)
                pending = still
            elif op in ("rename", "link", "unlink", "mkdir", "rmdir", "create", "symlink"):
                self.synced_parts[k] = set(self.folders_of(k))
                pending.append(k)
        return covered_at

    def folders_of(self, k):
        op, a = self.ops[k]
        if op in ("rename", "link"):
            return {folder(a[0]), folder(a[1])}
        if op == "symlink":
            return {folder(a[1])}
        return {folder(a[0])}

    def state(self, k, mode, fs=None, cut=None):
        """The names and contents a crash at k leaves: path -> token, dirs,
        token -> content. Also how many durable calls could not be applied."""
        names = {p: ("orig", p) for p in self.initial}
        dirs = {self.photos, self.journal, self.other}
        content = {("orig", p): v[1] for p, v in self.initial.items()}
        volatile = {}  # token -> content as last synced (or as written, for kill)
        created = {}  # token -> inode at creation
        skipped = 0
        live = {}  # path -> token in the process's own view, to follow fsyncs
        live.update(names)
        for j in range(k):
            op, a = self.ops[j]
            keep = (mode == "kill" or (self.covered_at[j] is not None and self.covered_at[j] < k)
                    or (mode == "ordered" and j < cut and self.fs_of_op(j) == fs))
            # The process's view decides which token a sync or a creation is about.
            if op == "create":
                tok = live.get(a[0]) or ("new", j)
                live[a[0]] = tok
                created[tok] = int(a[1])
                volatile.setdefault(tok, b"")
            elif op == "rename" and a[0] in live:
                live[a[1]] = live.pop(a[0])
            elif op == "link" and a[0] in live:
                live[a[1]] = live[a[0]]
            elif op == "unlink":
                live.pop(a[0], None)
            elif op == "fsync" and a[1] == "file" and a[0] in live:
                tok = live[a[0]]
                if len(a) > 3:
                    volatile[tok] = bytes.fromhex(a[3])
                else:
                    volatile[tok] = self.copy_content(int(a[2]))
            if not keep or op == "fsync":
                continue
            if op == "create":
                tok = live[a[0]]
                if a[0] not in names:
                    names[a[0]] = tok
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
        for tok in set(names.values()):
            if tok[0] == "new":
                if mode == "kill" and tok not in volatile:
                    content[tok] = b""
                else:
                    content[tok] = volatile.get(tok, b"")
        return names, dirs, content, created, skipped

    def fs_of_op(self, j):
        op, a = self.ops[j]
        return self.fs_of(a[1] if op in ("rename", "link", "symlink") else a[0])

    def copy_content(self, size):
        for data in self.originals.values():
            if len(data) == size:
                return data
        return b"?" * size

    # ---- replay ----------------------------------------------------------

    def wipe(self):
        for root in (self.photos, self.other, self.journal):
            for e in os.listdir(root):
                p = os.path.join(root, e)
                if os.path.isdir(p) and not os.path.islink(p):
                    shutil.rmtree(p)
                else:
                    os.unlink(p)

    def materialise(self, names, dirs, content, created):
        self.wipe()
        for d in sorted(dirs):
            os.makedirs(d, exist_ok=True)
        where = {}  # token -> first path
        inode_map = {}  # recorded inode -> inode now
        journals = []
        for p in sorted(names, key=lambda p: (self.fs_of(p) == "journal", p)):
            tok = names[p]
            if not os.path.isdir(folder(p)):
                continue  # its folder did not survive
            if tok in where:
                os.link(where[tok], p)
                continue
            where[tok] = p
            if p.startswith(self.journal + "/"):
                journals.append((p, content[tok]))
                continue
            with open(p, "wb") as f:
                f.write(content[tok])
            st = os.lstat(p)
            if tok[0] == "orig":
                ino, _, mtime = self.initial[tok[1]]
                os.utime(p, ns=(mtime, mtime))
                inode_map[ino] = st.st_ino
            elif tok in created:
                inode_map[created[tok]] = st.st_ino
        for p, data in journals:
            with open(p, "wb") as f:
                f.write(self.rewrite_identities(data, inode_map))

    def rewrite_identities(self, data, inode_map):
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

    def check(self):
        """Problems after recovery: empty when every file is whole, once,
        under its old or new name, and nothing else is left."""
        found = {}
        problems = []
        for root in (self.photos, self.other):
            for d, _, files in os.walk(root):
                for name in files:
                    p = os.path.join(d, name)
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
        if os.listdir(self.journal):
            problems.append("journal left: %s" % os.listdir(self.journal))
        sides = {"old" if p == old else "new" for p, old in where.items()}
        return problems, sides

    def recover(self):
        r = subprocess.run([self.child, self.journal, "recover"], capture_output=True, text=True)
        return r.returncode, r.stderr.strip()

    def cleanup(self):
        for root in (self.disk, self.journal, self.other):
            shutil.rmtree(root, ignore_errors=True)


def signature(names, dirs, content):
    h = hashlib.sha256()
    for p in sorted(names):
        h.update(p.encode("utf-8", "surrogateescape") + b"\0")
        h.update(hashlib.sha256(content[names[p]]).digest())
        h.update(repr(names[p][0]).encode())
    for d in sorted(dirs):
        h.update(b"D" + d.encode("utf-8", "surrogateescape"))
    return h.hexdigest()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build")
    ap.add_argument("--files", type=int, default=20)
    ap.add_argument("--keep", action="store_true", help="keep the folders of the last state")
    args = ap.parse_args()
    if args.files < 11:
        sys.exit("--files: at least 11")
    s = Scenario(args.files, args.build)
    try:
        s.record()
        s.synced_parts = {}
        s.covered_at = s.coverage()
        n = len(s.ops)
        kinds = {}
        for op, a in s.ops:
            kinds[op] = kinds.get(op, 0) + 1
        print("files: %d; calls logged: %d (%s)" % (args.files, n,
              ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
        seen = {}
        states = 0
        failures = 0
        skipped_total = 0
        mixed = 0
        for k in range(n + 1):
            variants = [("kill", None, None), ("power", None, None)]
            for fs in s.roots:
                first = max([j + 1 for j in range(k) if s.covered_at[j] is not None and s.covered_at[j] < k] or [0])
                for cut in range(first + 1, k + 1):
                    variants.append(("ordered", fs, cut))
            for mode, fs, cut in variants:
                names, dirs, content, created, skipped = s.state(k, mode, fs, cut)
                states += 1
                sig = signature(names, dirs, content)
                if sig in seen:
                    continue
                skipped_total += skipped
                s.materialise(names, dirs, content, created)
                rc, err = s.recover()
                problems, sides = s.check()
                if rc != 0:
                    problems.append("recovery exited %d: %s" % (rc, err[:300]))
                mixed += len(sides) > 1
                seen[sig] = problems
                if problems:
                    failures += 1
                    if failures <= 10:
                        print("crash after call %d (%s%s), %s: %s" % (
                            k, mode, "" if fs is None else " %s<%d" % (fs, cut),
                            " ".join([s.ops[k - 1][0]] + s.ops[k - 1][1][:2]) if k else "before the batch",
                            "; ".join(problems)))
        print("crash points: %d, crash states: %d, distinct states recovered and checked: %d" % (
            n + 1, states, len(seen)))
        print("durable calls that could not apply (their earlier call was lost): %d" % skipped_total)
        print("states ending with some files under old and some under new names: %d" % mixed)
        print("states with a file lost, duplicated, misnamed or left over: %d" % failures)
        return 0 if failures == 0 else 1
    finally:
        if not args.keep:
            s.cleanup()


if __name__ == "__main__":
    sys.exit(main())
