// Downloads through the program's binding to liborvalib.so, from a real HTTP
// server on 127.0.0.1 started by the test; the temporary folder is a folder
// of the test's own.

#include "LocalHttpServer.h"
#include "QtPrinters.h"
#include "TestGuard.h"
#include "core/base/mTavCommon.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <unistd.h>

namespace {

const QString Trailer = QStringLiteral(") in procedure TavDownloadFile of Module mInternet");

struct Download : ::testing::Test {
    QTemporaryDir temp;
    tav::test::TestGuard guard;
    LocalHttpServer server;

    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        ASSERT_NE(server.port(), 0);
        guard.tempFolder(temp.path());
    }
    QString folder() const { return QDir(temp.path()).canonicalPath() + QLatin1Char('/'); }
    QStringList entries() const {
        return QDir(temp.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }
    static QByteArray read(const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void write(const QString &path, const QByteArray &bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
};

// Some address of this machine that is not a loopback one, empty when it has none.
QByteArray otherAddressOfThisMachine() {
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return QByteArray();
    QByteArray found;
    for (ifaddrs *i = list; i && found.isEmpty(); i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(i->ifa_addr)->sin_addr, text, sizeof text);
        found = text;
    }
    ::freeifaddrs(list);
    return found;
}

} // namespace

TEST_F(Download, TheCopyLandsInTheTemporaryFolderUnderTheAddresssLastSegment) {
    static const char head[] = "MZ\0\x01" // split: "\x01b" would be one escape
                               "binary\r\nbody\xff";
    QByteArray body(head, sizeof head - 1);
    body += QByteArray(300000, 'x'); // more than one chunk of the transfer
    server.serve("/updates/setup_Travoline_1_12_3.deb?v=2", LocalHttpServer::ok(body));
    server.serve("/a/my%20notes.txt", LocalHttpServer::ok("notes"));

    int number = -1;
    QString text = "untouched";
    const QString path =
        mTavCommon::TavDownloadFile(server.base() + "/updates/setup_Travoline_1_12_3.deb?v=2", &number, &text);
    EXPECT_EQ(path, folder() + "setup_Travoline_1_12_3.deb");
    EXPECT_EQ(read(path), body);
    EXPECT_EQ(text, "untouched"); // only failures fill the error

    // The name is decoded; "localhost" counts as this machine too.
    const QString notes =
        mTavCommon::TavDownloadFile("http://localhost:" + QString::number(server.port()) + "/a/my%20notes.txt");
    EXPECT_EQ(notes, folder() + "my notes.txt");
    EXPECT_EQ(read(notes), "notes");
    EXPECT_EQ(entries(), QStringList({"my notes.txt", "setup_Travoline_1_12_3.deb"}));
}

TEST_F(Download, AnEarlierCopyIsReplacedInOneStep) {
    const QString destination = folder() + "version.txt";
    write(destination, "1.12.1 and a much longer earlier text");
    // A second name for the earlier file: replaced by a rename, it keeps the
    // old bytes; truncated and rewritten in place, it would change too.
    ASSERT_EQ(::link(QFile::encodeName(destination).constData(), QFile::encodeName(temp.filePath("old")).constData()),
              0);
    server.serve("/version.txt", LocalHttpServer::ok("1.12.3"));

    EXPECT_EQ(mTavCommon::TavDownloadFile(server.base() + "/version.txt"), destination);
    EXPECT_EQ(read(destination), "1.12.3");
    EXPECT_EQ(read(temp.filePath("old")), "1.12.1 and a much longer earlier text");
}

TEST_F(Download, AnErrorStatusOrATransferCutShortGivesTheEmptyTextAndLeavesNothing) {
    write(folder() + "version.txt", "earlier");
    server.serve("/version.txt", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n1.12.3 and then");
    server.serve("/gone.deb",
                 "HTTP/1.1 404 Not Found\r\nContent-Length: 17\r\nConnection: close\r\n\r\nsorry, not found.");

    int number = 0;
    QString text;
    EXPECT_EQ(mTavCommon::TavDownloadFile(server.base() + "/version.txt", &number, &text), "");
    EXPECT_EQ(number, 57);
    EXPECT_TRUE(text.startsWith("Error 57 (")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(Trailer)) << text.toStdString();
    // The earlier copy stays as it was and no part of the body is left behind.
    EXPECT_EQ(read(folder() + "version.txt"), "earlier");

    EXPECT_EQ(mTavCommon::TavDownloadFile(server.base() + "/gone.deb", &number, &text), "");
    EXPECT_EQ(number, 57);
    EXPECT_EQ(text, "Error 57 (The server answered 404" + Trailer);
    EXPECT_EQ(entries(), QStringList({"version.txt"}));

    // Nobody listening at all.
    const int closedPort = [] {
        LocalHttpServer gone;
        return gone.port();
    }();
    EXPECT_EQ(mTavCommon::TavDownloadFile("http://127.0.0.1:" + QString::number(closedPort) + "/x.txt", &number), "");
    EXPECT_EQ(number, 57);
    EXPECT_EQ(entries(), QStringList({"version.txt"}));
}

TEST_F(Download, AddressesThatAreNotHttpsToAnotherMachineAreRefusedWithoutConnecting) {
    server.serve("/f.txt", LocalHttpServer::ok("served"));
    int number = 0;
    QString text;
    const QString base = server.base();
    for (const QString &address : QStringList{"http://192.0.2.1/f.txt", "ftp://127.0.0.1/f.txt", "file:///etc/hostname",
                                              "not an address", "", base + "/", base + "/dir/..", base + "/a%2Fb"}) {
        number = 0;
        EXPECT_EQ(mTavCommon::TavDownloadFile(address, &number, &text), "") << address.toStdString();
        EXPECT_EQ(number, 5) << address.toStdString();
        EXPECT_TRUE(text.startsWith("Error 5 (") && text.endsWith(Trailer)) << text.toStdString();
    }
    EXPECT_EQ(server.connections(), 0);

    // A server listening on an address of this machine that is not loopback
    // is not asked in plain http.
    const QByteArray other = otherAddressOfThisMachine();
    if (!other.isEmpty()) {
        LocalHttpServer everywhere("0.0.0.0");
        everywhere.serve("/f.txt", LocalHttpServer::ok("served"));
        EXPECT_EQ(mTavCommon::TavDownloadFile("http://" + QString::fromLatin1(other) + ":" +
                                                  QString::number(everywhere.port()) + "/f.txt",
                                              &number),
                  "");
        EXPECT_EQ(number, 5);
        EXPECT_EQ(everywhere.connections(), 0);
    }

    // A loopback server cannot redirect the transfer to plain http.
    server.serve("/moved.txt", "HTTP/1.1 302 Found\r\nLocation: " + server.base().toLatin1() +
                                   "/f.txt\r\nContent-Length: 0\r\n"
                                   "Connection: close\r\n\r\n");
    EXPECT_EQ(mTavCommon::TavDownloadFile(server.base() + "/moved.txt", &number), "");
    EXPECT_EQ(number, 57);
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(entries().isEmpty()) << entries().join(", ").toStdString();
}
