#pragma once
// Photo metadata for the metadata tokens: which tool reads which file (the
// tool mode and the two extension lists), the record cache, the two per-file
// readers (jhead, ExifTool) and the resident ExifTool, the clear command and
// the texts that show the mode in use.

#include "core/base/MetadataRecord.h"
#include "core/metadata/MetadataCache.h"
#include "core/metadata/ReaderProcess.h"
#include "core/metadata/ResidentExifTool.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QTemporaryDir;

namespace tav {

struct Settings;

// Tool modes, as stored in the settings (Option_OutilExifChoisi).
enum ExifToolMode : int {
    ExifModeNotChosen = 0, // read as jhead only; the choice dialog opens at start-up
    ExifModeJhead = 1,
    ExifModeJheadThenExifTool = 2,
    ExifModeExifTool = 3,
    ExifModeExifToolBatch = 4,
    ExifModeBuiltin = 5, // read inside the program, no outside tool
};
inline constexpr int ExifModeHighest = ExifModeBuiltin;

inline const QString DefaultJheadExtensions = QStringLiteral("JPG JPEG");
inline const QString DefaultExifToolExtensions =
    QStringLiteral("3GP ARW AVIF CR3 CRW HEIC HEIF JPG JPEG M4V MOV MP4 RAW TIF TIFF");

class ExifReader : public MetadataSource {
public:
    enum class Tool { Jhead, ExifTool };

    ExifReader();
    ~ExifReader() override;
    ExifReader(const ExifReader &) = delete;
    ExifReader &operator=(const ExifReader &) = delete;

    // What the name computation calls: getExif.
    MetadataRecord read(const QString &path) override { return getExif(path); }
    // The built-in reader asks its helper for these files in batches.
    void expect(const QStringList &paths) override;

    // The record of path by the reading rule of the current mode; blanks the
    // main window's six value labels first and shows the values after.
    MetadataRecord getExif(const QString &path);
    // The three readers; each returns a cached record without running anything.
    MetadataRecord getExif_jhead(const QString &path);
    MetadataRecord getExif_exifTool(const QString &path);
    MetadataRecord getExif_exifTool_lot(const QString &path);
    // The built-in reader (Exiv2 for still pictures, our own box reader for
    // videos, HEIF and CR3), run in the helper process travoline-reader.
    MetadataRecord getExif_builtin(const QString &path);
    ReaderProcess &helper() { return m_helper; }

    // Configuration from the settings record: mode and the two lists (upper
    // case, separated by blanks). Starts the resident ExifTool when the mode is 4.
    void configure(int mode, const QString &jheadExtensions, const QString &exifToolExtensions);
    // Follows a settings record instead: the mode and the lists are taken from
    // it at every read, and a mode the reader changes itself is written back
    // to it (null: back to the values set here).
    void bindSettings(Settings *settings);
    int mode() const;
    // Sets the mode without starting or stopping anything.
    void setMode(int mode);
    void setJheadExtensions(const QString &list) { m_jheadList = list; }
    void setExifToolExtensions(const QString &list) { m_exifToolList = list; }
    const QString &jheadExtensions() const { return m_jheadList; }
    const QString &exifToolExtensions() const { return m_exifToolList; }
    // Called whenever the reader changes the mode itself (a failed start of the
    // resident ExifTool forces mode 3; the choice dialog's OK): the controller
    // keeps the settings record and the label in step.
    void setModeChangedHandler(std::function<void(int)> handler) { m_onModeChanged = std::move(handler); }

    // The resident ExifTool: started when the mode is 4 (a failed start shows
    // a message and forces mode 3); stopped only when the mode is 4.
    void startResident();
    void stopResident();
    ResidentExifTool &resident() { return m_resident; }

    // The tool mode chosen in frmChoixOutilExif by its list text: stops the
    // resident ExifTool, maps the text to a mode (unknown text: unchanged),
    // starts the resident ExifTool for the batch mode, remembers the choice in
    // the per-user store and returns the mode.
    int chooseTool(const QString &choiceText);

    // The clear command: asks, empties the cache, confirms.
    void cmdEffacerExif();
    MetadataCache &cache() { return m_cache; }

