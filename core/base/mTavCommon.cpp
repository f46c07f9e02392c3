#include "core/base/mTavCommon.h"

#include "core/base/ProgramFolder.h"
#include "core/base/Trap.h"
#include "orvalib/orvalib.h"

#include <QDir>
#include <QFile>

#include <dlfcn.h>
#include <limits>
#include <mutex>

namespace mTavCommon {

namespace {

const char LibraryName[] = "liborvalib.so";

std::mutex g_mutex;
void *g_handle = nullptr;
QString g_folder; // empty: the program's folder, then the system's search
// Raised by every reset, so that each slot knows its address is stale.
std::atomic<unsigned> g_generation{1};

QString dlText() {
    const char *text = ::dlerror();
    return text ? QString::fromLocal8Bit(text) : QString();
}

[[noreturn]] void throwNotLoaded(const QString &reason) {
    throw tav::TavError(tav::ErrLibraryNotFound,
                        QStringLiteral("Error in loading library %1: %2").arg(QLatin1String(LibraryName), reason));
}

// Loads the library when it is not loaded yet. Called with g_mutex held.
void *loadLocked() {
    if (g_handle)
        return g_handle;
    const QString name = QLatin1String(LibraryName);
    if (!g_folder.isEmpty()) {
        const QString path = g_folder + QLatin1Char('/') + name;
        g_handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!g_handle)
            throwNotLoaded(dlText());
        return g_handle;
    }
    // By full path from the program's own folder first, then from the
    // installed layout's library folder: the loader's search depends on who
    // calls dlopen (a sanitizer's interceptor has no RUNPATH of ours). A copy
    // found there that fails to load is reported as such rather than hidden
    // by another copy found elsewhere.
    const QString exe = tav::executableFolder();
    for (const QString &folder : {exe, QDir::cleanPath(exe + QStringLiteral("/../lib/travoline"))}) {
        const QString local = folder + QLatin1Char('/') + name;
        if (!QFile::exists(local))
            continue;
        g_handle = ::dlopen(QFile::encodeName(local).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!g_handle)
            throwNotLoaded(dlText());
        return g_handle;
    }
    g_handle = ::dlopen(LibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!g_handle)
        throwNotLoaded(dlText());
    return g_handle;
}

void unloadLocked() {
    if (g_handle)
        ::dlclose(g_handle);
    g_handle = nullptr;
    g_generation.fetch_add(1);
}

// Arguments cross as pointer + length, so a text may hold NUL characters.
const TavChar *units(const QString &text) {
    return reinterpret_cast<const TavChar *>(text.utf16());
}

int32_t length32(const QString &text) {
    if (text.size() > std::numeric_limits<int32_t>::max())
        throw tav::TavError(tav::ErrOverflow, QStringLiteral("Overflow: text too long for the library"));
    return int32_t(text.size());
}

template <class Fn> Fn exportOf(ExportSlot &slot) {
    return slot.get<Fn>();
}

} // namespace

#define TAV_EXPORT(name)                                                                                               \
    static ExportSlot slot_##name(#name);                                                                              \
    const auto name##_fn = exportOf<decltype(&::name)>(slot_##name)

QString libraryFileName() {
    return QLatin1String(LibraryName);
}

void setLibraryFolder(const QString &folder) {
    std::lock_guard lock(g_mutex);
    g_folder = folder;
    unloadLocked();
}

void resetBinding() {
    std::lock_guard lock(g_mutex);
    unloadLocked();
}

bool isLoaded() {
    std::lock_guard lock(g_mutex);
    return g_handle != nullptr;
}

void *resolveExport(const char *name) {
    std::lock_guard lock(g_mutex);
    void *handle = loadLocked();
    ::dlerror();
    void *address = ::dlsym(handle, name);
    if (!address)
        throw tav::TavError(tav::ErrEntryPointNotFound, QStringLiteral("Can't find library entry point %1 in %2")
                                                            .arg(QLatin1String(name), QLatin1String(LibraryName)));
    return address;
}

void *ExportSlot::address() {
    const unsigned generation = g_generation.load(std::memory_order_acquire);
    if (m_generation.load(std::memory_order_acquire) == generation)
        return m_address.load(std::memory_order_relaxed);
    void *address = resolveExport(m_name);
    m_address.store(address, std::memory_order_relaxed);
    m_generation.store(generation, std::memory_order_release);
    return address;
}

