#include "hovrix/HovrixClaim.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <memory>
#include <set>
#include <unistd.h>

namespace hovrix {

namespace {

const char ClaimKey[] = "Temp/Hwnd";
const char ClaimSection[] = "Temp";

std::set<quint64> &liveInstances() {
    static std::set<quint64> live;
    return live;
}

struct ProcessInfo {
    bool running = false;
    qint64 start = 0; // 0 when unknown
};

// State and start time from /proc/<pid>/stat. Without /proc, a process that
// answers signal 0 counts as running with an unknown start.
ProcessInfo processInfo(qint64 pid) {
    ProcessInfo info;
    if (pid <= 0)
        return info;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        // The command name may hold spaces and parentheses: fields follow the last ')'.
        const int close = line.lastIndexOf(')');
        if (close < 0)
            return info;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        // fields[0] is the state (field 3), fields[19] the start time (field 22).
        if (fields.size() < 20)
            return info;
        const char state = fields[0].isEmpty() ? '?' : fields[0][0];
        info.running = state != 'Z' && state != 'X' && state != 'x';
        info.start = fields[19].toLongLong();
        return info;
    }
    info.running = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    return info;
}

std::unique_ptr<QSettings> openStore() {
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QStringLiteral("Hovrixlib"), QStringLiteral("Hovrixlib"));
    // Picks up what other processes wrote since this process last looked.
    settings->sync();
    return settings;
}

Owner storedClaim() {
    return Owner::parse(openStore()->value(QLatin1String(ClaimKey)).toString());
}

} // namespace

QString Owner::text() const {
    return QStringLiteral("%1:%2:%3").arg(pid).arg(start).arg(instance);
}

Owner Owner::parse(const QString &text) {
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() != 3)
        return {};
    bool ok[3] = {};
    Owner owner{parts[0].toLongLong(&ok[0]), parts[1].toLongLong(&ok[1]), parts[2].toULongLong(&ok[2])};
    if (!ok[0] || !ok[1] || !ok[2] || owner.isNull())
        return {};
    return owner;
}

quint64 registerInstance() {
    static quint64 next = 0;
    liveInstances().insert(++next);
    return next;
}

void unregisterInstance(quint64 instance) {
    liveInstances().erase(instance);
}

Owner ownerOf(quint64 instance) {
    static const qint64 ownStart = processInfo(::getpid()).start;
    return Owner{::getpid(), ownStart, instance};
}

bool ownerExists(const Owner &owner) {
    if (owner.isNull())
        return false;
    if (owner.pid == ::getpid())
        return owner.start == ownerOf(0).start && liveInstances().count(owner.instance) != 0;
    const ProcessInfo info = processInfo(owner.pid);
    if (!info.running)
        return false;
    return owner.start == 0 || info.start == 0 || owner.start == info.start;
}

Owner readClaim() {
    const Owner owner = storedClaim();
    return ownerExists(owner) ? owner : Owner{};
}

void writeClaim(const Owner &owner) {
    auto s = openStore();
    s->setValue(QLatin1String(ClaimKey), owner.text());
    s->sync();
}

void dropClaim(const Owner &owner) {
    if (storedClaim() != owner)
        return;
    auto s = openStore();
    s->remove(QLatin1String(ClaimSection));
    s->sync();
}

} // namespace hovrix
