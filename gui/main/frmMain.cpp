#include "gui/main/frmMain.h"

#include "gui/dialogs/frmAboutCredits.h"
#include "gui/dialogs/frmOption.h"
#include "gui/dialogs/frmRegex.h"
#include "gui/main/BrowserPane.h"
#include "gui/main/PaneParts.h"
#include "gui/main/RenamePane.h"
#include "gui/main/RulePane.h"
#include "gui/main/TokenPane.h"
#include "gui/main/WindowPlacement.h"

#include "core/app/MainController.h"
#include "core/base/Twips.h"
#include "core/base/mTavCommon.h"
#include "core/filelist/RenameListModel.h"
#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/rename/RenameCommand.h"
#include "core/rename/RenameHistory.h"
#include "core/settings/SavedRules.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/CHelp.h"
#include "gui/i18n/Translate.h"
#include "gui/main/frmGLQuitter.h"
#include "gui/main/frmMemoriseRegle.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace tav {

frmMain::frmMain(MainController *controller, QWidget *parent) : QMainWindow(parent), m_controller(controller) {
    buildUi();
    setMinimumSize(twipsToPixels(15240), twipsToPixels(10600));
    m_rename->setModel(controller->model());
    wire();
}

frmMain::~frmMain() {
    if (m_exif)
        m_exif->setModeChangedHandler({});
    // The panes are destroyed after this body, and their rule box still
    // signals its lost focus then: nothing may reach this half-destroyed
    // window any more.
    const QList<QObject *> children = findChildren<QObject *>();
    for (QObject *child : children)
        child->disconnect(this);
    if (m_controller)
        m_controller->disconnect(this);
}

void frmMain::buildUi() {
    setObjectName(QStringLiteral("frmMain"));
    auto *central = new QWidget;
    auto *main = new QVBoxLayout(central);
    main->setContentsMargins(6, 6, 6, 6);

    auto *top = new QSplitter(Qt::Horizontal);
    top->setObjectName(QStringLiteral("splitTop"));
    top->addWidget(m_browser = new BrowserPane);
    top->addWidget(m_rename = new RenamePane);
    top->setStretchFactor(0, 5);
    top->setStretchFactor(1, 6);
    // The lists above, the rule and the tokens below: the user gives the
    // lists the height they want, and it is kept.
    auto *whole = new QSplitter(Qt::Vertical);
    whole->setObjectName(QStringLiteral("splitMain"));
    whole->setChildrenCollapsible(false);
    whole->addWidget(top);
    auto *below = new QWidget;
    auto *belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(0, 0, 0, 0);
    belowLayout->addWidget(m_rule = new RulePane);
    belowLayout->addWidget(m_tokens = new TokenPane(this));
    whole->addWidget(below);
    whole->setStretchFactor(0, 1);
    whole->setStretchFactor(1, 0);
    main->addWidget(whole, 1);
    main->addWidget(buildCommandBar());
    setCentralWidget(central);
}

QGroupBox *frmMain::buildCommandBar() {
    using pane::button;
    Frame5 = pane::named(new QGroupBox, "Frame5");
    Frame5->setFlat(true);
    auto *h = new QHBoxLayout(Frame5);
    h->setContentsMargins(0, 0, 0, 0);
    ProgressBar1 = pane::named(new QProgressBar, "ProgressBar1");
    ProgressBar1->setVisible(false);
    // What the last rename did; long texts are cut, the tip shows them whole.
    lblStatus = pane::named(new QLabel, "lblStatus");
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdStopAction = button("cmdStopAction", QStringLiteral("Arrêter"), QStringLiteral("Arrêter l'ajout (Échap)"));
    cmdStopAction->setVisible(false);
    cmdRenommer =
        button("cmdRenommer", QStringLiteral("Renommer"), QStringLiteral("Renommer les fichiers de la liste"));
    cmdRenommerStop = button("cmdRenommerStop", QStringLiteral("Arrêter le renommage"), QString());
    cmdRenommerStop->setVisible(false);
    cmdAnnulerRenommage =
        button("cmdAnnulerRenommage", undoMessage(MsgUndoCommand, "Undo the last rename"),
               undoMessage(MsgUndoTip, "Put the files of the last rename back under their old names"));
    cmdAnnulerRenommage->setEnabled(false);
    QFont bold = cmdRenommer->font();
    bold.setBold(true);
    cmdRenommer->setFont(bold);
    cmdRenommer->setMinimumWidth(140);
    cmdOption = button("cmdOption", QStringLiteral("Options"), QString());
    cmdAbout = button("cmdAbout", QStringLiteral("À propos"), QString());
    cmdAide = button("cmdAide", QStringLiteral("Aide"), QString());
    cmdForum = button("cmdForum", QStringLiteral("Forum"), QString());
    cmdQuitter = button("cmdQuitter", QStringLiteral("Quitter"), QString());
    // The forum button needs the forum's address: hidden rather than doing nothing.
    cmdForum->setVisible(!help::forumUrl().isEmpty());
    h->addWidget(ProgressBar1, 1);
    h->addWidget(lblStatus, 1);
    h->addWidget(cmdStopAction);
    h->addStretch(0);
    h->addWidget(cmdRenommer);
    h->addWidget(cmdRenommerStop);
    h->addWidget(cmdAnnulerRenommage);
    h->addSpacing(24);
    for (QPushButton *b : {cmdOption, cmdAbout, cmdAide, cmdForum, cmdQuitter})
        h->addWidget(b);
    return Frame5;
}

