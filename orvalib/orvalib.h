#pragma once
/* Orvalib: path, string and system helpers behind a C ABI.
 *
 * Conventions shared by every export:
 *
 * - Text is UTF-16 (TavChar). A text argument is a pointer and a length in
 *   UTF-16 code units, so a text may hold NUL characters. A negative length
 *   means "up to the first NUL"; a null pointer is the empty text.
 *
 * - A returned text (TavStr) is a new string owned by the caller, who frees
 *   it with TavFreeString(). Its length is TavStringLength(); it is also
 *   NUL-terminated for convenience. A null TavStr is the empty text: exports
 *   return null only when they fail (see below), and TavStringLength(NULL)
 *   is 0, TavFreeString(NULL) does nothing.
 *
 * - A boolean (TavBool) is a 16-bit signed integer: -1 (all bits set) for
 *   true, 0 for false, so that a bitwise "not" of true is false.
 *
 * - Character positions are 1-based and held in 16 bits: an export whose
 *   result or internal position would pass 32767 fails with error 6
 *   (overflow) instead.
 *
 * - Failures: every export records, per thread, the outcome of its last
 *   call. TavGetLastError() returns 0 after a call that succeeded, otherwise
 *   an error number (5 invalid argument, 6 overflow, 7 out of memory, 51
 *   unexpected); TavGetLastErrorText() describes it. A failing export
 *   returns null, 0 or false. No C++ exception ever leaves the library.
 *
 * - The path separator is the platform's ("/" here); "\" is an ordinary
 *   character to the path helpers. The extension separator is the last "."
 *   of the whole text.
 */

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(__GNUC__)
#define TAV_API __attribute__((visibility("default")))
#else
#define TAV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef char16_t TavChar;
typedef TavChar *TavStr;
typedef int16_t TavBool;

#define TAV_TRUE ((TavBool)-1)
#define TAV_FALSE ((TavBool)0)

/* ---- Strings and errors (the ABI itself) ---- */

/* Frees a text returned by any export. */
TAV_API void TavFreeString(TavStr text);
/* Length, in UTF-16 code units, of a text returned by any export. */
TAV_API int32_t TavStringLength(const TavChar *text);
/* Error number of this thread's last export call, 0 when it succeeded. */
TAV_API int32_t TavGetLastError(void);
/* Description of that error (empty when it succeeded); free it. */
TAV_API TavStr TavGetLastErrorText(void);

/* ---- Paths and files (mFichier) ---- */

/* Everything before the last separator; empty when there is none. */
TAV_API TavStr TavGetPath(const TavChar *path, int32_t length);
/* Everything after the last separator; empty when there is none (a bare name gives the empty text). */
TAV_API TavStr TavGetFileName(const TavChar *path, int32_t length);
/* Everything after the last "." of the whole text, without it; empty when there is no ".". */
TAV_API TavStr TavGetExtension(const TavChar *name, int32_t length);
/* Everything before the last "." of the whole text; the text unchanged when there is no ".". */
TAV_API TavStr TavStrWithoutExt(const TavChar *name, int32_t length);
/* The path ending in a separator (the empty text gives "/"). */
TAV_API TavStr TavQualifyPath(const TavChar *path, int32_t length);
/* True when anything exists at the path (file, folder, link). */
TAV_API TavBool TavFileExists(const TavChar *path, int32_t length);
/* True when the path exists and is a folder (links followed). */
TAV_API TavBool TavIsDir(const TavChar *path, int32_t length);
/* Creates every missing folder along the path, outermost first, passing
 * over those that exist or cannot be created. A path that is not absolute
 * is created below the root folder; "//server/" is taken as a network root
 * and not created. Returns the number of folders created. */
TAV_API int32_t TavCreateNestedFolders(const TavChar *path, int32_t length);
/* A special folder by its number: 26 the per-user configuration folder
 * ($XDG_CONFIG_HOME, else ~/.config), 5 the documents folder; anything else
 * gives the empty text. window is unused (owner of prompts elsewhere). */