void throwLastError() {
    TAV_EXPORT(TavGetLastError);
    const int number = TavGetLastError_fn();
    if (number == 0)
        return;
    TAV_EXPORT(TavGetLastErrorText);
    TAV_EXPORT(TavFreeString);
    TAV_EXPORT(TavStringLength);
    TavStr text = TavGetLastErrorText_fn();
    QString description(reinterpret_cast<const QChar *>(text), TavStringLength_fn(text));
    TavFreeString_fn(text);
    throw tav::TavError(number, description);
}

QString takeText(char16_t *text) {
    if (!text) {
        throwLastError();
        return QString();
    }
    TAV_EXPORT(TavStringLength);
    TAV_EXPORT(TavFreeString);
    QString result(reinterpret_cast<const QChar *>(text), TavStringLength_fn(text));
    TavFreeString_fn(text);
    return result;
}

// ---- Paths and files ----

QString TavGetPath(const QString &path) {
    TAV_EXPORT(TavGetPath);
    return takeText(TavGetPath_fn(units(path), length32(path)));
}

QString TavGetFileName(const QString &path) {
    TAV_EXPORT(TavGetFileName);
    return takeText(TavGetFileName_fn(units(path), length32(path)));
}

QString TavGetExtension(const QString &name) {
    TAV_EXPORT(TavGetExtension);
    return takeText(TavGetExtension_fn(units(name), length32(name)));
}

QString TavStrWithoutExt(const QString &name) {
    TAV_EXPORT(TavStrWithoutExt);
    return takeText(TavStrWithoutExt_fn(units(name), length32(name)));
}

namespace {

// A text the library cannot refuse for its length nor its positions (a
// position past 32767, a 16-bit count from 1, is refused).
constexpr qsizetype ShortText = std::numeric_limits<std::int16_t>::max();

} // namespace

qsizetype extensionDot(const QString &name) {
    TAV_EXPORT(TavGetExtension);
    TAV_EXPORT(TavStrWithoutExt);
    if (name.size() > ShortText) {
        // The library's own answer (or its error) for a text it may refuse.
        takeText(TavStrWithoutExt_fn(units(name), length32(name)));
        takeText(TavGetExtension_fn(units(name), length32(name)));
    }
    return name.lastIndexOf(QLatin1Char('.'));
}

QString TavQualifyPath(const QString &path) {
    TAV_EXPORT(TavQualifyPath);
    return takeText(TavQualifyPath_fn(units(path), length32(path)));
}

bool TavFileExists(const QString &path) {
    TAV_EXPORT(TavFileExists);
    return TavFileExists_fn(units(path), length32(path)) != TAV_FALSE;
}

bool TavIsDir(const QString &path) {
    TAV_EXPORT(TavIsDir);
    return TavIsDir_fn(units(path), length32(path)) != TAV_FALSE;
}

int TavCreateNestedFolders(const QString &path) {
    TAV_EXPORT(TavCreateNestedFolders);
    return TavCreateNestedFolders_fn(units(path), length32(path));
}

QString TavCheminDossier(int window, int folderId) {
    TAV_EXPORT(TavCheminDossier);
    return takeText(TavCheminDossier_fn(window, folderId));
}

QString TavGetTempDir() {
    TAV_EXPORT(TavGetTempDir);
    return takeText(TavGetTempDir_fn());
}

QString TavGetSystemDirectory() {
    TAV_EXPORT(TavGetSystemDirectory);
    return takeText(TavGetSystemDirectory_fn());
}

QString TavReadFileToBuffer(const QString &path, short &errNumber, QString &errText) {
    TAV_EXPORT(TavReadFileToBuffer);
    int16_t number = errNumber;
    TavStr description = nullptr;
    TavStr content = TavReadFileToBuffer_fn(units(path), length32(path), &number, &description);
    if (description) {
        errNumber = number;
        errText = takeText(description);
    }
    return takeText(content);
}

int TavNumberLineInFile(const QString &path) {
    TAV_EXPORT(TavNumberLineInFile);
    return TavNumberLineInFile_fn(units(path), length32(path));
}

// ---- Strings ----

QString TavStringSansAccent(const QString &text) {
    TAV_EXPORT(TavStringSansAccent);
    return takeText(TavStringSansAccent_fn(units(text), length32(text)));
}

short TavLastSubStrInStr(short start, const QString &text, const QString &sought) {
    TAV_EXPORT(TavLastSubStrInStr);
    const int16_t at = TavLastSubStrInStr_fn(start, units(text), length32(text), units(sought), length32(sought));
    if (at == 0)
        throwLastError();
    return at;
}

