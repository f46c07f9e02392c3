#pragma once
// Asking the update server whether a newer version is published. The server
// is an ordinary web server holding plain files in its "/Travoline" folder:
// version.txt, release_note.txt, the installer of each version and the page
// opened after a download. Its base address is build configuration, and the
// environment variable TRAVOLINE_UPDATE_URL points one run at another server;
// an empty address switches every check off.
//
// The checks below block while they download and are meant for a worker
// thread (runInBackground); nothing here touches a window.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace tav::update {

// The base address in use, without a trailing "/" (empty: no check).
QString serverAddress();
// The environment variable that overrides the build's address, even when empty.
inline constexpr const char *ServerAddressVariable = "TRAVOLINE_UPDATE_URL";

QString versionFileAddress(const QString &base);
QString releaseNotesAddress(const QString &base);
QString updatePageAddress(const QString &base);
// The installer of version "1.12.3": ".../Travoline/setup_Travoline_1_12_3.deb".
QString installerAddress(const QString &base, const QString &version);

// The installer's checksum, published beside it: the address with ".sha256".
QString checksumAddress(const QString &installer);

// Size limits: the version file and the release notes, and the installer.
inline constexpr qint64 TextFileLimit = 64 * 1024;
inline constexpr qint64 InstallerLimit = 200 * 1024 * 1024;

// The private folder downloads go to: $XDG_CACHE_HOME/Travoline (else
// ~/.cache/Travoline), made with mode 0700 and used only when it is a folder
// of this user's own, not a link. Empty when it cannot be had.
QString downloadFolder();

// Whether an address may be fetched: https, or plain http to this machine only.
bool isAcceptedAddress(const QString &address);
// A connection counts as present when a non-loopback interface is up; a
// server on this machine needs none.
bool connectionPresent(const QString &base);

// The program's own version, major.minor.revision.
QString ownVersion();
// "version_local.txt" in the program folder: read in place of the server's
// version file when it exists.
QString overrideFilePath();

// A downloaded text file read line by line and joined with nothing between:
// carriage returns (with their line feed) disappear, lone line feeds stay.
// A file larger than TextFileLimit reads as the empty text.
QString readJoinedLines(const QString &path);

// The version text as the server gave it, filtered: empty text; 10 characters
// or more (an error page, ignored); or the digits, "," and "." it holds.
struct VersionText {
    enum Kind { Empty, Ignored, Version } kind = Empty;
    QString version;
};
VersionText filterVersion(const QString &text);

// The release notes' lines shown to the user: split at line feeds, the first
// line left out.
QStringList noteLines(const QString &notes);

struct StartupResult {
    enum Kind {
        NoCheck,     // no address, or no connection and no override file
        Unreachable, // the version file could not be had or was empty: message 7
        Ignored,     // not a version text, or no release notes: nothing to say
        UpToDate,
        NewVersion,
        Failed, // the library failed: errorNumber and errorText say how
    } kind = NoCheck;
    QString version;
    QStringList notes;
    QString installer;
    int errorNumber = 0;
    QString errorText;
};
// The start-up check against base, blocking.
StartupResult startupCheck(const QString &base);

struct ManualResult {
    enum Kind { NoCheck, Unreachable, UpToDate, NewVersion, Failed } kind = NoCheck;
    QString version;
    int errorNumber = 0;
    QString errorText;
};
// The about box's check: the server's version file alone.
ManualResult manualCheck(const QString &base);

// Runs work on a thread of its own and hands its result to done on the
// thread of context, unless context is gone by then.
template <class Result>
void runInBackground(QObject *context, std::function<Result()> work, std::function<void(const Result &)> done);

// At quitting: cancels the downloads of the checks still running and waits
// for their threads, at most waitMs each, so that none outlives the program's
// objects. False when one is still running.
bool stopBackgroundWork(int waitMs = 5000);

namespace detail {
void startThread(QObject *context, std::function<void()> work, std::function<void()> done);
}

template <class Result>
void runInBackground(QObject *context, std::function<Result()> work, std::function<void(const Result &)> done) {
    auto result = std::make_shared<Result>();
    detail::startThread(
        context, [result, work = std::move(work)] { *result = work(); },
        [result, done = std::move(done)] { done(*result); });
}

} // namespace tav::update
