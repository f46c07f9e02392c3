#pragma once
// The pure parts of the system exports, apart so that they can be checked on
// their own records: the fixed names of the Windows version table, the name
// of a Linux distribution from an os-release file, the version of a library
// from its real file name or its ELF version definitions.

#include <QString>
#include <QStringList>

namespace orva {

// A version record as the Windows platform gives it.
struct VersionRecord {
    unsigned platformId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
    unsigned servicePackMajor = 0;
    unsigned servicePackMinor = 0;
};

// "Windows <id>.<major>.<minor> b<build>[ Service Pack <a>.<b>]", or the
// fixed name of a known version ("Windows XP").
QString windowsVersionName(const VersionRecord &record);

// The distribution's name from the text of an os-release file: PRETTY_NAME,
// else NAME and VERSION, else NAME; empty when none is given. Values may be
// quoted the shell's way.
QString osReleaseName(const QString &osReleaseText);
// The same from the first readable file among paths; "Linux" when none names it.
QString osReleaseNameFromFiles(const QStringList &paths);

// Whether a process with pointers of pointerBits bits runs on a 64-bit
// machine (uname's machine field).
bool is32BitOn64BitMachine(int pointerBits, const QString &machine);

// The version written in a shared library's real file name after ".so."
// ("libQt6Core.so.6.4.2" gives "6.4.2"); empty when there is none.
QString versionFromFileName(const QString &fileName);
// The highest numbered version the ELF file defines ("GLIBC_2.36" gives
// "2.36"); empty when the file is not ELF or defines no numbered version.
QString versionFromElf(const QString &path);

// Where the dynamic loader would look for a library, in its order:
// LD_LIBRARY_PATH, the folders of /etc/ld.so.conf and its includes, then the
// default folders. Missing folders are left out.
QStringList loaderSearchFolders();

} // namespace orva