namespace {

QTimer *namedTimer(QObject *parent, const char *name, int interval) {
    auto *t = new QTimer(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setInterval(interval);
    return t;
}

} // namespace

void frmMain::wire() {
    Timer_update = namedTimer(this, "Timer_update", 1000);
    Timer_Escape = namedTimer(this, "Timer_Escape", 100);
    wireRulePane();
    wireRuleOptions();
    wireTokenPane();
    wireRenamePane();
    wireBrowserPane();
    wireCommandBar();
    wireLongOperations();
    connect(m_controller, &MainController::titleChanged, this, &QWidget::setWindowTitle);
    connect(m_controller, &MainController::ruleFieldsChanged, this, &frmMain::loadFromSettings);
}

// The rule box, the saved rules, the counter fields and the comment.
void frmMain::wireRulePane() {
    MainController *c = m_controller;
    RulePane *p = m_rule;
    connect(p, &RulePane::ruleEdited, c, &MainController::ruleTextChanged);
    connect(p, &RulePane::ruleEdited, this, &frmMain::clearStatus);
    connect(p, &RulePane::caretMoved, c, &MainController::caretTick);
    connect(p, &RulePane::ruleFocusIn, this, [this](const QString &text, int caret) {
        m_controller->ruleFocusIn(text);
        m_controller->caretTick(caret);
        Timer_update->start();
    });
    connect(p, &RulePane::ruleFocusOut, this, [this](const QString &text) {
        Timer_update->stop();
        m_controller->ruleFocusOut(text);
    });
    // No recomputation starts inside another one: a change typed meanwhile
    // waits for the next tick.
    connect(Timer_update, &QTimer::timeout, this, [this] {
        if (!m_commandsOff)
            m_controller->updateTick();
    });
    connect(p, &RulePane::savedRuleChosen, c, &MainController::chooseSavedRule);
    connect(c, &MainController::ruleTextSet, this, [this](const QString &text, int caret) {
        clearStatus();
        m_rule->setRuleText(text, caret);
    });
    connect(p, &RulePane::rememberRuleClicked, c, &MainController::cmdPrendrePlus_Click);
    connect(p, &RulePane::forgetRuleClicked, c, &MainController::cmdPrendreMoins_Click);
    connect(p, &RulePane::forgetAllRulesClicked, c, &MainController::cmdPrendreSupprimer_Click);
    connect(c, &MainController::commentLabelChanged, p, &RulePane::setComment);
    connect(c, &MainController::ruleCheckChanged, p, &RulePane::setRuleCheck);
    connect(c, &MainController::savedRulesChanged, p, &RulePane::setSavedRules);
    connect(p, &RulePane::commentEditRequested, this, &frmMain::editComment);
    connect(p, &RulePane::counterFieldLeft, this, [this](RulePane::CounterField field, const QString &text) {
        using F = RulePane::CounterField;
        const QString fixed = field == F::Start  ? m_controller->txtDebut_LostFocus(text)
                              : field == F::Step ? m_controller->txtPas_LostFocus(text)
                                                 : m_controller->txtNbPasse_LostFocus(text);
        m_rule->setCounterField(field, fixed);
    });
}

// The options of the rule, each to the controller's setter.
void frmMain::wireRuleOptions() {
    using O = RulePane::Option;
    connect(m_rule, &RulePane::optionToggled, this, [this](O option, bool on) {
        MainController *c = m_controller;
        switch (option) {
        case O::Trim:
            return c->setTrim(on);
        case O::UpperFirstChar:
            return c->setUpperFirstChar(on);
        case O::UpperEachWord:
            return c->setUpperEachWord(on);
        case O::AutoIncrement:
            return c->setAutoIncrement(on);
        case O::Forbidden:
            return c->setForbidden(on);
        case O::Extension:
            return c->setExtensionChecked(on);
        case O::AutoRefresh: {
            const QList<int> selected = selectedRows();
            c->setAutoRefresh(on);
            if (on)
                emit c->selectRows(selected);
            return;
        }
        case O::Preview:
            c->settings().VisualiserImage = on ? 1 : 0;
            return m_browser->setPreviewOn(on, true);
        }
    });
    connect(m_rule, &RulePane::extensionTextChanged, m_controller, &MainController::setExtensionText);
    connect(m_rule, &RulePane::caseChosen, m_controller, &MainController::setCaseOption);
}

// Token labels insert their token; the builders write their rule.
void frmMain::wireTokenPane() {
    MainController *c = m_controller;
    connect(m_tokens, &TokenPane::tokenClicked, c, &MainController::insertToken);
    connect(m_tokens, &TokenPane::replaceByPositionRequested, c, &MainController::cmdRepPos_Click);
    connect(m_tokens, &TokenPane::replaceTextRequested, c, &MainController::cmdRepStr_Click);
    connect(m_tokens, &TokenPane::regexBuilderRequested, this, [this] {
        // The example is the selected file of the rename list, else its first.
        const QList<int> rows = selectedRows();
        const int row = rows.isEmpty() ? 0 : rows.first();
        const RenameListModel *list = m_controller->model();
        frmRegex dialog(m_controller->currentRuleText(), row < list->count() ? list->entry(row).oldName : QString(),
                        this);
        if (dialog.exec() == QDialog::Accepted)
            m_controller->writeRule(dialog.ruleText());
    });
    connect(m_tokens, &TokenPane::tipChosen, this,
            [this](const QString &tip) { m_controller->settings().Astuce = tip; });
    connect(m_tokens, &TokenPane::metadataGroupShown, this, &frmMain::showToolInUse);
    connect(m_tokens, &TokenPane::clearMetadataCacheClicked, this, [this] {
        if (m_exif)
            m_exif->cmdEffacerExif();
    });
}

// The rename list. Any change of its rows ends what the status line says.
void frmMain::wireRenamePane() {
    MainController *c = m_controller;
    connect(m_rename, &RenamePane::removeRequested, c, &MainController::cmdDel_Click);
    connect(m_rename, &RenamePane::clearRequested, c, &MainController::cmdClear_Click);
    connect(m_rename, &RenamePane::upRequested, c, &MainController::cmdUp_Click);
    connect(m_rename, &RenamePane::downRequested, c, &MainController::cmdDown_Click);
    connect(m_rename, &RenamePane::rowDragged, c, &MainController::dragRow);
    connect(m_rename, &RenamePane::pathsDropped, c, &MainController::cmdDnD_Drop);
    connect(m_rename, &RenamePane::rowPressed, this, &frmMain::previewRow);
    connect(c, &MainController::countLabelChanged, m_rename, &RenamePane::setCountText);
    connect(c, &MainController::selectRows, m_rename, &RenamePane::selectRows);
    QAbstractItemModel *rows = c->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &frmMain::clearStatus);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &frmMain::clearStatus);
    connect(rows, &QAbstractItemModel::rowsMoved, this, &frmMain::clearStatus);
    connect(rows, &QAbstractItemModel::modelReset, this, &frmMain::clearStatus);
}

