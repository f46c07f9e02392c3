/* The floor for renaming a folder of files in two phases: only the two
 * no-replace renames per file (to a temporary name, then to the new name),
 * in C, with nothing checked or recorded.
 *   rename_loop FOLDER PREFIX [--stat]
 * renames every file NAME in FOLDER to PREFIXNAME; with --stat it first reads
 * each file's identity (one fstatat), which is what a crash journal must
 * record before anything moves. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

static int move(int dir, const char *from, const char *to) {
    return (int)syscall(SYS_renameat2, dir, from, dir, to, RENAME_NOREPLACE);
}

int main(int argc, char **argv) {
    const int withStat = argc == 4 && strcmp(argv[3], "--stat") == 0;
    if (argc != 3 && !withStat) {
        fprintf(stderr, "usage: rename_loop FOLDER PREFIX [--stat]\n");
        return 2;
    }
    DIR *d = opendir(argv[1]);
    if (!d) {
        perror(argv[1]);
        return 1;
    }
    size_t n = 0, cap = 1024;
    char **names = malloc(cap * sizeof *names);
    struct dirent *e;
    while ((e = readdir(d))) {
        if (e->d_name[0] == '.')
            continue;
        if (n == cap)
            names = realloc(names, (cap *= 2) * sizeof *names);
        names[n++] = strdup(e->d_name);
    }
    const int dir = dirfd(d);
    if (withStat) {
        struct stat st;
        for (size_t i = 0; i < n; ++i)
            if (fstatat(dir, names[i], &st, AT_SYMLINK_NOFOLLOW) != 0)
                perror(names[i]);
    }
    char tmp[4096], to[4096];
    for (size_t i = 0; i < n; ++i) {
        snprintf(tmp, sizeof tmp, "tmp_%zu_%s", i + 1, names[i]);
        if (move(dir, names[i], tmp) != 0)
            perror(names[i]);
    }
    for (size_t i = n; i-- > 0;) {
        snprintf(tmp, sizeof tmp, "tmp_%zu_%s", i + 1, names[i]);
        snprintf(to, sizeof to, "%s%s", argv[2], names[i]);
        if (move(dir, tmp, to) != 0)
            perror(tmp);
    }
    closedir(d);
    return 0;
}