TAV_API TavStr TavCheminDossier(int32_t window, int32_t folderId);
/* The temporary folder ending in "/"; the empty text when that is 100 characters or more. */
TAV_API TavStr TavGetTempDir(void);
/* The system's library folder, without a trailing "/". */
TAV_API TavStr TavGetSystemDirectory(void);
/* The whole file, each byte decoded as Windows-1252. The file is opened
 * read-write when allowed, read-only otherwise, and created empty when it
 * does not exist. On a failure: returns the empty text (not null), sets
 * *errNumber to a non-zero error number and *errText to a new text owned by
 * the caller (the previous value of *errText is not freed). On success both
 * are left alone. Either pointer may be null. */
TAV_API TavStr TavReadFileToBuffer(const TavChar *path, int32_t length, int16_t *errNumber, TavStr *errText);
/* Number of CR LF pairs in the file, or of LF when there is no CR LF; -1
 * for an empty file; 0 for a missing or unreadable one. */
TAV_API int32_t TavNumberLineInFile(const TavChar *path, int32_t length);

/* ---- Strings (mString) ---- */

/* Lower case, with the French accents à â ä é è ê ë ï î ö ô ù ü ç removed. */
TAV_API TavStr TavStringSansAccent(const TavChar *text, int32_t length);
/* 1-based position of the last occurrence of sought in text at or after
 * start (overlaps count), 0 when none or when sought is empty. start must
 * be 1 or more (error 5 otherwise). */
TAV_API int16_t TavLastSubStrInStr(int16_t start, const TavChar *text, int32_t textLength, const TavChar *sought,
                                   int32_t soughtLength);
/* The text up to its first NUL character. */
TAV_API TavStr TavTrimNull(const TavChar *text, int32_t length);
/* A byte count scaled by 1024 as long as it is 1024 or more, written
 * "#.000" with the user's decimal separator, a space and the unit letter
 * (none, K, M, G, T, F). A value that is not finite fails with error 5. */
TAV_API TavStr TavDoubleToUnit(double value);

/* ---- System information (mWindows) ---- */

/* Writes the platform id (2 here) and a new text, owned by the caller, with
 * the system's name: the distribution's name from os-release, ", Linux " and
 * the kernel release. Returns the name's length. Either pointer may be null. */
TAV_API int32_t TavGetWindowsVersion(int32_t *platformId, TavStr *name);
/* 1 when this process is a 32-bit program on a 64-bit machine, else 0. */
TAV_API int16_t TavIs64bits(void);
/* The version of a library found the way the dynamic loader finds it (the
 * program's folder first; a name with a "/" is a path): the number after
 * ".so." in its real file name, else the highest numbered version its ELF
 * file defines. "Fichier inconnu" when it is found nowhere, "Version
 * Inconnue" when it has no version. */
TAV_API TavStr TavGetVersionInformation(const TavChar *fileName, int32_t length);
/* The login name of the user, up to 100 characters. */
TAV_API TavStr TavGetUsername(void);
/* Resident memory, in bytes, of the running process of that executable file
 * name (trimmed, any case) listed last by process id; 0 when none is found.
 * Processes whose executable cannot be read (other users') are passed over.
 * A figure beyond the 32-bit range gives the largest 32-bit value. */
TAV_API int32_t TavGetProcesses(const TavChar *exeName, int32_t length);
/* Width and height in pixels of the X display's default screen, read
 * through libX11 when the system has it; 0 without a display. */
TAV_API int32_t TavGetScreenWidth(void);
TAV_API int32_t TavGetScreenHeight(void);

/* ---- Per-user store in place of the registry (mBaseRegistre) ---- */

/* Root keys. Each is a section of one per-user file,
 * $XDG_CONFIG_HOME/orvalib/registry.json (else ~/.config/...). */
#define TAV_HKEY_CLASSES_ROOT ((int32_t)0x80000000u)
#define TAV_HKEY_CURRENT_USER ((int32_t)0x80000001u)
#define TAV_HKEY_LOCAL_MACHINE ((int32_t)0x80000002u)
#define TAV_HKEY_USERS ((int32_t)0x80000003u)
#define TAV_HKEY_CURRENT_CONFIG ((int32_t)0x80000005u)