// The folder browser: what it adds goes to the controller; renamed files
// keep their thumbnails, a batch's renames moving together once its files
// are all moved, before the listing shows the new names (and at its end,
// should it have failed before that).
void frmMain::wireBrowserPane() {
    MainController *c = m_controller;
    BrowserPane *p = m_browser;
    connect(p, &BrowserPane::addRequested, c, &MainController::cmdAdd_Click);
    connect(p, &BrowserPane::addAllRequested, c, &MainController::cmdAddAll_Click);
    connect(p, &BrowserPane::addHierarchyRequested, c, &MainController::mnuAddHieriachy_Click);
    connect(p, &BrowserPane::pathsDropped, c, &MainController::cmdDnD_Drop);
    connect(p, &BrowserPane::filterChanged, c, &MainController::setDisplayFilter);
    connect(p, &BrowserPane::folderChanged, this,
            [this](const QString &path) { m_controller->settings().dossierCourant = path; });
    c->setThumbnailsRenamed([p](const RenamedFiles &files) { p->noteRenamed(files); });
    connect(c, &MainController::folderListChanged, p, &BrowserPane::applyRenames);
    connect(c, &MainController::renameFinished, p, &BrowserPane::applyRenames);
    connect(c, &MainController::folderListChanged, p, &BrowserPane::relist);
    connect(this, &frmMain::thumbnailSettingsChanged, p, &BrowserPane::redrawThumbnails);
    p->setThumbnailOptions([this] {
        const Settings &s = m_controller->settings();
        ThumbnailList::Options options;
        options.draw = s.AfficherVignette != 0;
        options.types = s.FormatExtensionVignette;
        options.size = s.taillesVignette[size_t(std::clamp<int>(s.TailleVignette, 0, 2))].toSize();
        return options;
    });
}