QString TavTrimNull(const QString &text) {
    TAV_EXPORT(TavTrimNull);
    return takeText(TavTrimNull_fn(units(text), length32(text)));
}

QString TavDoubleToUnit(double value) {
    TAV_EXPORT(TavDoubleToUnit);
    return takeText(TavDoubleToUnit_fn(value));
}

// ---- System information ----

int TavGetWindowsVersion(int &platformId, QString &name) {
    TAV_EXPORT(TavGetWindowsVersion);
    int32_t id = 0;
    TavStr text = nullptr;
    const int32_t length = TavGetWindowsVersion_fn(&id, &text);
    name = takeText(text);
    platformId = id;
    return length;
}

short TavIs64bits() {
    TAV_EXPORT(TavIs64bits);
    return TavIs64bits_fn();
}

QString TavGetVersionInformation(const QString &fileName) {
    TAV_EXPORT(TavGetVersionInformation);
    return takeText(TavGetVersionInformation_fn(units(fileName), length32(fileName)));
}

QString TavGetUsername() {
    TAV_EXPORT(TavGetUsername);
    return takeText(TavGetUsername_fn());
}

int TavGetProcesses(const QString &exeName) {
    TAV_EXPORT(TavGetProcesses);
    const int32_t bytes = TavGetProcesses_fn(units(exeName), length32(exeName));
    if (bytes == 0)
        throwLastError();
    return bytes;
}

int TavGetScreenWidth() {
    TAV_EXPORT(TavGetScreenWidth);
    return TavGetScreenWidth_fn();
}

int TavGetScreenHeight() {
    TAV_EXPORT(TavGetScreenHeight);
    return TavGetScreenHeight_fn();
}

// ---- Per-user store ----

int TavSetRegString(int rootKey, const QString &keyPath, const QString &valueName, int valueType, const QString &data) {
    TAV_EXPORT(TavSetRegString);
    return TavSetRegString_fn(rootKey, units(keyPath), length32(keyPath), units(valueName), length32(valueName),
                              valueType, units(data), length32(data));
}

int TavDelRegVal(int rootKey, const QString &keyPath, const QString &valueName) {
    TAV_EXPORT(TavDelRegVal);
    return TavDelRegVal_fn(rootKey, units(keyPath), length32(keyPath), units(valueName), length32(valueName));
}

// ---- Opening with the desktop ----

int TavOpenUrl(const QString &address) {
    TAV_EXPORT(TavOpenUrl);
    return TavOpenUrl_fn(units(address), length32(address));
}

int TavOpenMail(const QString &address) {
    TAV_EXPORT(TavOpenMail);
    return TavOpenMail_fn(units(address), length32(address));
}

// ---- Download ----

namespace {
// The path downloaded, or the empty text with the library's error handed back.
QString downloaded(const QString &path, int *errorNumber, QString *errorText) {
    if (path.isEmpty()) {
        TAV_EXPORT(TavGetLastError);
        TAV_EXPORT(TavGetLastErrorText);
        if (errorNumber)
            *errorNumber = TavGetLastError_fn();
        if (errorText)
            *errorText = takeText(TavGetLastErrorText_fn());
    }
    return path;
}
} // namespace

QString TavDownloadFile(const QString &address, int *errorNumber, QString *errorText) {
    TAV_EXPORT(TavDownloadFile);
    return downloaded(takeText(TavDownloadFile_fn(units(address), length32(address))), errorNumber, errorText);
}

QString TavDownloadFileTo(const QString &address, const QString &folder, int maxBytes, int *errorNumber,
                          QString *errorText) {
    TAV_EXPORT(TavDownloadFileTo);
    return downloaded(
        takeText(TavDownloadFileTo_fn(units(address), length32(address), units(folder), length32(folder), maxBytes)),
        errorNumber, errorText);
}

void TavCancelDownloads() {
    TAV_EXPORT(TavCancelDownloads);
    TavCancelDownloads_fn();
}

// ---- Translucency ----

bool TavActiveTransparence(int window) {
    TAV_EXPORT(TavActiveTransparence);
    return TavActiveTransparence_fn(window) != TAV_FALSE;
}

bool TavChangeTransparence(int window, int opacity) {
    TAV_EXPORT(TavChangeTransparence);
    return TavChangeTransparence_fn(window, opacity) != TAV_FALSE;
}

bool TavDesactiveTransparence(int window) {
    TAV_EXPORT(TavDesactiveTransparence);
    return TavDesactiveTransparence_fn(window) != TAV_FALSE;
}

} // namespace mTavCommon
