#!/usr/bin/env python3
"""Runs the preview of two builds of travoline-cli over one varied folder,
with many rules and options, and checks that their output (standard output,
standard error and exit status) is the same, byte for byte. Used to show that
a change made for speed changed no name.

    bench/engine/same_preview.py --old /work/main/build [--new build] [--folder /dev/shm]

The folder holds accented names in NFC and in NFD, names equal but for case
(and through Unicode case mapping: "ſſ" and "ss", the Kelvin sign and "K"),
names that hold tokens, tabs, line feeds, backslashes, emoji, a name that is
not UTF-8, names that sort differently in natural and plain order, folders whose
files were made in natural order or in its reverse, names
never renamed, a link, a sub-folder and hidden files. No name spells a token
of the time of day (the two runs may fall in different seconds). Exit status
0 when every run matched.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

NAMES = [
    "IMG_0001.jpg", "img_0001.JPG", "IMG_0002.jpg", "IMG10.jpg", "IMG9.jpg", "img010.jpg", "IMG01.jpg",
    "Été 2019 (1).jpg", "E\u0301te\u0301 2019 (1).jpg", "été 2019 (1).JPG", "café.png", "cafe\u0301.png",
    "\u017f\u017f.txt", "ss.txt", "SS.TXT", "\u212a.txt", "K.txt", "straße.txt", "STRASSE.txt",
    "a.tar.gz", "A.TAR.GZ", "noext", "NOEXT", "a..b.", "trailing.", "  spaced  .jpg", "two  spaces.jpg",
    "tab\tname.jpg", "line\nfeed.jpg", "back\\slash.jpg", "carriage\rreturn.jpg",
    "x$A$.jpg", "A.jpg", "$REPC$.jpg", "a $REPP$ b.jpg", "$MKDIR$x.jpg", "$dA$ shot.jpg", "$N$.jpg", "12ab34.png", "dollar$.jpg", "$P$ $t$.jpg",
    "#hash#.jpg", "star*.jpg", "\U0001f600 emoji.jpg", "Thumbs.db", "thumbs.db", "x" * 240 + ".jpg",
    "photo_01.jpg", "photo_07.jpg", "Photo-0000001.jpg", "2015\\holiday.jpg",
]

RULES = [
    "Voyage ###### - * - $N$ $REPC/IMG_/Photo-$",
    "*",
    "$*$",
    "* $*",
    "photo_##",
    "*_###",
    "* $REPC/a/X/1$",
    "* $REPC/a/X/-1$",
    "$REPC/é/e$",
    "$REPP/1/3/1/X$",
    "$REPP/2/2/0/__$",
    r"$REGEX/(\d+)/n\1/$",
    r"$REGEX/^(.)/\1\1/i$ - *",
    "$P$ - * - $t$",
    "$MKDIR$$P$\\*",
    "$MKDIR$a\\..\\*\\#",
    "$N$",
    "$N$*$N$ a*b",
    "  *  ",
    "#",
    "",
]

OPTIONS = [
    [],
    ["--case", "upper"],
    ["--case", "lower", "--trim", "1", "--upper-words", "1"],
    ["--upper-first", "1", "--forbidden", "1"],
    ["--number-identical", "0"],
    ["--extension", ""],
    ["--extension", "PNG", "--case", "lower"],
    ["--types", "JPG TXT"],
    ["--start", "-5", "--step", "3"],
    ["--start", "#"],
    ["-0"],
]


def make_folder(root):
    folder = os.path.join(root, "files")
    os.mkdir(folder)
    for i, name in enumerate(NAMES):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"x" * i)
        os.utime(os.path.join(folder, name), (1500000000 + i * 86400, 1500000000 + i * 86400))
    with open(os.path.join(folder.encode(), b"not utf8 \xff\xfe.jpg"), "wb") as f:
        f.write(b"?")
    os.symlink("IMG_0001.jpg", os.path.join(folder, "link.jpg"))
    os.mkdir(os.path.join(folder, "sub"))
    with open(os.path.join(folder, "sub", "inner.jpg"), "wb") as f:
        f.write(b"i")
    with open(os.path.join(folder, ".hidden.jpg"), "wb") as f:
        f.write(b"h")
    return folder


def make_counted(root, name, ascending):
    """A folder whose files were made in natural order, or in its reverse, so
    that a listing gives them in an order already sorted one way or the other
    (as tmpfs and many file systems do)."""
    folder = os.path.join(root, name)
    os.mkdir(folder)
    names = ["%s_%d.jpg" % ("img" if i % 7 == 0 else "IMG", i) for i in range(1, 121)]
    names += ["IMG_%03d.jpg" % i for i in range(121, 130)] + ["z%d" % i for i in range(1, 12)]
    for n in (names if ascending else reversed(names)):
        open(os.path.join(folder, n), "wb").close()
    return folder


def settings(root, natural):
    path = os.path.join(root, "natural%d.ini" % natural)
    with open(path, "w") as f:
        f.write("[Option]\nOption_OrdreNaturel=%d\n" % natural)
    return path


def run(build, args, env):
    cli = os.path.join(build, "bin", "travoline-cli")
    p = subprocess.run([cli, "--language", "English"] + args, env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
    return p.returncode, p.stdout, p.stderr


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--old", required=True, help="build folder of the program as it was")
    ap.add_argument("--new", default="build", help="build folder of the program as it is")
    ap.add_argument("--folder", default="/dev/shm")
    args = ap.parse_args()

    root = tempfile.mkdtemp(prefix="tavsame-", dir=args.folder)
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(root, "config"), XDG_STATE_HOME=os.path.join(root, "state"),
               HOME=root)
    runs = differ = 0
    try:
        folder = make_folder(root)
        # A file given on its own, then its folder (it joins once), then the sub-folder.
        paths_sets = [[folder],
                      [os.path.join(folder, "IMG_0002.jpg"), folder, os.path.join(folder, "sub"),
                       os.path.join(folder, "A.jpg")],
                      [make_counted(root, "made in order", True), make_counted(root, "made in reverse", False)]]
        for natural in (1, 0):
            ini = settings(root, natural)
            for rule in RULES:
                for options in OPTIONS:
                    for paths in paths_sets:
                        argv = ["--settings", ini, "--rule", rule] + options + paths
                        old, new = run(args.old, argv, env), run(args.new, argv, env)
                        runs += 1
                        if old != new:
                            differ += 1
                            print("differs: %r\n  old: %r\n  new: %r" % (argv, old[:2], new[:2]))
    finally:
        shutil.rmtree(root, ignore_errors=True)
    print("%d runs, %d with a different output" % (runs, differ))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
