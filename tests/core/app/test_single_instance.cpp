// Where the single-instance socket lives, and that a socket of another
// account never hears of this user's start nor keeps the program from running.

#include "WaitFor.h"
#include "core/app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tav;

namespace {

struct RuntimeFolder : ::testing::Test {
    QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QString name = QStringLiteral("TravolineSingle%1").arg(::getpid());
    void TearDown() override {
        if (saved.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", saved);
    }
};

// The socket's path as the system sees it (a bare name lives in the temporary folder).
QString socketPath(const SingleInstance &single) {
    const QString name = single.socketName();
    return name.startsWith(QLatin1Char('/')) ? name : QDir::tempPath() + QLatin1Char('/') + name;
}

// A process of another account listening on path: it binds as root, gives the
// socket to nobody and listens as nobody; whatever it receives goes to log.
pid_t listenAsNobody(const QByteArray &path, const QByteArray &log) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
        ::unlink(path.constData());
        if (out < 0 || fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::chown(path.constData(), 65534, 65534) != 0 || ::chmod(path.constData(), 0777) != 0 ||
            ::setgid(65534) != 0 || ::setuid(65534) != 0 || ::listen(fd, 4) != 0)
            ::_exit(1);
        ::write(ready[1], "r", 1);
        for (;;) {
            const int client = ::accept(fd, nullptr, nullptr);
            char buffer[512];
            ssize_t n;
            while (client >= 0 && (n = ::read(client, buffer, sizeof buffer)) > 0)
                ::write(out, buffer, size_t(n));
            ::close(client);
        }
    }
    ::close(ready[1]);
    char byte = 0;
    const bool listening = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!listening) {
        ::waitpid(child, nullptr, 0);
        return -1;
    }
    return child;
}

} // namespace

TEST_F(RuntimeFolder, TheSocketLivesInTheRuntimeFolderOrInAPrivateFolderOfTheUser) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    for (const bool runtimeSet : {true, false}) {
        SCOPED_TRACE(runtimeSet ? "XDG_RUNTIME_DIR set" : "XDG_RUNTIME_DIR unset");
        if (runtimeSet)
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        else
            qunsetenv("XDG_RUNTIME_DIR");
        SingleInstance first(name);
        ASSERT_FALSE(first.notifyRunningCopy());
        const QFileInfo socket(socketPath(first));
        EXPECT_TRUE(socket.exists());
        struct stat folder {};
        ASSERT_EQ(::lstat(QFile::encodeName(socket.path()).constData(), &folder), 0);
        if (runtimeSet) {
            EXPECT_EQ(socket.path(), runtime.path());
        } else {
            EXPECT_TRUE(S_ISDIR(folder.st_mode));
            EXPECT_EQ(folder.st_uid, ::getuid());
            EXPECT_EQ(folder.st_mode & 0777, 0700u);
        }
        // A second start of the same user reaches the first.
        QSignalSpy forward(&first, &SingleInstance::activationRequested);
        SingleInstance second(name);
        EXPECT_TRUE(second.notifyRunningCopy({}, 300));
        EXPECT_TRUE(test::waitFor([&] { return forward.count() == 1; }));
    }
}

TEST_F(RuntimeFolder, ASocketOfAnotherAccountIsNeverWrittenToAndTheProgramRunsOn) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a socket of another account needs root";
    // A folder the other account may reach, as a shared temporary folder is.
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0777), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

    SingleInstance starting(name);
    const QByteArray path = QFile::encodeName(socketPath(starting));
    const QByteArray log = QFile::encodeName(QDir::tempPath() + QStringLiteral("/%1.log").arg(name));
    const pid_t other = listenAsNobody(path, log);
    ASSERT_GT(other, 0);

    const bool ended = starting.notifyRunningCopy({QStringLiteral("/home/me/private.jpg")}, 500);
    ::kill(other, SIGKILL);
    ::waitpid(other, nullptr, 0);
    QFile received(QFile::decodeName(log));
    ASSERT_TRUE(received.open(QIODevice::ReadOnly));
    EXPECT_EQ(received.readAll(), QByteArray()); // nothing sent, no path given away
    received.remove();
    EXPECT_FALSE(ended); // this copy opens its own window

    // It listens in the other's place: a later start of the same user reaches it.
    QSignalSpy forward(&starting, &SingleInstance::activationRequested);
    SingleInstance later(name);
    EXPECT_TRUE(later.notifyRunningCopy({}, 300));
    EXPECT_TRUE(test::waitFor([&] { return forward.count() == 1; }));
}