/* Stores data under the value name of the key path ("\" between keys)
 * below the root key, with the given type (0 stores 1, a plain string),
 * creating the key when needed; key paths and value names are matched
 * without regard to case. The file is rewritten through a temporary file
 * and a rename. Returns a status: 0 success, 5 the store cannot be written,
 * 6 an unknown root key, 112 the disk is full, 1013 another write failure,
 * 1015 the store file is damaged (it is left as it is). */
TAV_API int32_t TavSetRegString(int32_t rootKey, const TavChar *keyPath, int32_t keyPathLength,
                                const TavChar *valueName, int32_t valueNameLength, int32_t valueType,
                                const TavChar *data, int32_t dataLength);
/* Deletes the value (the key stays). Returns 0, or 2 when the key or the
 * value does not exist, or a status as above. */
TAV_API int32_t TavDelRegVal(int32_t rootKey, const TavChar *keyPath, int32_t keyPathLength, const TavChar *valueName,
                             int32_t valueNameLength);

/* ---- Opening with the desktop's default program (mShell) ---- */

/* Opens an http://, https:// or file: address with the desktop's default
 * program: xdg-open, found on PATH, started detached with the address as its
 * one argument (never through a shell). Returns 42 (above 32) once started;
 * 2 when the text is no such address (nothing is started; control
 * characters are refused), 31 when xdg-open is missing or cannot start. */
TAV_API int32_t TavOpenUrl(const TavChar *address, int32_t length);
/* The same for a new mail: "mailto:" (any case) with recipients and
 * optional "?" fields, or a bare address, which gets "mailto:" put before
 * it. Each recipient needs one "@" with text on both sides and no blanks. */
TAV_API int32_t TavOpenMail(const TavChar *address, int32_t length);

/* ---- Download (mInternet) ---- */

/* Downloads the address into the temporary folder (TavGetTempDir) under the
 * last segment of its path, decoded, replacing an earlier copy in one step;
 * returns the full path of the copy. Only https is fetched (certificates
 * verified), plain http only from a loopback address (127.0.0.0/8, ::1,
 * localhost); redirects may only lead to https. Connecting may take 15 s, the
 * whole transfer 300 s. On a failure: returns the empty text (not null),
 * nothing is left under the final name, and the last error is set: 5 the
 * address is refused (nothing is connected to), 57 the transfer failed
 * (unreachable, time-out, an HTTP error status, cut short), 70 the
 * destination is in use or not writable, 75 another file error; its text
 * reads "Error <number> (<description>) in procedure TavDownloadFile of
 * Module mInternet". */
TAV_API TavStr TavDownloadFile(const TavChar *address, int32_t length);
/* The same into folder (the temporary folder when folder is empty), failing
 * with error 57 ("The file is larger than <maxBytes> bytes") as soon as the
 * body would pass maxBytes, announced or not; 0 sets no limit. The caller
 * chooses a folder of its own: the copy is created there exclusively and
 * renamed into place, never written through a link. */
TAV_API TavStr TavDownloadFileTo(const TavChar *address, int32_t length, const TavChar *folder, int32_t folderLength,
                                 int32_t maxBytes);
/* Makes every download under way, and every later one, fail at once with
 * error 57 ("Download cancelled"): called when the program quits, so that no
 * transfer outlives it. */
TAV_API void TavCancelDownloads(void);

/* ---- Window translucency (mTransparence) ---- */

/* The window is an X11 window id on the display of $DISPLAY; its opacity is
 * its _NET_WM_WINDOW_OPACITY property, applied by compositing window
 * managers. All three fail (false) without a display or without libX11;
 * the first two also for a window that does not exist. */
/* Makes the window ready for translucency: sets the property to opaque
 * unless the window has it already. */
TAV_API TavBool TavActiveTransparence(int32_t window);
/* Sets the opacity of a window made ready (0 transparent to 255 opaque);
 * false for a window not made ready or an opacity outside 0 to 255. */
TAV_API TavBool TavChangeTransparence(int32_t window, int32_t opacity);
/* Removes the property, making the window opaque again. True also for a
 * window not made ready or gone; false only without a display or libX11. */
TAV_API TavBool TavDesactiveTransparence(int32_t window);

#ifdef __cplusplus
}
#endif