void frmMain::wireCommandBar() {
    MainController *c = m_controller;
    connect(c, &MainController::renameFinished, this, [this] { showRenameOutcome(m_controller->lastRename()); });
    connect(cmdStopAction, &QPushButton::clicked, c, &MainController::cmdStopAction_Click);
    connect(cmdRenommer, &QPushButton::clicked, c, &MainController::cmdRenommer_Click);
    connect(cmdRenommerStop, &QPushButton::clicked, c, &MainController::cmdRenommerStop_Click);
    connect(cmdAnnulerRenommage, &QPushButton::clicked, c, &MainController::cmdAnnulerRenommage_Click);
    // Ctrl+Z undoes the last rename, except in a text field, which takes it for its own undo.
    auto *undoKey = new QShortcut(QKeySequence::Undo, this);
    undoKey->setContext(Qt::WindowShortcut);
    connect(undoKey, &QShortcut::activated, this, [this] {
        if (cmdAnnulerRenommage->isEnabled() && cmdAnnulerRenommage->isVisible())
            cmdAnnulerRenommage->click();
    });
    connect(c, &MainController::renameFinished, this, &frmMain::updateUndoCommand);
    connect(c, &MainController::undoFinished, this, &frmMain::updateUndoCommand);
    // What the status line said of the rename no longer holds after its undo.
    connect(c, &MainController::undoFinished, this, [this] {
        const UndoReport &undo = m_controller->lastUndo();
        if (!undo.started) {
            clearStatus();
            return;
        }
        const QString text =
            undoMessage(MsgUndoDone, "%s file(s) put back under their old name.", QString::number(undo.renamed))
                .simplified();
        lblStatus->setText(text);
        lblStatus->setToolTip(text);
    });
    connect(cmdQuitter, &QPushButton::clicked, this, &frmMain::cmdQuitter_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
    connect(cmdAide, &QPushButton::clicked, this, [] { CHelp::show(help::TopicMainWindow); });
    connect(cmdForum, &QPushButton::clicked, this, [] { CHelp::urlOpener()(help::forumUrl()); });
    connect(cmdOption, &QPushButton::clicked, this, &frmMain::cmdOption_Click);
}

// Escape ends an adding operation; it is polled while one runs.
void frmMain::wireLongOperations() {
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escape->setContext(Qt::WindowShortcut);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, [this] { m_escapePressed = true; });
    connect(m_controller, &MainController::actionRunningChanged, this, [this](bool running) {
        m_rename->setActionRunning(running);
        m_escapePressed = false;
        m_escape->setEnabled(running);
        if (running)
            Timer_Escape->start();
        else
            Timer_Escape->stop();
    });
    connect(Timer_Escape, &QTimer::timeout, this, [this] {
        if (m_escapePressed) {
            m_escapePressed = false;
            m_controller->cmdStopAction_Click();
        }
    });
}

void frmMain::setMetadataReader(ExifReader *reader) {
    if (m_exif)
        m_exif->setModeChangedHandler({});
    m_exif = reader;
    m_browser->setMetadataReader(reader);
    if (reader)
        reader->setModeChangedHandler([this](int) { showToolInUse(); });
    showToolInUse();
}

void frmMain::showToolInUse() {
    const int mode = m_controller->settings().OutilExifChoisi;
    QString text = Exif::toolInUseText(mode);
    if (m_exif) {
        // The tools the mode runs that cannot be found, with their Debian package.
        for (ExifReader::Tool tool : Exif::toolsOfMode(mode)) {
            const QString path = m_exif->toolPath(tool);
            if (path.isEmpty() || !QFileInfo(path).isExecutable())
                text += QStringLiteral(" \u2013 ") + Exif::toolMissingShortText(tool);
        }
    }
    m_tokens->setToolText(text);
}

void frmMain::showMetadataValue(int index, const QString &text) {
    m_tokens->setMetadataValue(index, text);
}

void frmMain::previewRow(int row) {
    if (row < 0 || row >= m_controller->model()->rowCount())
        return;
    const FileEntry &entry = m_controller->model()->entry(row);
    m_browser->previewFile(QDir(entry.folder).filePath(entry.oldName),
                           QStringLiteral("LstRename_MouseDown (Feuille frmMain)"));
}

void frmMain::progressStart(int maximum) {
    ProgressBar1->setRange(0, std::max(maximum, 1));
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(true);
    m_progressMoved.invalidate();
    m_progressCheckAt = 0;
}

// Moving the bar measures its text and paints it at once, with the frame
// around it (about half a millisecond). A step of a thousandth of the range
// is finer than the bar can show, and moves closer than 25 ms apart finer
// than the eye follows: those are skipped, save the end and a move back. The
// clock is read once a thousandth at most: loops call this for every file.
void frmMain::progressStep(int value) {
    const int maximum = ProgressBar1->maximum();
    const int shown = std::min(value, maximum);
    if (shown != maximum && shown >= ProgressBar1->value()) {
        if (shown < m_progressCheckAt)
            return;
        m_progressCheckAt = shown + std::max(1, maximum / 1000);
        if (m_progressMoved.isValid() && m_progressMoved.elapsed() < 25)
            return;
    }
    ProgressBar1->setValue(shown);
    m_progressMoved.start();
    m_progressCheckAt = shown + std::max(1, maximum / 1000);
}

