#pragma once
// The program's binding to liborvalib.so: one thin wrapper per export that
// only passes arguments and results through. Nothing is loaded at start-up:
// the library is loaded at the first call of any wrapper (from the
// program's own folder, then from ../lib/travoline beside it, then through
// the system's library search) and kept;
// each export is looked up at its own first call and kept.
//
// A missing library throws tav::TavError(ErrLibraryNotFound) naming the
// library, a missing export tav::TavError(ErrEntryPointNotFound) naming the
// export; an export that fails (a position beyond 32767, out of memory)
// throws tav::TavError with the library's error number and description. The
// caller's trap reports them.

#include <QString>

#include <atomic>

namespace mTavCommon {

// Paths and files. "/" is the separator; the extension is after the last "."
// of the whole text.
QString TavGetPath(const QString &path);
QString TavGetFileName(const QString &path);
QString TavGetExtension(const QString &name);
QString TavStrWithoutExt(const QString &name);
QString TavQualifyPath(const QString &path);
// Where TavStrWithoutExt and TavGetExtension cut name: the index of the dot
// before the extension, -1 when there is none (the whole name is the name
// without extension, the extension is empty). A name too short for the
// library to refuse (32767 characters at most; a file name holds 255 bytes)
// is cut here by the same rule, without the round trip through the library
// and its copies; the two exports are resolved all the same, so that a
// missing library fails here as it would there, and a longer name goes
// through them.
qsizetype extensionDot(const QString &name);

bool TavFileExists(const QString &path);
bool TavIsDir(const QString &path);
int TavCreateNestedFolders(const QString &path);
// 26: the per-user configuration folder; 5: the documents folder.
QString TavCheminDossier(int window, int folderId);
QString TavGetTempDir();
QString TavGetSystemDirectory();
// On a failure returns the empty text and sets errNumber/errText; on success
// leaves them alone.
QString TavReadFileToBuffer(const QString &path, short &errNumber, QString &errText);
int TavNumberLineInFile(const QString &path);

// Strings.
QString TavStringSansAccent(const QString &text);
short TavLastSubStrInStr(short start, const QString &text, const QString &sought);
QString TavTrimNull(const QString &text);
QString TavDoubleToUnit(double value);

// System information.
// The system's name in name and the platform id (2 here) in platformId;
// returns the name's length.
int TavGetWindowsVersion(int &platformId, QString &name);
// 1 when this process is a 32-bit program on a 64-bit machine, else 0.
short TavIs64bits();
// A library's version, "Fichier inconnu" or "Version Inconnue".
QString TavGetVersionInformation(const QString &fileName);
QString TavGetUsername();
// Resident memory, in bytes, of the last running process of that executable name; 0 when none.
int TavGetProcesses(const QString &exeName);
// The desktop's size in pixels, 0 without a display.
int TavGetScreenWidth();
int TavGetScreenHeight();

// The per-user store in place of the registry. rootKey is one of the
// TAV_HKEY_ numbers of orvalib.h; the result is a status, 0 for success
// (2 not found, 5 access denied).
int TavSetRegString(int rootKey, const QString &keyPath, const QString &valueName, int valueType, const QString &data);
int TavDelRegVal(int rootKey, const QString &keyPath, const QString &valueName);

// Opens a web address (resp. a mail) with the desktop's default program; a
// result above 32 means it was started.
int TavOpenUrl(const QString &address);
int TavOpenMail(const QString &address);

// Download into the temporary folder: the copy's full path, or the empty text
// on a failure, with the library's error number and text in errorNumber and
// errorText when given (70: the destination is in use; the caller says nothing).
QString TavDownloadFile(const QString &address, int *errorNumber = nullptr, QString *errorText = nullptr);
// The same into folder, failing once the body would pass maxBytes (0: no limit).
QString TavDownloadFileTo(const QString &address, const QString &folder, int maxBytes, int *errorNumber = nullptr,
                          QString *errorText = nullptr);
// Every download under way and every later one fails at once (at quitting).
void TavCancelDownloads();

// Translucency of an X11 window (false without a display or for an unknown window).
bool TavActiveTransparence(int window);
bool TavChangeTransparence(int window, int opacity);
bool TavDesactiveTransparence(int window);

// ---- The binding itself ----

// The library's file name, without a folder.
QString libraryFileName();

// Looks for the library only in folder from now on (tests, portable copies);
// an empty folder restores the normal search. Unloads what was loaded.
void setLibraryFolder(const QString &folder);
// Forgets the loaded library and every resolved export; the next call loads again.
void resetBinding();
// Whether the library is loaded at this moment.
bool isLoaded();

// The address of an export, loading the library when needed; throws as the
// wrappers do. For wrappers of further exports: keep the result in an
// ExportSlot so that each export is looked up once.
void *resolveExport(const char *name);

class ExportSlot {
public:
    explicit constexpr ExportSlot(const char *name) : m_name(name) {}
    template <class Fn> Fn get() { return reinterpret_cast<Fn>(address()); }

private:
    void *address();
    const char *m_name;
    std::atomic<void *> m_address{nullptr};
    std::atomic<unsigned> m_generation{0};
};

// Converts a text returned by the library (and frees it), throwing the
// library's last error when the export returned null because it failed.
QString takeText(char16_t *text);
// Throws the library's last error, if the last export call failed.
void throwLastError();

} // namespace mTavCommon