    // Where the tools are: bin/ of the program folder, then PATH. A path set
    // here wins (tests; an empty text means "look it up").
    void setToolPath(Tool tool, const QString &path);
    QString toolPath(Tool tool);
    bool toolAvailable(Tool tool);

    // The tools the current mode runs that cannot be found, and one line
    // naming each with its Debian package for the tool label (empty when
    // every tool is there). A missing tool is also told once, through the
    // front end, the first time a file needs it.
    QList<Tool> missingTools();
    QString missingToolsText();

    // The folder of the report and argument files. By default a private folder
    // of this process under the system's temporary folder.
    void setTempFolder(const QString &folder);
    QString tempFolder();
    QString reportPath();

    // Longest wait for one per-file run (negative: no limit).
    void setRunTimeoutMs(int ms) { m_runTimeoutMs = ms; }

    // How many times a tool was started for a file (resident requests included).
    int toolRuns() const { return m_toolRuns; }

private:
    MetadataRecord runPerFile(Tool tool, const QString &path, const QString &procedure);
    void changeMode(int mode);
    void syncFromSettings();
    // The resident ExifTool could not be started: says so and falls back to
    // one run per file (mode 3).
    void residentLost();
    // Tells once that tool cannot be found and which package provides it.
    void toolMissing(Tool tool);

    Settings *m_settings = nullptr;
    int m_mode = ExifModeNotChosen;
    QString m_jheadList = DefaultJheadExtensions;
    QString m_exifToolList = DefaultExifToolExtensions;
    std::function<void(int)> m_onModeChanged;
    MetadataCache m_cache;
    ResidentExifTool m_resident;
    QString m_toolOverride[2];
    QString m_toolFound[2];
    bool m_toldMissing[2] = {false, false};
    QString m_tempFolder;
    std::unique_ptr<QTemporaryDir> m_ownTemp;
    int m_runTimeoutMs = 30000;
    int m_toolRuns = 0;
    ReaderProcess m_helper;
    // The files announced by expect(), and their place in that order; the
    // records the helper read ahead, until they are asked for.
    QStringList m_expected;
    QHash<QString, qsizetype> m_expectedAt;
    bool m_expectedIndexed = true;
    QHash<QString, MetadataRecord> m_readAhead;
};

// The process-wide reader the controller and the name computation share. It
// stops its resident ExifTool when the application ends.
ExifReader &exifReader();

// Binds the process-wide reader to the process-wide settings record. Called
// once by the window program before the settings file is read.
void bindExifReaderToSettings();
// Start-up, once the settings are read: the batch mode (4) starts the
// resident ExifTool of the process-wide reader, the built-in reader (5) its
// helper.
void startChosenExifTool(const Settings &s);

namespace Exif {

// The extension as the reading rule compares it: after the last "." of the
// whole path, upper case.
QString upperExtension(const QString &path);
// The list split at blanks, empty elements left out.
QStringList splitExtensions(const QString &list);

// The label of a mode in the choice list (message 74, 78, 75 or 76; the
// built-in reader's own text).
QString toolModeName(int mode);
// Whether a mode runs an outside program.
bool modeNeedsTool(int mode);
// The built-in reader and the library it reads with: "lecteur intégré (Exiv2 0.27.6)".
QString builtinReaderText();
// lblExitToolUsed: message 80, a blank, the mode's label.
QString toolInUseText(int mode);
// The six value labels lblExif(0..5): "$d$=", "$T$=", "$R$=", "$O$=", "$K$=",
// "$C$=" followed by the record's value.
QString metadataLabelText(int index, const MetadataRecord &record);

// The tool's name as the user knows it, and the Debian package providing it.
QString toolDisplayName(ExifReader::Tool tool);
QString toolPackage(ExifReader::Tool tool);
// The tools a mode runs (none for the built-in reader).
QList<ExifReader::Tool> toolsOfMode(int mode);
// The message shown once when a tool cannot be found, and its short form.
QString toolMissingText(ExifReader::Tool tool);
QString toolMissingShortText(ExifReader::Tool tool);

// The two lines shown when the resident ExifTool cannot be started.
QString residentStartFailureText();

} // namespace Exif

} // namespace tav