void frmMain::progressEnd() {
    ProgressBar1->setVisible(false);
    ProgressBar1->resetFormat();
}

void frmMain::progressText(const QString &text) {
    if (text.isEmpty())
        ProgressBar1->resetFormat();
    else
        ProgressBar1->setFormat(text + QStringLiteral(" %p%"));
}

void frmMain::comeForward() {
    showNormal();
    raise();
    activateWindow();
}

namespace {

// The folder the tree starts in: documents, the last folder, or a chosen one.
// The last folder is the one stored at the previous close.
QString storedStartFolder(const Settings &s) {
    switch (s.DossierDepart) {
    case 0:
        return mTavCommon::TavCheminDossier(0, 5);
    case 1:
        return s.dossierCourant.isEmpty() ? s.DossierSpecifique : s.dossierCourant;
    default:
        return s.DossierSpecifique;
    }
}

} // namespace

void frmMain::openStartFolder() {
    const Settings &s = m_controller->settings();
    m_startFolderStored = storedStartFolder(s);
    m_startFolderShown = m_startFolderStored;
    if (m_startFolderShown.isEmpty() || !QFileInfo(m_startFolderShown).isDir())
        m_startFolderShown = QDir::homePath();
    m_browser->setNaturalOrder(s.OrdreNaturel != 0);
    m_browser->open(m_startFolderShown, s.FiltreAffichage);
}

void frmMain::openPath(const QString &path) {
    m_browser->goTo(path);
}

void frmMain::openPaths(const QStringList &paths) {
    if (paths.isEmpty())
        return;
    const QStringList missing = m_controller->openPaths(paths);
    for (const QString &p : paths) {
        if (missing.contains(p))
            continue;
        const QFileInfo info(p);
        openPath(info.isDir() ? info.absoluteFilePath() : info.absolutePath());
        break;
    }
    for (const QString &p : missing)
        frontEnd().msgBox(i18n::Message(88, p), 0, QStringLiteral("Message"));
}

void frmMain::cmdAbout_Click() {
    frmAboutCredits box(this);
    box.setDependencyHelpHandler([] { CHelp::show(help::TopicDependencies); });
    box.exec();
}

void frmMain::cmdOption_Click() {
    frmOption::Services services;
    services.retranslateMain = [this] { retranslate(); };
    services.openHelp = [](int topic) { CHelp::show(topic); };
    services.clearMetadataCache = [this] {
        if (m_exif)
            m_exif->cmdEffacerExif();
    };
    frmOption dialog(m_controller, m_exif, services, this);
    connect(&dialog, &frmOption::thumbnailSettingsChanged, this, &frmMain::thumbnailSettingsChanged);
    dialog.exec();
    m_browser->setNaturalOrder(m_controller->settings().OrdreNaturel != 0);
    showToolInUse();
}

void frmMain::translateUndoCommand() {
    cmdAnnulerRenommage->setText(undoMessage(MsgUndoCommand, "Undo the last rename"));
    cmdAnnulerRenommage->setToolTip(
        undoMessage(MsgUndoTip, "Put the files of the last rename back under their old names") +
        QStringLiteral(" (%1)").arg(QKeySequence(QKeySequence::Undo).toString(QKeySequence::NativeText)));
}

void frmMain::nameStatusLine() {
    lblStatus->setAccessibleName(
        i18n::getText(QStringLiteral("frmMain"), QStringLiteral("AccessibleStatus"), QStringLiteral("Ligne d'état")));
}

void frmMain::retranslate() {
    nameStatusLine();
    i18n::translateForm(this);
    translateUndoCommand();
    m_rule->setRuleCheck(m_controller->ruleCheckText());
    m_tokens->retranslateTips();
    m_tokens->fitSize();
    m_browser->retranslate();
    m_rename->setCountText(m_controller->countLabelText());
    m_rule->setComment(m_controller->commentLabel());
    showToolInUse();
    updateTitle();
    // The other windows open now (the help window, a dialog over this one)
    // follow at once rather than at the next start; each knows its own texts.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible()) {
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(w, &change);
        }
}

QList<int> frmMain::selectedRows() const {
    return m_rename->selectedRows();
}

void frmMain::loadFromSettings() {
    const Settings &s = m_controller->settings();
    const RenameList &e = m_controller->renameList();
    const Rule &r = e.rule();
    RulePane::Fields f;
    f.start = e.txtDebut();
    f.step = e.txtPas();
    f.preview = s.VisualiserImage != 0;
    f.extensionOn = r.ModifieExtension != 0;
    f.extension = r.ModifieExtensionValeur;
    f.forbidden = r.RemplacerCaractereInterdit == 1;
    f.autoRefresh = s.MettreAJour != 0;
    f.autoIncrement = r.IncrementeFichierIdentique != 0;
    f.trim = r.EffaceEspace != 0;
    f.upperFirstChar = r.PremierCaractereEnMajuscule != 0;
    f.upperEachWord = r.PremierCaractereEnMajusculePourChaqueMot != 0;
    m_rule->showFields(f);
    m_browser->setPreviewOn(f.preview, false);
}

