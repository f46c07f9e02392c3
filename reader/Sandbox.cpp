#include "reader/Sandbox.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace tav::sandbox {

namespace {

void limit(int resource, rlim_t value) {
    rlimit r{};
    if (::getrlimit(resource, &r) != 0)
        return;
    if (r.rlim_max != RLIM_INFINITY && r.rlim_max < value)
        value = r.rlim_max;
    r.rlim_cur = value;
    if (r.rlim_max == RLIM_INFINITY || r.rlim_max > value)
        r.rlim_max = value;
    ::setrlimit(resource, &r);
}

bool underSanitizer() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Writing, creating and removing anywhere but beneath writable.
bool landlock(const QString &writable) {
#ifdef SYS_landlock_create_ruleset
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return false;
    const __u64 writes = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_DIR |
                         LANDLOCK_ACCESS_FS_REMOVE_FILE | LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
                         LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_MAKE_FIFO |
                         LANDLOCK_ACCESS_FS_MAKE_BLOCK | LANDLOCK_ACCESS_FS_MAKE_SYM | LANDLOCK_ACCESS_FS_EXECUTE;
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = writes;
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
    if (ruleset < 0)
        return false;
    bool ok = true;
    if (!writable.isEmpty() && QDir().mkpath(writable)) {
        const int folder = ::open(QFile::encodeName(writable).constData(), O_PATH | O_CLOEXEC);
        if (folder >= 0) {
            landlock_path_beneath_attr beneath{};
            beneath.allowed_access = LANDLOCK_ACCESS_FS_WRITE_FILE | LANDLOCK_ACCESS_FS_REMOVE_FILE |
                                     LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_DIR;
            beneath.parent_fd = folder;
            ok = ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) == 0;
            ::close(folder);
        }
    }
    ok = ok && ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(ruleset);
    return ok;
#else
    (void)writable;
    return false;
#endif
}

// System calls a parser has no business making fail with EPERM: sockets,
// running programs, tracing other processes, mounting, loading code into the
// kernel.
bool seccomp() {
#if defined(__x86_64__)
    constexpr __u32 arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr __u32 arch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
#if defined(__x86_64__) || defined(__aarch64__)
    const int denied[] = {
        SYS_socket,
        SYS_socketpair,
        SYS_connect,
        SYS_bind,
        SYS_listen,
        SYS_accept,
        SYS_accept4,
        SYS_execve,
        SYS_execveat,
        SYS_ptrace,
        SYS_process_vm_readv,
        SYS_process_vm_writev,
        SYS_mount,
        SYS_umount2,
        SYS_pivot_root,
        SYS_kexec_load,
        SYS_bpf,
        SYS_perf_event_open,
        SYS_keyctl,
        SYS_add_key,
        SYS_request_key,
        SYS_unshare,
        SYS_setns,
    };
    std::vector<sock_filter> program;
    program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0));
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
#if defined(__x86_64__)
    // The x32 calls, numbered from bit 30, are not for this program.
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1));
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM));
#endif
    for (int nr : denied) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __u32(nr), 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog fprog{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &fprog) == 0;
#endif
}

} // namespace

QStringList apply(const QString &writable) {
    QStringList applied;
    // No core files of a parser's crash; at most 256 MB written per file; a
    // few descriptors; and, outside sanitizer builds (which reserve terabytes
    // of address space), 4 GB of memory: a huge count in a damaged file then
    // fails an allocation instead of taking the machine's memory.
    limit(RLIMIT_CORE, 0);
    limit(RLIMIT_FSIZE, rlim_t(256) << 20);
    limit(RLIMIT_NOFILE, 256);
    if (!underSanitizer())
        limit(RLIMIT_AS, rlim_t(4) << 30);
    applied << QStringLiteral("rlimits");
    // A network namespace of its own has only a loopback that is down. The
    // user namespace it needs maps this user to itself, else files created
    // (thumbnails) would have no owner the kernel can write.
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0) {
        // Each map is written in one write, as the kernel wants it.
        const auto put = [](const char *file, const QByteArray &text) {
            const int fd = ::open(file, O_WRONLY | O_CLOEXEC);
            if (fd < 0)
                return;
            (void)!::write(fd, text.constData(), size_t(text.size()));
            ::close(fd);
        };
        put("/proc/self/setgroups", "deny");
        put("/proc/self/uid_map", QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1\n");
        put("/proc/self/gid_map", QByteArray::number(gid) + ' ' + QByteArray::number(gid) + " 1\n");
        applied << QStringLiteral("no-network");
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return applied;
    if (landlock(writable))
        applied << QStringLiteral("landlock");
    if (seccomp())
        applied << QStringLiteral("seccomp");
    return applied;
}

} // namespace tav::sandbox
