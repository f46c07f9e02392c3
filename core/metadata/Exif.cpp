#include "core/metadata/Exif.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/Version.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/Language.h"
#include "core/metadata/ExifReport.h"
#include "core/metadata/ToolProcess.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <array>
#include <cstdlib>

namespace tav {

namespace {

const QString ReportFileName = QStringLiteral("Travoline_exif.txt");

int toolIndex(ExifReader::Tool tool) {
    return tool == ExifReader::Tool::Jhead ? 0 : 1;
}

QString toolName(ExifReader::Tool tool) {
    return tool == ExifReader::Tool::Jhead ? QStringLiteral("jhead") : QStringLiteral("exiftool");
}

bool listHas(const QString &list, const QString &extension) {
    for (const QString &e : Exif::splitExtensions(list))
        if (e == extension)
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------------------

namespace Exif {

QString upperExtension(const QString &path) {
    return mTavCommon::TavGetExtension(path).toUpper();
}

QStringList splitExtensions(const QString &list) {
    // An empty element (two blanks in a row, a blank at either end) would make
    // every file without extension match; it is no extension anyone typed.
    return list.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString toolModeName(int mode) {
    switch (mode) {
    case ExifModeNotChosen:
    case ExifModeJhead:
        return i18n::Message(74);
    case ExifModeJheadThenExifTool:
        return i18n::Message(78);
    case ExifModeExifTool:
        return i18n::Message(75);
    case ExifModeExifToolBatch:
        return i18n::Message(76);
    case ExifModeBuiltin:
        return i18n::getText(QStringLiteral("Exif"), QStringLiteral("ModeBuiltin"),
                             QStringLiteral("lecteur intégré (Exiv2)"));
    default:
        return QString();
    }
}

bool modeNeedsTool(int mode) {
    return mode != ExifModeBuiltin;
}

// builtinReaderText() and toolInUseText() name the library's version: they
// are in BuiltinReader.cpp, so that a program that never reads with it does
// not load it.

QString metadataLabelText(int index, const MetadataRecord &record) {
    using F = MetadataRecord::Field;
    static const struct {
        const char *token;
        int field;
    } labels[6] = {{"$d$=", F::DateTime},    {"$T$=", F::FileSize},    {"$R$=", F::Resolution},
                   {"$O$=", F::Orientation}, {"$K$=", F::CameraModel}, {"$C$=", F::Comment}};
    if (index < 0 || index >= 6)
        return QString();
    return QLatin1String(labels[index].token) + record[labels[index].field];
}

QString toolDisplayName(ExifReader::Tool tool) {
    return tool == ExifReader::Tool::Jhead ? QStringLiteral("jhead") : QStringLiteral("ExifTool");
}

QString toolPackage(ExifReader::Tool tool) {
    return tool == ExifReader::Tool::Jhead ? QStringLiteral("jhead") : QStringLiteral("libimage-exiftool-perl");
}

QList<ExifReader::Tool> toolsOfMode(int mode) {
    switch (mode) {
    case ExifModeNotChosen:
    case ExifModeJhead:
        return {ExifReader::Tool::Jhead};
    case ExifModeJheadThenExifTool:
        return {ExifReader::Tool::Jhead, ExifReader::Tool::ExifTool};
    case ExifModeBuiltin:
        return {};
    default:
        return {ExifReader::Tool::ExifTool};
    }
}

QString toolMissingText(ExifReader::Tool tool) {
    return i18n::getText(QStringLiteral("Exif"), QStringLiteral("ToolMissing"),
                         QStringLiteral("L'outil %s est introuvable : les valeurs Exif restent vides.|"
                                        "Installez le paquet Debian %s."),
                         toolDisplayName(tool), toolPackage(tool));
}

QString toolMissingShortText(ExifReader::Tool tool) {
    return i18n::getText(QStringLiteral("Exif"), QStringLiteral("ToolMissingShort"),
                         QStringLiteral("%s introuvable (paquet %s)"), toolDisplayName(tool), toolPackage(tool));
}

QString residentStartFailureText() {
    return QStringLiteral("Erreur au lancement de ExifTool pour le traitement par lot\r\n"
                          "L'utilisation de exifTool en mode standard est forcée");
}

} // namespace Exif

// ---------------------------------------------------------------------------

ExifReader::ExifReader() = default;

ExifReader::~ExifReader() {
    // The resident process ends with the reader, whatever the mode says now.
    m_resident.stop();
}

void ExifReader::setMode(int mode) {
    m_mode = mode;
    if (m_settings)
        m_settings->OutilExifChoisi = mode;
}

int ExifReader::mode() const {
    return m_settings ? m_settings->OutilExifChoisi : m_mode;
}

void ExifReader::bindSettings(Settings *settings) {
    m_settings = settings;
    syncFromSettings();
}

void ExifReader::syncFromSettings() {
    if (!m_settings)
        return;
    m_mode = m_settings->OutilExifChoisi;
    m_jheadList = m_settings->ExtensionTraiteAvecJHEAD;
    m_exifToolList = m_settings->ExtensionTraiteAvecEXIFTOOL;
}

void ExifReader::changeMode(int mode) {
    syncFromSettings();
    const bool changed = mode != m_mode;
    setMode(mode);
    if (changed && m_onModeChanged)
        m_onModeChanged(mode);
}

void ExifReader::configure(int mode, const QString &jheadExtensions, const QString &exifToolExtensions) {
    syncFromSettings();
    if (m_mode == ExifModeExifToolBatch && mode != ExifModeExifToolBatch)
        stopResident();
    m_jheadList = jheadExtensions;
    m_exifToolList = exifToolExtensions;
    if (m_settings) {
        m_settings->ExtensionTraiteAvecJHEAD = jheadExtensions;
        m_settings->ExtensionTraiteAvecEXIFTOOL = exifToolExtensions;
    }
    setMode(mode);
    if (m_mode == ExifModeExifToolBatch)
        startResident();
    // The reader helper starts while the rest of the list is made.
    if (m_mode == ExifModeBuiltin)
        m_helper.prepare();
}

void ExifReader::setToolPath(Tool tool, const QString &path) {
    m_toolOverride[toolIndex(tool)] = path;
    m_toolFound[toolIndex(tool)].clear();
}

QString ExifReader::toolPath(Tool tool) {
    const int i = toolIndex(tool);
    if (!m_toolOverride[i].isEmpty())
        return m_toolOverride[i];
    // Looked up again while missing, so a tool installed meanwhile is found.
    if (m_toolFound[i].isEmpty() || !QFileInfo::exists(m_toolFound[i]))
        m_toolFound[i] = Exif::findTool(toolName(tool));
    return m_toolFound[i];
}

bool ExifReader::toolAvailable(Tool tool) {
    const QString program = toolPath(tool);
    const bool found = !program.isEmpty() && QFileInfo::exists(program);
    if (found)
        m_toldMissing[toolIndex(tool)] = false; // a tool removed again is told again
    return found;
}

QList<ExifReader::Tool> ExifReader::missingTools() {
    syncFromSettings();
    QList<Tool> missing;
    for (Tool tool : Exif::toolsOfMode(m_mode))
        if (!toolAvailable(tool))
            missing << tool;
    return missing;
}

QString ExifReader::missingToolsText() {
    QStringList parts;
    for (Tool tool : missingTools())
        parts << Exif::toolMissingShortText(tool);
    return parts.join(QStringLiteral("; "));
}

void ExifReader::toolMissing(Tool tool) {
    bool &told = m_toldMissing[toolIndex(tool)];
    if (told)
        return;
    told = true;
    frontEnd().msgBox(Exif::toolMissingText(tool), StyleExclamation, i18n::Message(1));
}

void ExifReader::setTempFolder(const QString &folder) {
    m_tempFolder = folder;
    m_resident.setFolder(folder);
}

QString ExifReader::tempFolder() {
    if (m_tempFolder.isEmpty()) {
        // A folder of our own (mode 0700, unpredictable name) rather than fixed
        // names straight in /tmp: another user cannot plant links there, and a
        // second copy of the program (the command line beside the window) does
        // not mix its reports with ours.
        m_ownTemp = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/Travoline-XXXXXX"));
        m_tempFolder = m_ownTemp->isValid() ? m_ownTemp->path() : QDir::tempPath();
        m_resident.setFolder(m_tempFolder);
    }
    return m_tempFolder;
}

QString ExifReader::reportPath() {
    return tempFolder() + QLatin1Char('/') + ReportFileName;
}

// ---------------------------------------------------------------------------

MetadataRecord ExifReader::getExif(const QString &path) {
    syncFromSettings();
    // The built-in reader goes by content: no extension to work out (which
    // costs more than a built-in read's share of the bookkeeping).
    const QString extension = m_mode == ExifModeBuiltin ? QString() : Exif::upperExtension(path);
    // The blank labels are the same texts every time.
    static const std::array<QString, 6> blank = [] {
        std::array<QString, 6> texts;
        for (int i = 0; i < 6; ++i)
            texts[std::size_t(i)] = Exif::metadataLabelText(i, MetadataRecord());
        return texts;
    }();
    for (int i = 0; i < 6; ++i)
        frontEnd().showMetadataLabel(i, blank[std::size_t(i)]);

    MetadataRecord record;
    bool byJhead = false;
    if (m_mode == ExifModeNotChosen || m_mode == ExifModeJhead || m_mode == ExifModeJheadThenExifTool) {
        if (listHas(m_jheadList, extension)) {
            record = getExif_jhead(path);
            byJhead = true;
        }
    }
    if ((m_mode == ExifModeExifTool || m_mode == ExifModeJheadThenExifTool) && !byJhead) {
        if (listHas(m_exifToolList, extension))
            record = getExif_exifTool(path);
    }
    if (m_mode == ExifModeExifToolBatch) {
        if (listHas(m_exifToolList, extension))
            record = getExif_exifTool_lot(path);
    }
    // The library recognises a format by its content, so no extension list.
    if (m_mode == ExifModeBuiltin)
        record = getExif_builtin(path);

    for (int i = 0; i < 6; ++i)
        frontEnd().showMetadataLabel(i, Exif::metadataLabelText(i, record));
    return record;
}

MetadataRecord ExifReader::getExif_jhead(const QString &path) {
    return runPerFile(Tool::Jhead, path, QStringLiteral("getExif_jhead (Module Exif)"));
}

MetadataRecord ExifReader::getExif_exifTool(const QString &path) {
    return runPerFile(Tool::ExifTool, path, QStringLiteral("getExif_getExif_exifTool (Module Exif)"));
}

MetadataRecord ExifReader::getExif_builtin(const QString &path) {
    // A read takes microseconds and nothing else in a recomputation lets the
    // window's events run; the front end runs them at most every few ms, so the
    // progress bar moves and Stop is heard without slowing the list down.
    frontEnd().processEvents();
    if (const MetadataRecord *cached = m_cache.find(path))
        return *cached;
    if (const auto ahead = m_readAhead.find(path); ahead != m_readAhead.end()) {
        const MetadataRecord record = std::move(*ahead);
        m_readAhead.erase(ahead);
        m_cache.append(path, record);
        return record;
    }
    if (path.isEmpty())
        return MetadataRecord();

    // This file, and the next announced ones not read yet: one exchange with
    // the helper for many files.
    constexpr int BatchSize = 64;
    QList<ReaderProcess::Request> batch{{ReaderProcess::Kind::Metadata, path, {}}};
    if (!m_expectedIndexed) {
        m_expectedAt.reserve(m_expected.size());
        for (qsizetype i = 0; i < m_expected.size(); ++i)
            m_expectedAt.insert(m_expected.at(i), i);
        m_expectedIndexed = true;
    }
    if (const auto at = m_expectedAt.constFind(path); at != m_expectedAt.cend()) {
        for (qsizetype i = *at + 1; i < m_expected.size() && batch.size() < BatchSize; ++i) {
            const QString &next = m_expected.at(i);
            if (next != path && !m_cache.find(next) && !m_readAhead.contains(next))
                batch.append({ReaderProcess::Kind::Metadata, next, {}});
        }
    }
    const QList<ReaderProcess::Reply> replies = m_helper.run(batch);
    MetadataRecord asked;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        const ReaderProcess::Reply &reply = replies.at(i);
        MetadataRecord record;
        bool keep = false;
        if (reply.outcome == ReaderProcess::Outcome::Answered) {
            // A file the reader could not open or parse is tried again next
            // time; so is an answer that is not the helper's.
            ReaderWire::decodeRecord(reply.payload, record, keep);
        } else if (reply.outcome != ReaderProcess::Outcome::NoHelper) {
            // A file that took the helper down or hung it has no metadata
            // until the cache is cleared: reading it again would cost as much.
            keep = true;
        }
        if (i == 0) {
            asked = record;
            if (keep)
                m_cache.append(path, record);
        } else if (keep) {
            m_readAhead.insert(batch.at(i).path, std::move(record));
        }
    }
    return asked;
}

void ExifReader::expect(const QStringList &paths) {
    // Indexed at the first file the helper reads: a list announced in
    // another mode costs nothing.
    m_expected = paths;
    m_expectedAt.clear();
    m_expectedIndexed = false;
    if (!paths.isEmpty() && mode() == ExifModeBuiltin)
        m_helper.prepare();
}

MetadataRecord ExifReader::runPerFile(Tool tool, const QString &path, const QString &procedure) {
    if (const MetadataRecord *cached = m_cache.find(path))
        return *cached;
    MetadataRecord record;
    trap(procedure, [&] {
        if (path.isEmpty() || !QFileInfo::exists(path))
            return;
        if (!toolAvailable(tool)) {
            toolMissing(tool);
            return;
        }
        const QString program = toolPath(tool);
        const QString report = reportPath();
        QDir().mkpath(tempFolder());
        // The tool gets the path itself, made absolute so that a name that
        // begins with "-" cannot pass for an option.
        const QString target = QFileInfo(path).absoluteFilePath();
        ++m_toolRuns;
        const Exif::RunResult run = Exif::runToReport(program, {target}, report, m_runTimeoutMs);
        QFile file(report);
        if (run == Exif::RunResult::Finished && file.open(QIODevice::ReadOnly)) {
            const QString text = Exif::decodeReport(file.readAll());
            file.close();
            record = tool == Tool::Jhead ? Exif::parseJheadReport(text) : Exif::parseExifToolReport(text);
            m_cache.append(path, record);
        }
        QFile::remove(report);
    });
    return record;
}

MetadataRecord ExifReader::getExif_exifTool_lot(const QString &path) {
    MetadataRecord record;
    if (const MetadataRecord *cached = m_cache.find(path)) {
        record = *cached;
    } else {
        trap(QStringLiteral("getExif_exifTool_lot (Module Exif)"), [&] {
            if (path.isEmpty() || !QFileInfo::exists(path))
                return;
            if (!m_resident.isRunning()) {
                if (!toolAvailable(Tool::ExifTool))
                    toolMissing(Tool::ExifTool);
                return;
            }
            ++m_toolRuns;
            const ResidentExifTool::ReadResult result = m_resident.request(path, record);
            // No answer even after a restart, or a restart that could not start
            // the tool: read file by file from now on, starting with this one.
            if (m_resident.takeRestartFailure() || result == ResidentExifTool::ReadResult::NoAnswer) {
                residentLost();
                record = getExif_exifTool(path);
                return;
            }
            switch (result) {
            case ResidentExifTool::ReadResult::Answered:
                m_cache.append(path, record);
                break;
            case ResidentExifTool::ReadResult::ReadError:
                frontEnd().showPlainError(QStringLiteral("Erreur lors de la lecture. Code : %1. Description : %2")
                                              .arg(int(ErrPathAccess))
                                              .arg(m_resident.errorText()));
                record = MetadataRecord();
                m_cache.append(path, record);
                break;
            case ResidentExifTool::ReadResult::NoAnswer:
            case ResidentExifTool::ReadResult::NotRunning:
            case ResidentExifTool::ReadResult::NoReport:
                break;
            }
        });
    }
    m_resident.housekeeping();
    if (m_resident.takeRestartFailure())
        residentLost();
    return record;
}

void ExifReader::residentLost() {
    frontEnd().msgBox(Exif::residentStartFailureText(), StyleOkOnly, i18n::Message(1));
    changeMode(ExifModeExifTool);
}

// ---------------------------------------------------------------------------

void ExifReader::startResident() {
    if (m_resident.isRunning())
        return;
    tempFolder();
    m_resident.setToolPath(toolPath(Tool::ExifTool));
    if (m_resident.start() == ResidentExifTool::StartResult::Failed)
        residentLost();
}

void ExifReader::stopResident() {
    syncFromSettings();
    if (m_mode == ExifModeExifToolBatch && m_resident.isRunning())
        m_resident.stop();
}

int ExifReader::chooseTool(const QString &choiceText) {
    stopResident(); // before any change, while the mode still says 4
    int mode = m_mode;
    if (choiceText == i18n::Message(74))
        mode = ExifModeJhead;
    else if (choiceText == i18n::Message(75))
        mode = ExifModeExifTool;
    else if (choiceText == i18n::Message(76))
        mode = ExifModeExifToolBatch;
    else if (choiceText == i18n::Message(78))
        mode = ExifModeJheadThenExifTool;
    else if (choiceText == Exif::toolModeName(ExifModeBuiltin))
        mode = ExifModeBuiltin;
    changeMode(mode);
    if (mode == ExifModeExifToolBatch)
        startResident(); // may fall back to mode 3
    if (mode == ExifModeBuiltin)
        m_helper.prepare();
    QSettings store = modIniFile::userStore();
    store.setValue(QStringLiteral("Options/GLOutilExifChoisi"), QString::number(m_mode));
    return m_mode;
}

void ExifReader::cmdEffacerExif() {
    if (frontEnd().msgBox(i18n::Message(60), StyleYesNo + StyleQuestion, i18n::Message(1)) != AnswerYes)
        return;
    m_cache.clear();
    m_readAhead.clear();
    frontEnd().msgBox(i18n::Message(61), StyleInformation, i18n::Message(1));
}

// ---------------------------------------------------------------------------

namespace {
ExifReader *g_reader = nullptr;

void destroyReader() {
    delete g_reader;
    g_reader = nullptr;
}
} // namespace

ExifReader &exifReader() {
    if (!g_reader) {
        g_reader = new ExifReader;
        // Stopped before the application object goes, so that the process
        // handling still works; without one, at exit.
        if (QCoreApplication::instance())
            qAddPostRoutine(destroyReader);
        else
            std::atexit(destroyReader);
    }
    return *g_reader;
}

void bindExifReaderToSettings() {
    exifReader().bindSettings(&settings());
}

void startChosenExifTool(const Settings &s) {
    if (s.OutilExifChoisi == ExifModeExifToolBatch)
        exifReader().startResident();
    else if (s.OutilExifChoisi == ExifModeBuiltin)
        exifReader().helper().prepare();
}

} // namespace tav