void frmMain::loadPictures() {
    const std::pair<const char *, const char *> pictures[] = {{"cmdOption", "options"},
                                                              {"cmdAbout", "about"},
                                                              {"cmdAide", "manuel"},
                                                              {"cmdQuitter", "quitter"},
                                                              {"cmdAdd", "ajouter"},
                                                              {"cmdAddAll", "tout_ajouter"},
                                                              {"cmdDel", "retirer"},
                                                              {"cmdClear", "tout_retirer"},
                                                              {"cmdStopAction", "non"},
                                                              {"cmdRefresh", "actualiser"},
                                                              {"cmdRefreshFolder", "actualiser"},
                                                              {"cmdForum", "forum"}};
    for (const auto &[button, picture] : pictures)
        if (auto *b = findChild<QPushButton *>(QString::fromLatin1(button)))
            i18n::setButtonPictures(b, QString::fromLatin1(picture));
}

void frmMain::Form_Load() {
    m_controller->setUpdatesEnabled(false);
    Settings &s = m_controller->settings();
    loadFromSettings();
    m_rule->setRuleText(m_controller->renameList().rule().Regle);
    m_rule->setComment(m_controller->commentLabel());
    m_rule->setRuleCheck(m_controller->ruleCheckText());
    loadPictures();
    m_browser->nameViews();
    nameStatusLine();
    i18n::translateForm(this);
    translateUndoCommand();
    updateUndoCommand();

    m_browser->showFolderCount();
    m_rename->setCountText(i18n::Message(19, QStringLiteral("0")));
    m_tokens->fillTips(s.Astuce);
    m_tokens->fitSize();
    // The two builders as they were left.
    m_tokens->loadBuilders(s);
    m_browser->setFilter(s.FiltreAffichage);
    restoreGeometryFromSettings();
    updateTitle();
}

namespace {

// The free areas of the screens that exist now.
QList<QRect> screenAreas() {
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

const QString MaximisedKey = QStringLiteral("frmMain/maximised");

} // namespace

// Geometry, in twips: the left and top of the window's frame and the size of
// the window inside it, so that a restart puts it back where it was. The
// first start (the file still holds the default geometry) takes most of the
// screen rather than the designed minimum. A place on a screen that is gone
// or now smaller comes back onto a screen that exists.
void frmMain::restoreGeometryFromSettings() {
    const Settings &s = m_controller->settings();
    const Settings defaults;
    const bool firstStart =
        s.FenetreLargeur == defaults.FenetreLargeur && s.FenetreHauteur == defaults.FenetreHauteur &&
        s.PositionFenetreLeft == defaults.PositionFenetreLeft && s.PositionFenetreTop == defaults.PositionFenetreTop;
    const QScreen *display = screen() ? screen() : QGuiApplication::primaryScreen();
    QRect wanted;
    if (firstStart && display) {
        const QRect free = display->availableGeometry();
        const QSize size(std::max(free.width() * 4 / 5, minimumWidth()),
                         std::max(free.height() * 4 / 5, minimumHeight()));
        wanted = QRect(free.center() - QPoint(size.width() / 2, size.height() / 2), size);
    } else {
        wanted = QRect(twipsToPixels(s.PositionFenetreLeft), twipsToPixels(s.PositionFenetreTop),
                       std::max(twipsToPixels(s.FenetreLargeur), minimumWidth()),
                       std::max(twipsToPixels(s.FenetreHauteur), minimumHeight()));
    }
    wanted = placeOnScreens(wanted, screenAreas());
    resize(wanted.size());
    move(wanted.topLeft());
    m_normalPlace = wanted;
    const bool maximised = !firstStart && modIniFile::userStore().value(MaximisedKey).toBool();
    setWindowState(maximised ? (windowState() | Qt::WindowMaximized) : (windowState() & ~Qt::WindowMaximized));
}

QRect frmMain::normalPlace() const {
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return QRect(pos(), size());
    // Maximised: the place it had before, its frame where the frame was.
    const QRect normal = normalGeometry();
    if (!normal.isValid())
        return m_normalPlace;
    return QRect(normal.topLeft() - m_frameOffset, normal.size());
}

void frmMain::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    noteNormalPlace();
}

void frmMain::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    noteNormalPlace();
}

