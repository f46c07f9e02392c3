#include "core/filelist/RenameList.h"

#include "core/engine/TokenTable.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"
#include "core/engine/NewNamePath.h"
#include "core/i18n/Language.h"

#include <limits>

namespace tav {

RenameList::RenameList(QObject *parent) : QObject(parent), m_model(new RenameListModel(this)) {}

RenameList::~RenameList() = default;

void RenameList::setOptions(const NamingOptions &options) {
    m_optionsTouched = true;
    m_options = options;
    setRule(options.rule);
}

void RenameList::setRule(const Rule &rule) {
    m_optionsTouched = true;
    m_options.rule = rule;
    m_txtDebut = rule.DebutPas == ContinueModeStart ? QStringLiteral("#") : QString::number(rule.DebutPas);
    m_txtPas = QString::number(rule.Pas);
}

NamingOptions RenameList::effectiveOptions() const {
    NamingOptions o = m_options;
    if (isContinueMode()) {
        o.rule.DebutPas = ContinueModeStart;
        return o;
    }
    // The fields are read for every file; the last reading is kept, since
    // they rarely change between two files.
    if (m_start.text != m_txtDebut || m_start.text.isNull())
        m_start = {m_txtDebut, parseCounterField(m_txtDebut, std::numeric_limits<std::int32_t>::min(),
                                                 std::numeric_limits<std::int32_t>::max())};
    if (m_step.text != m_txtPas || m_step.text.isNull())
        m_step = {m_txtPas, parseCounterField(m_txtPas, std::numeric_limits<std::int16_t>::min(),
                                              std::numeric_limits<std::int16_t>::max())};
    const CounterField &start = m_start.field;
    const CounterField &step = m_step.field;
    o.startReading = start.status;
    o.stepReading = step.status;
    if (start.status == CounterField::Ok)
        o.rule.DebutPas = std::int32_t(start.value);
    if (step.status == CounterField::Ok)
        o.rule.Pas = std::int16_t(step.value);
    return o;
}

NameComputer::Result RenameList::compute(const QString &path, const QString &oldName, const QString &folder,
                                         int position) {
    // The options and the counter fields rarely change between two files:
    // the computer takes them again only when they did, and they are
    // compared only when they may have.
    if (m_optionsTouched &&
        (!m_given || m_txtDebut != m_given->start || m_txtPas != m_given->step || !(m_options == m_given->options))) {
        const NamingOptions effective = effectiveOptions();
        // The rule keeps the counter the fields say, as the settings store it.
        if (!effective.continueMode() && effective.startReading == CounterField::Ok &&
            effective.stepReading == CounterField::Ok) {
            m_options.rule.DebutPas = effective.rule.DebutPas;
            m_options.rule.Pas = effective.rule.Pas;
        }
        m_computer.setOptions(effective);
        m_given = Given{m_options, m_txtDebut, m_txtPas};
    }
    m_optionsTouched = false;
    return m_computer.compute(path, oldName, folder, position);
}

QString RenameList::countLabelText() const {
    return i18n::Message(19, QString::number(m_model->count()));
}

void RenameList::clearList() {
    m_model->clear();
    m_identical.reset();
    m_stale = false;
    emit countLabelChanged(countLabelText());
}

void RenameList::reportFailure() {
    int number = 0;
    QString description;
    currentError(number, description);
    // One box per distinct fault and recomputation: a rule that fails for
    // every file must not open thousands of boxes.
    if (m_busy) {
        const QString key = QString::number(number) + QLatin1Char(' ') + description;
        if (m_reported.contains(key))
            return;
        m_reported.insert(key);
    }
    reportPlainError(number, description, QStringLiteral("affiche_nom"), QStringLiteral("frmMain"));
}

bool RenameList::affiche_nom(const QString &path) {
    return addPath(path, nullptr);
}

void RenameList::noteFirstRow() {
    // The first row of an empty list is named with the options as they are:
    // the list's names are as fresh as they can be.
    if (m_model->count() == 0) {
        m_namedWith = effectiveOptions();
        m_stale = false;
    }
}

bool RenameList::addPath(const QString &path, std::optional<PathParts> *split) {
    // A file added by an event handled while the list is being rebuilt (a
    // drop during a folder scan) joins the list once the rebuild is done.
    if (m_busy) {
        m_deferred.append(path);
        return false;
    }
    noteFirstRow();
    QString oldName, folder;
    try {
        oldName = mTavCommon::TavGetFileName(path);
        folder = mTavCommon::TavGetPath(path);
    } catch (...) {
        // Without the path helpers the row still joins the list, with no new name.
        reportFailure();
        const PathParts parts = splitPath(path);
        m_model->appendFile(parts.folder, parts.name);
        return false;
    }
    if (split)
        *split = PathParts{folder, oldName};
    return appendAndCompute(path, folder, oldName);
}

bool RenameList::addFolderFiles(const QString &folder, const QStringList &names) {
    // The path helpers cut the first file's path; once they have cut one
    // into this folder and its name, every other name of the folder (a name
    // holds no "/") is cut there too, and its path need not be made.
    bool cut = false;
    if (m_options.rule.IncrementeFichierIdentique != 0)
        m_identical.reserve(m_identical.size() + names.size());
    m_model->reserve(m_model->count() + int(names.size()));
    // The rows come with one reset of the model, not a signal each.
    struct Batch {
        RenameListModel *model;
        explicit Batch(RenameListModel *m) : model(m) { model->beginBatch(); }
        ~Batch() { model->endBatch(); }
    } batch(m_model);
    for (const QString &name : names) {
        if (cut && !m_busy && !name.isEmpty() && !name.contains(QLatin1Char('/'))) {
            noteFirstRow();
            if (appendAndCompute(QString(), folder, name))
                return true;
            continue;
        }
        std::optional<PathParts> parts;
        if (addPath(folder + QLatin1Char('/') + name, &parts))
            return true;
        cut = parts && parts->folder == folder && parts->name == name;
    }
    return false;
}

bool RenameList::appendAndCompute(const QString &path, const QString &folder, const QString &oldName) {
    const int row = m_model->appendFile(folder, oldName);
    RowName named = nameFile(path, folder, oldName, row + 1, m_model->layoutGeneration());
    if (named.outcome == RowName::Stop)
        return true;
    if (named.outcome == RowName::Named) {
        m_model->setNewName(row, std::move(named.newName), std::move(named.problem), named.makesFolders);
        m_model->setSelected(row, false);
    }
    return false;
}

RenameList::RowName RenameList::nameFile(const QString &path, const QString &folder, const QString &oldName,
                                         int position, std::optional<quint64> layout) {
    RowName named;
    NameComputer::Result result;
    try {
        result = compute(path, oldName, folder, position);
        // The continue mode lets events run while it reads the folder. When
        // the list was rebuilt, emptied or reordered meanwhile, this row index
        // no longer stands for this file and the rebuild has given (or will
        // give) the file its name: the result is stale and must leave no
        // trace, neither in the row nor in the identical-names table.
        if (layout && m_model->layoutGeneration() != *layout) {
            named.outcome = RowName::Moved;
            return named;
        }
        numberIdentical(result);
    } catch (...) {
        reportFailure();
        return named;
    }
    if (result.stop) {
        named.outcome = RowName::Stop;
        return named;
    }
    if (!result.problem.isEmpty())
        emit nameNotMade(path.isNull() ? folder + QLatin1Char('/') + oldName : path, result.problem);
    named.outcome = RowName::Named;
    named.problem = result.marker               ? QString()
                    : !result.problem.isEmpty() ? std::move(result.problem)
                                                : newNameProblem(result.newName, result.makesFolders);
    named.newName = std::move(result.newName);
    named.makesFolders = result.makesFolders;
    return named;
}

NameComputer::Result RenameList::computeNewName(const QString &path, int position) {
    NameComputer::Result c = compute(path, mTavCommon::TavGetFileName(path), mTavCommon::TavGetPath(path), position);
    if (!c.marker && !c.stop && c.problem.isEmpty() && m_options.rule.IncrementeFichierIdentique != 0)
        c.newName = m_identical.peek(c.newName);
    return c;
}

void RenameList::numberIdentical(NameComputer::Result &c) {
    if (!c.marker && !c.stop && c.problem.isEmpty() && m_options.rule.IncrementeFichierIdentique != 0)
        m_identical.numberInPlace(c.newName);
}

void RenameList::update_names() {
    if (m_busy) {
        m_refreshAsked = true;
        return;
    }
    m_identical.reset();
    m_busy = true;
    m_computer.beginRun();
    m_reported.clear();
    frontEnd().objetOnOff(false, false, false);

    rebuildUntilSettled();
    m_computer.endRun();
    addDeferred();

    emit countLabelChanged(countLabelText());
    m_reported.clear();
    m_busy = false;
    frontEnd().objetOnOff(true, false, false);
}

void RenameList::rebuildUntilSettled() {
    // A refresh asked for while this one let events run has returned at once.
    // When the rule or a setting changed meanwhile, the rows computed before
    // the change would show another rule's names than the rows after it, so
    // the list is rebuilt again (a bounded number of times); so it is when
    // rows were removed or moved meanwhile.
    for (int pass = 0; pass < 4; ++pass) {
        m_refreshAsked = false;
        const NamingOptions before = effectiveOptions();
        const bool placed = rebuildRows();
        if (placed && (!m_refreshAsked || effectiveOptions() == before))
            break;
        if (!placed)
            m_stale = true; // the rows keep older names: a rename computes them again first
        m_identical.reset();
        m_reported.clear();
    }
}

void RenameList::addDeferred() {
    // Files added meanwhile, in the order they came.
    m_busy = false;
    while (!m_deferred.isEmpty())
        if (affiche_nom(m_deferred.takeFirst()))
            m_deferred.clear();
    m_busy = true;
}

bool RenameList::namesStale() const {
    return m_model->count() > 0 && (m_stale || effectiveOptions() != m_namedWith);
}

void RenameList::refreshStale() {
    if (!namesStale() || m_busy)
        return;
    m_forceRefresh = true;
    update_names();
    m_forceRefresh = false;
}

bool RenameList::rebuildRows() {
    const int rows = m_model->count();
    if (rows > 0 && !m_autoRefresh && !m_forceRefresh) {
        m_stale = true;
        return true;
    }
    m_namedWith = effectiveOptions();
    m_stale = false;
    if (rows == 0)
        return true;
    const bool progress = rows > 1;
    if (progress)
        frontEnd().progressStart(rows);
    // Every row's file is noted as its folder and old name (the parts
    // affiche_nom would split its full path into).
    QList<FileEntry> noted = m_model->entries();
    const quint64 layout = m_model->layoutGeneration();
    if (patternUsesMetadata(m_options.rule.Regle)) {
        QStringList paths;
        paths.reserve(noted.size());
        for (const FileEntry &e : noted)
            paths.append(e.fullPath());
        m_computer.expect(paths);
    }
    // The rows are named aside and take their new names together, so that
    // the window's events run between rows while the list still shows every
    // name as it was.
    QList<FileEntry> named;
    named.reserve(rows);
    m_identical.reserve(rows);
    bool stopped = false;
    for (int i = 0; i < rows; ++i) {
        if (progress)
            frontEnd().progressStep(i + 1);
        if ((i & 63) == 63)
            frontEnd().processEvents();
        const FileEntry &from = noted.at(i);
        FileEntry &e = named.emplaceBack(from.oldName, from.folder);
        // The files after the one that stopped stay listed, without a new
        // name, so that nothing leaves the list unasked.
        if (stopped)
            continue;
        RowName r = nameFile(QString(), e.folder, e.oldName, i + 1, std::nullopt);
        if (r.outcome == RowName::Stop) {
            stopped = true;
        } else if (r.outcome == RowName::Named) {
            e.newName = std::move(r.newName);
            e.nameProblem = std::move(r.problem);
            e.makesFolders = r.makesFolders;
        }
    }
    // Rows removed or moved while events ran: these names are not theirs.
    const bool placed = m_model->layoutGeneration() == layout && m_model->count() == rows;
    noted = {}; // the list's own rows, which it frees aside when it takes the new ones
    if (placed)
        m_model->takeNewNames(std::move(named));
    if (progress)
        frontEnd().progressEnd();
    // The list laid out again is shown before whatever comes next.
    if (rows >= 64)
        frontEnd().processEvents();
    return placed;
}

} // namespace tav
