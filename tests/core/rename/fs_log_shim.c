/* Loaded with LD_PRELOAD: logs every call that changes names on disk or
 * makes changes durable, in the order the process made them, after the real
 * call succeeded, one line each to the file named by TAV_FSLOG:
 *
 *   rename FROM TO          (rename, renameat, renameat2)
 *   link FROM TO | symlink TARGET PATH | unlink PATH | mkdir PATH | rmdir PATH
 *   create PATH INODE       (open with O_CREAT)
 *   fsync PATH dir|file SIZE [HEX]   (fsync, fdatasync; HEX: the file's whole
 *                                     content when PATH starts with TAV_FSLOG_DATA)
 *   syncfs PATH | sync
 *
 * Fields are separated by tabs; paths are absolute as the process gave them
 * (relative ones joined to their folder), not resolved further. Failed calls
 * change nothing and are not logged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

static int log_fd = -2;

static int logger(void) {
    if (log_fd == -2) {
        const char *path = getenv("TAV_FSLOG");
        log_fd = path ? (int)syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    }
    return log_fd;
}

static void emit(const char *line, size_t len) {
    const int fd = logger();
    if (fd >= 0)
        syscall(SYS_write, fd, line, len);
}

static void fd_path(int fd, char *out, size_t size) {
    char link[64];
    if (fd == AT_FDCWD) {
        if (!getcwd(out, size))
            out[0] = 0;
        return;
    }
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = 0;
}

static void full_path(int dirfd, const char *name, char *out, size_t size) {
    if (name[0] == '/') {
        snprintf(out, size, "%s", name);
        return;
    }
    char dir[PATH_MAX];
    fd_path(dirfd, dir, sizeof dir);
    if ((size_t)snprintf(out, size, "%s/%s", dir, name) >= size)
        out[0] = 0;
}

static void log_op(const char *op, int d1, const char *a, int d2, const char *b) {
    const int saved = errno;
    char pa[PATH_MAX], pb[PATH_MAX], line[2 * PATH_MAX + 32];
    full_path(d1, a, pa, sizeof pa);
    int n;
    if (b) {
        full_path(d2, b, pb, sizeof pb);
        n = snprintf(line, sizeof line, "%s\t%s\t%s\n", op, pa, pb);
    } else {
        n = snprintf(line, sizeof line, "%s\t%s\n", op, pa);
    }
    if (n > 0 && (size_t)n < sizeof line)
        emit(line, (size_t)n);
    errno = saved;
}

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

int renameat2(int od, const char *o, int nd, const char *n, unsigned int flags) {
    const int r = REAL("renameat2", int (*)(int, const char *, int, const char *, unsigned))(od, o, nd, n, flags);
    if (r == 0)
        log_op("rename", od, o, nd, n);
    return r;
}

int renameat(int od, const char *o, int nd, const char *n) {
    const int r = REAL("renameat", int (*)(int, const char *, int, const char *))(od, o, nd, n);
    if (r == 0)
        log_op("rename", od, o, nd, n);
    return r;
}

int rename(const char *o, const char *n) {
    const int r = REAL("rename", int (*)(const char *, const char *))(o, n);
    if (r == 0)
        log_op("rename", AT_FDCWD, o, AT_FDCWD, n);
    return r;
}

int link(const char *o, const char *n) {
    const int r = REAL("link", int (*)(const char *, const char *))(o, n);
    if (r == 0)
        log_op("link", AT_FDCWD, o, AT_FDCWD, n);
    return r;
}

int symlink(const char *target, const char *n) {
    const int r = REAL("symlink", int (*)(const char *, const char *))(target, n);
    if (r == 0)
        log_op("symlink", AT_FDCWD, target, AT_FDCWD, n);
    return r;
}

int unlink(const char *p) {
    const int r = REAL("unlink", int (*)(const char *))(p);
    if (r == 0)
        log_op("unlink", AT_FDCWD, p, 0, NULL);
    return r;
}

int unlinkat(int d, const char *p, int flags) {
    const int r = REAL("unlinkat", int (*)(int, const char *, int))(d, p, flags);
    if (r == 0)
        log_op((flags & AT_REMOVEDIR) ? "rmdir" : "unlink", d, p, 0, NULL);
    return r;
}

int rmdir(const char *p) {
    const int r = REAL("rmdir", int (*)(const char *))(p);
    if (r == 0)
        log_op("rmdir", AT_FDCWD, p, 0, NULL);
    return r;
}

int mkdir(const char *p, mode_t mode) {
    const int r = REAL("mkdir", int (*)(const char *, mode_t))(p, mode);
    if (r == 0)
        log_op("mkdir", AT_FDCWD, p, 0, NULL);
    return r;
}

static void log_create(int dirfd, const char *p, int fd) {
    const int saved = errno;
    struct stat st;
    char full[PATH_MAX], line[PATH_MAX + 64];
    full_path(dirfd, p, full, sizeof full);
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const int n = snprintf(line, sizeof line, "create\t%s\t%llu\n", full, (unsigned long long)st.st_ino);
        if (n > 0 && (size_t)n < sizeof line)
            emit(line, (size_t)n);
    }
    errno = saved;
}

static int open_common(const char *real, int dirfd, const char *p, int flags, mode_t mode) {
    int r;
    if (dirfd == AT_FDCWD && strcmp(real, "openat") != 0 && strcmp(real, "openat64") != 0)
        r = REAL(real, int (*)(const char *, int, ...))(p, flags, mode);
    else
        r = REAL(real, int (*)(int, const char *, int, ...))(dirfd, p, flags, mode);
    if (r >= 0 && (flags & O_CREAT))
        log_create(dirfd, p, r);
    return r;
}

#define MODE_ARG(flags)                                                                                                \
    mode_t mode = 0;                                                                                                   \
    if ((flags) & (O_CREAT | __O_TMPFILE)) {                                                                           \
        va_list ap;                                                                                                    \
        va_start(ap, flags);                                                                                           \
        mode = va_arg(ap, mode_t);                                                                                     \
        va_end(ap);                                                                                                    \
    }

int open(const char *p, int flags, ...) {
    MODE_ARG(flags)
    return open_common("open", AT_FDCWD, p, flags, mode);
}
int open64(const char *p, int flags, ...) {
    MODE_ARG(flags)
    return open_common("open64", AT_FDCWD, p, flags, mode);
}
int openat(int d, const char *p, int flags, ...) {
    MODE_ARG(flags)
    return open_common("openat", d, p, flags, mode);
}
int openat64(int d, const char *p, int flags, ...) {
    MODE_ARG(flags)
    return open_common("openat64", d, p, flags, mode);
}

static void log_sync(const char *op, int fd) {
    const int saved = errno;
    char path[PATH_MAX];
    struct stat st;
    fd_path(fd, path, sizeof path);
    if (fstat(fd, &st) != 0) {
        errno = saved;
        return;
    }
    const int dir = S_ISDIR(st.st_mode);
    char head[PATH_MAX + 96];
    int n = snprintf(head, sizeof head, "%s\t%s\t%s\t%lld", op, path, dir ? "dir" : "file", (long long)st.st_size);
    if (n <= 0 || (size_t)n >= sizeof head) {
        errno = saved;
        return;
    }
    const char *data_prefix = getenv("TAV_FSLOG_DATA");
    if (!dir && data_prefix && strncmp(path, data_prefix, strlen(data_prefix)) == 0 && st.st_size < (1 << 20)) {
        char *line = malloc((size_t)n + 2 + 2 * (size_t)st.st_size + 1);
        char *buf = malloc((size_t)st.st_size + 1);
        if (line && buf) {
            memcpy(line, head, (size_t)n);
            line[n++] = '\t';
            /* The descriptor may be write-only: read through a second one. */
            char self[64];
            snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
            const int rfd = (int)syscall(SYS_openat, AT_FDCWD, self, O_RDONLY | O_CLOEXEC);
            const ssize_t got = rfd >= 0 ? pread(rfd, buf, (size_t)st.st_size, 0) : 0;
            if (rfd >= 0)
                close(rfd);
            for (ssize_t i = 0; i < got; ++i)
                n += sprintf(line + n, "%02x", (unsigned char)buf[i]);
            line[n++] = '\n';
            emit(line, (size_t)n);
        }
        free(line);
        free(buf);
    } else {
        head[n++] = '\n';
        emit(head, (size_t)n);
    }
    errno = saved;
}

int fsync(int fd) {
    const int r = REAL("fsync", int (*)(int))(fd);
    if (r == 0)
        log_sync("fsync", fd);
    return r;
}

int fdatasync(int fd) {
    const int r = REAL("fdatasync", int (*)(int))(fd);
    if (r == 0)
        log_sync("fsync", fd);
    return r;
}

int syncfs(int fd) {
    const int r = REAL("syncfs", int (*)(int))(fd);
    if (r == 0)
        log_sync("syncfs", fd);
    return r;
}

void sync(void) {
    REAL("sync", void (*)(void))();
    emit("sync\n", 5);
}