void frmMain::noteNormalPlace() {
    if (!isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
        return;
    // The window manager's frame arrives after the window shows.
    if (m_fitFramePending && frameGeometry() != geometry()) {
        m_fitFramePending = false;
        fitFrameOnScreen();
    }
    m_normalPlace = QRect(pos(), size());
    m_frameOffset = geometry().topLeft() - pos();
}

void frmMain::fitFrameOnScreen() {
    // The place restored was the frame's corner and the inside's size: with
    // its title bar the frame may reach past the screen's edge (the buttons at
    // the bottom out of reach). Once the frame is known (the first move or
    // resize that shows it), all of it goes on screen.
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return;
    const QRect frame = frameGeometry();
    const QRect placed = placeOnScreens(frame, screenAreas());
    if (placed == frame)
        return;
    resize(size() - (frame.size() - placed.size()));
    move(placed.topLeft());
}

void frmMain::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // The frame is known once the window shows.
    QTimer::singleShot(0, this, &frmMain::noteNormalPlace);
    if (m_activated)
        return;
    m_fitFramePending = true;
    QTimer::singleShot(2000, this, [this] { m_fitFramePending = false; });
    // First activation: the rename list gets its columns, then names may be computed.
    m_activated = true;
    m_rename->fitColumns();
    restoreViewState();
    m_controller->renameList().clearList();
    m_controller->setUpdatesEnabled(true);
}

namespace {

// Splitter positions and column widths the user set: kept in the per-user
// store beside the settings file, which has no keys for them.
QSettings viewStore() {
    return modIniFile::userStore();
}

} // namespace

void frmMain::restoreViewState() {
    QSettings store = viewStore();
    store.beginGroup(QStringLiteral("frmMain"));
    // Until the user moves it, the lists get at least the larger part of the height.
    if (auto *whole = findChild<QSplitter *>(QStringLiteral("splitMain"));
        whole && !store.contains(whole->objectName())) {
        const int total = whole->height();
        const int below = std::min(whole->widget(1)->sizeHint().height(), total * 2 / 5);
        whole->setSizes({total - below, below});
    }
    for (auto *split : findChildren<QSplitter *>())
        if (!split->objectName().isEmpty() && store.contains(split->objectName()))
            split->restoreState(store.value(split->objectName()).toByteArray());
    m_rename->setColumnWidths(store.value(QStringLiteral("lstrenameColumns")).toList());
}

void frmMain::saveViewState() const {
    QSettings store = viewStore();
    store.beginGroup(QStringLiteral("frmMain"));
    for (auto *split : findChildren<QSplitter *>())
        if (!split->objectName().isEmpty())
            store.setValue(split->objectName(), split->saveState());
    store.setValue(QStringLiteral("lstrenameColumns"), m_rename->columnWidths());
    store.endGroup();
    store.sync();
}

void frmMain::storeIntoSettings() {
    if (m_activated)
        saveViewState();
    Settings &s = m_controller->settings();
    m_controller->storeIntoSettings();
    m_tokens->storeInto(s);
    s.FiltreAffichage = m_browser->filter();
    s.VisualiserImage = m_rule->isChecked(RulePane::Option::Preview) ? 1 : 0;
    s.MettreAJour = m_rule->isChecked(RulePane::Option::AutoRefresh) ? 1 : 0;
    if (m_activated) {
        const QRect g = normalPlace();
        s.PositionFenetreLeft = float(pixelsToTwips(g.x()));
        s.PositionFenetreTop = float(pixelsToTwips(g.y()));
        s.FenetreLargeur = float(pixelsToTwips(g.width()));
        s.FenetreHauteur = float(pixelsToTwips(g.height()));
        QSettings store = modIniFile::userStore();
        store.setValue(MaximisedKey, isMaximized());
    }
    if (const QString path = m_browser->folder(); !path.isEmpty()) {
        // A start folder that was missing showed another one; an untouched
        // tree keeps the stored folder for the next start.
        s.dossierCourant = path == m_startFolderShown && !m_startFolderStored.isEmpty() ? m_startFolderStored : path;
    }
}

// Each pane switches its own commands, so a control added to a pane is
// switched with it. What stays on: the views and the counts, the drop
// button and the tree's refresh; while the user types, the rule box; during
// an adding or a rename, the stop button of the operation with the help,
// the progress bar and the status line.
void frmMain::objetOnOff(bool enabled, bool stopShown, bool renaming) {
    if (!enabled && !m_commandsOff)
        m_focus = rememberFocus();
    // A recomputation of names while the user types leaves the rule box on,
    // with its focus, so that no key typed meanwhile is lost.
    const bool keepRuleBox = !enabled && !stopShown && !renaming && m_rule->ruleBoxHasFocus();
    m_browser->switchCommands(enabled);
    m_rename->switchCommands(enabled);
    m_rule->switchCommands(enabled, keepRuleBox);
    pane::switchCommands(m_tokens, enabled);
    switchCommandBar(enabled, stopShown, renaming);
    if (enabled) // only with a batch to undo
        cmdAnnulerRenommage->setEnabled(m_controller->canUndo());
    if (enabled)
        QApplication::restoreOverrideCursor();
    else if (!stopShown && !renaming)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!enabled) {
        // Where Qt put the focus when the focused control went off.
        if (!m_commandsOff)
            m_focus.movedTo = QApplication::focusWidget();
        m_commandsOff = true;
    } else if (m_commandsOff) {
        m_commandsOff = false;
        restoreFocus(m_focus);
        m_focus = {};
    }
}

void frmMain::switchCommandBar(bool enabled, bool stopShown, bool renaming) {
    QList<QWidget *> keep;
    if (stopShown || renaming)
        keep = {ProgressBar1, lblStatus, cmdAide, cmdForum};
    if (stopShown)
        keep << cmdStopAction;
    if (renaming)
        keep << cmdRenommerStop;
    pane::switchCommands(Frame5, enabled, keep);
    cmdStopAction->setVisible(stopShown);
    cmdRenommer->setVisible(!renaming);
    cmdRenommerStop->setVisible(renaming);
    if (stopShown)
        cmdStopAction->setEnabled(true);
    if (renaming)
        cmdRenommerStop->setEnabled(true);
}

frmMain::FocusMemo frmMain::rememberFocus() const {
    FocusMemo memo;
    memo.widget = focusWidget();
    memo.wasActive = isActiveWindow();
    const QLineEdit *rule = m_rule->ruleEdit();
    if (m_rule->isRuleBox(memo.widget)) {
        memo.ruleText = rule->text();
        memo.caret = rule->cursorPosition();
        memo.selectionStart = rule->selectionStart();
        memo.selectionLength = int(rule->selectedText().size());
    }
    return memo;
}

void frmMain::restoreFocus(const FocusMemo &memo) {
    QWidget *w = memo.widget;
    if (!w || !w->isEnabled() || !w->isVisible())
        return;
    // The user chose another control meanwhile: it keeps the focus.
    QWidget *now = QApplication::focusWidget();
    if (now && now != memo.movedTo && now->window() == this && now != w && !w->isAncestorOf(now))
        return;
    if (memo.wasActive && !isActiveWindow())
        activateWindow();
    if (!w->hasFocus())
        w->setFocus(Qt::OtherFocusReason);
    QLineEdit *rule = m_rule->ruleEdit();
    if (memo.caret >= 0 && rule->text() == memo.ruleText) {
        if (memo.selectionLength > 0 && memo.selectionStart >= 0) {
            // The caret stays at the end where the selection was made from.
            if (memo.caret == memo.selectionStart)
                rule->setSelection(memo.selectionStart + memo.selectionLength, -memo.selectionLength);
            else
                rule->setSelection(memo.selectionStart, memo.selectionLength);
        } else {
            rule->setCursorPosition(memo.caret);
        }
    }
}

void frmMain::showRenameOutcome(const RenameReport &report) {
    if (!report.started && !report.cancelled && report.error.isEmpty())
        return;
    int blocked = 0, failed = 0;
    for (const RenameLine &line : report.lines) {
        if (line.status == RenameStatus::Blocked)
            ++blocked;
        else if (line.status == RenameStatus::Failed)
            ++failed;
    }
    const QString section = QStringLiteral("frmMain");
    QString text;
    if (report.cancelled && !report.started) {
        text = i18n::getText(section, QStringLiteral("StatusCancelled"),
                             QStringLiteral("Renaming cancelled: no file was renamed."));
    } else {
        text = i18n::getText(section, QStringLiteral("StatusRenamed"), QStringLiteral("Renamed: %s"),
                             QString::number(report.renamed)) +
               QStringLiteral(", ") +
               i18n::getText(section, QStringLiteral("StatusOthers"), QStringLiteral("blocked: %s, failed: %s"),
                             QString::number(blocked), QString::number(failed));
    }
    if (!report.error.isEmpty())
        text += QStringLiteral(" \u2013 ") + report.error;
    lblStatus->setText(text);
    lblStatus->setToolTip(text);
}

void frmMain::updateUndoCommand() {
    cmdAnnulerRenommage->setEnabled(!m_commandsOff && m_controller->canUndo());
}

void frmMain::clearStatus() {
    lblStatus->clear();
    lblStatus->setToolTip(QString());
}

void frmMain::updateTitle() {
    setWindowTitle(m_controller->titleText());
}

void frmMain::cmdQuitter_Click() {
    frmGLQuitter dialog(this);
    dialog.exec();
    if (dialog.quitConfirmed())
        close();
}

void frmMain::closeEvent(QCloseEvent *event) {
    // Closing the window quits without asking; the quit button asked already.
    storeIntoSettings();
    m_controller->quit(true);
    event->accept();
    emit quitting();
}

void frmMain::editComment() {
    const auto parts = savedRules::getCommentaire(m_rule->comment());
    frmMemoriseRegle dialog(parts.comment, parts.fileTypes, this);
    if (dialog.exec() == QDialog::Accepted)
        m_controller->setComment(dialog.comment(), dialog.fileTypes());
}

} // namespace tav
