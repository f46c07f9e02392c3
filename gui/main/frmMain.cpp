#include "gui/main/frmMain.h"

#include "gui/dialogs/frmAboutCredits.h"
#include "gui/dialogs/frmOption.h"
#include "hovrix/Hovrix.h"

#include "core/app/MainController.h"
#include "core/base/Trap.h"
#include "core/base/Twips.h"
#include "core/base/mTavCommon.h"
#include "core/engine/Operators.h"
#include "core/filelist/RenameListModel.h"
#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/rename/RenameCommand.h"
#include "core/settings/SavedRules.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/CHelp.h"
#include "gui/i18n/Translate.h"
#include "gui/main/frmGLQuitter.h"
#include "gui/main/frmMemoriseRegle.h"
#include "gui/shellbrowser/FolderListModel.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"
#include "gui/widgets/ImagePreview.h"
#include "gui/widgets/ThumbnailList.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTimer>

namespace tav {

frmMain::frmMain(MainController *controller, QWidget *parent) : QMainWindow(parent), m_controller(controller) {
    buildUi();
    setMinimumSize(twipsToPixels(15240), twipsToPixels(10600));
    lstrename->setModel(controller->model());
    wire();
}

frmMain::~frmMain() {
    if (m_exif)
        m_exif->setModeChangedHandler({});
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
    MainController *c = m_controller;
    Timer_update = namedTimer(this, "Timer_update", 1000);
    Timer_Escape = namedTimer(this, "Timer_Escape", 100);
    Timer_ListView1_count = namedTimer(this, "Timer_ListView1_count", 500);

    // The rule box. The combo box takes the focus for its line edit; the
    // caret is followed as it moves, for the token labels.
    cboRenommer->installEventFilter(this);
    QLineEdit *rule = cboRenommer->lineEdit();
    connect(rule, &QLineEdit::textEdited, c, &MainController::ruleTextChanged);
    connect(rule, &QLineEdit::textEdited, this, &frmMain::clearStatus);
    connect(rule, &QLineEdit::cursorPositionChanged, c, [c](int, int now) { c->caretTick(now); });
    // No recomputation starts inside another one: a change typed meanwhile
    // waits for the next tick.
    connect(Timer_update, &QTimer::timeout, this, [this] {
        if (!m_commandsOff)
            m_controller->updateTick();
    });
    connect(cboRenommer, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { m_controller->chooseSavedRule(cboRenommer->itemText(index)); });
    connect(c, &MainController::ruleTextSet, this, [this](const QString &text, int caret) {
        clearStatus();
        QSignalBlocker block(cboRenommer);
        cboRenommer->setEditText(text);
        cboRenommer->lineEdit()->setCursorPosition(caret);
        cboRenommer->setFocus();
    });
    connect(cmdPrendrePlus, &QPushButton::clicked, c, &MainController::cmdPrendrePlus_Click);
    connect(cmdPrendreMoins, &QPushButton::clicked, c, &MainController::cmdPrendreMoins_Click);
    connect(cmdPrendreSupprimer, &QPushButton::clicked, c, &MainController::cmdPrendreSupprimer_Click);
    connect(c, &MainController::countLabelChanged, Label4, &QLabel::setText);
    connect(c, &MainController::commentLabelChanged, lblComment, &QLabel::setText);
    connect(c, &MainController::savedRulesChanged, this, [this](const QStringList &patterns) {
        const QString text = cboRenommer->currentText();
        QSignalBlocker block(cboRenommer);
        cboRenommer->clear();
        cboRenommer->addItems(patterns);
        cboRenommer->setEditText(text);
    });
    connect(c, &MainController::ruleFieldsChanged, this, &frmMain::loadFromSettings);
    connect(c, &MainController::titleChanged, this, &QWidget::setWindowTitle);
    connect(c, &MainController::selectRows, this, [this](const QList<int> &rows) {
        auto *sel = lstrename->selectionModel();
        sel->clearSelection();
        for (int r : rows)
            sel->select(static_cast<QAbstractItemModel *>(m_controller->model())->index(r, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    });
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_escape->setContext(Qt::WindowShortcut);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, [this] { m_escapePressed = true; });
    connect(c, &MainController::actionRunningChanged, this, [this](bool running) {
        lstrename->setUpdatesEnabled(!running);
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

    // Options.
    connect(chkTrim, &QCheckBox::toggled, c, &MainController::setTrim);
    connect(chkUpperFirstChar, &QCheckBox::toggled, c, &MainController::setUpperFirstChar);
    connect(chkUpperCaseFirstWord, &QCheckBox::toggled, c, &MainController::setUpperEachWord);
    connect(chkAutoIncrement, &QCheckBox::toggled, c, &MainController::setAutoIncrement);
    connect(chkInterdit, &QCheckBox::toggled, c, &MainController::setForbidden);
    connect(chkExtension, &QCheckBox::toggled, this, [this](bool on) {
        txtExtension->setEnabled(on);
        m_controller->setExtensionChecked(on);
    });
    connect(txtExtension, &QLineEdit::textChanged, c, &MainController::setExtensionText);
    for (int i = 0; i < 3; ++i)
        connect(optCasse[i], &QRadioButton::clicked, this, [this, i] { m_controller->setCaseOption(i); });
    connect(chkRefresh, &QCheckBox::toggled, this, [this](bool on) {
        const QList<int> selected = selectedRows();
        m_controller->setAutoRefresh(on);
        if (on)
            emit m_controller->selectRows(selected);
    });
    connect(chkPreview, &QCheckBox::toggled, this, &frmMain::chkPreview_Click);
    txtDebut->installEventFilter(this);
    txtPas->installEventFilter(this);
    txtNbPasse->installEventFilter(this);
    for (auto *t : txtRepPos)
        t->installEventFilter(this);
    lblComment->installEventFilter(this);

    // Builders.
    connect(cmdRepPos, &QPushButton::clicked, this, [this] {
        int way = 0, end = 0;
        for (int i = 0; i < 3; ++i)
            if (optRepPos[i]->isChecked())
                way = i;
        end = optRepPosDebutFin[1]->isChecked() ? 1 : 0;
        QStringList fields;
        for (auto *t : txtRepPos)
            fields << t->text();
        m_controller->cmdRepPos_Click(way, fields, end, txtRemplacerPos->text());
    });
    connect(cmdRepStr, &QPushButton::clicked, this, [this] {
        int way = 0;
        for (int i = 0; i < 3; ++i)
            if (optRepStr[i]->isChecked())
                way = i;
        m_controller->cmdRepStr_Click(txtRechercher->text(), txtRemplacer->text(), way);
    });
    auto enableWay = [this] {
        const bool ways[3] = {optRepPos[0]->isChecked(), optRepPos[1]->isChecked(), optRepPos[2]->isChecked()};
        txtRepPos[0]->setEnabled(ways[0]);
        txtRepPos[1]->setEnabled(ways[0]);
        lblRepPos[0]->setEnabled(ways[0]);
        lblRepPos[1]->setEnabled(ways[0]);
        txtRepPos[2]->setEnabled(ways[1]);
        lblRepPos[2]->setEnabled(ways[1]);
        txtRepPos[3]->setEnabled(ways[2]);
        lblRepPos[3]->setEnabled(ways[2]);
    };
    for (auto *o : optRepPos)
        connect(o, &QRadioButton::toggled, this, enableWay);
    enableWay();
    for (int i = 0; i < 3; ++i)
        connect(optRepStr[i], &QRadioButton::toggled, this, [this] {
            for (int k = 0; k < 3; ++k)
                lblRepStr[k]->setEnabled(optRepStr[k]->isChecked());
        });

    // Tips list: one token group at a time.
    connect(lstAstuce, &QListWidget::itemSelectionChanged, this, &frmMain::lstAstuce_Click);

    // The rename list. Any change of its rows ends what the status line says.
    connect(cmdDel, &QPushButton::clicked, this, [this] { m_controller->cmdDel_Click(selectedRows()); });
    connect(lstrename, &QTableView::doubleClicked, this, [this] { m_controller->cmdDel_Click(selectedRows()); });
    lstrename->viewport()->installEventFilter(this);
    QAbstractItemModel *rows = c->model();
    connect(rows, &QAbstractItemModel::rowsInserted, this, &frmMain::clearStatus);
    connect(rows, &QAbstractItemModel::rowsRemoved, this, &frmMain::clearStatus);
    connect(rows, &QAbstractItemModel::rowsMoved, this, &frmMain::clearStatus);
    connect(rows, &QAbstractItemModel::modelReset, this, &frmMain::clearStatus);
    connect(c, &MainController::renameFinished, this, [this] { showRenameOutcome(m_controller->lastRename()); });
    connect(cmdClear, &QPushButton::clicked, c, &MainController::cmdClear_Click);
    connect(cmdUp, &QPushButton::clicked, this, [this] { m_controller->cmdUp_Click(selectedRows()); });
    connect(cmdDown, &QPushButton::clicked, this, [this] { m_controller->cmdDown_Click(selectedRows()); });
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
    connect(cmdQuitter, &QPushButton::clicked, this, &frmMain::cmdQuitter_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &frmMain::cmdAbout_Click);
    connect(cmdAide, &QPushButton::clicked, this, [] { CHelp::show(help::TopicMainWindow); });
    connect(cmdForum, &QPushButton::clicked, this, [] { CHelp::urlOpener()(help::forumUrl()); });
    connect(cmdOption, &QPushButton::clicked, this, &frmMain::cmdOption_Click);
    connect(cmdAddAll, &QPushButton::customContextMenuRequested, this,
            [this](const QPoint &p) { mnuPopup->popup(cmdAddAll->mapToGlobal(p)); });
    cmdAddAll->setContextMenuPolicy(Qt::CustomContextMenu);
    cmdDnD->installEventFilter(this);

    // The folder browser.
    ListView1->setOpenFilesWithDefaultProgram(false);
    connect(cmdAdd, &QPushButton::clicked, this,
            [this] { m_controller->cmdAdd_Click(ListView1->LVPath(), ListView1->selectedItemTexts()); });
    connect(ListView1, &LVExplorer::filesActivated, this,
            [this] { m_controller->cmdAdd_Click(ListView1->LVPath(), ListView1->selectedItemTexts()); });
    connect(cmdAddAll, &QPushButton::clicked, this,
            [this] { m_controller->cmdAddAll_Click(ListView1->LVPath(), ListView1->itemTexts()); });
    connect(mnuAddHieriachy, &QAction::triggered, this,
            [this] { m_controller->mnuAddHieriachy_Click(TreeView1->TVPath()); });
    connect(txtFilter, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_controller->setDisplayFilter(text);
        ListView1->setPattern(text);
        showFolderCount();
    });
    connect(cmdRefresh, &QPushButton::clicked, this, [this] { ListView1->setPattern(txtFilter->text()); });
    connect(cmdRefreshFolder, &QPushButton::clicked, this, [this] {
        const QString path = TreeView1->TVPath();
        TreeView1->refresh();
        TreeView1->setTVPath(path);
    });
    // Renamed files keep their thumbnails; a batch's renames move together
    // once its files are all moved, before the listing shows the new names
    // (and at its end, should it have failed before that).
    c->setThumbnailRenamed([this](const QString &from, const QString &to) { ListView2->noteRenamed(from, to); });
    connect(c, &MainController::folderListChanged, ListView2, &ThumbnailList::applyRenames);
    connect(c, &MainController::renameFinished, ListView2, &ThumbnailList::applyRenames);
    connect(c, &MainController::folderListChanged, ListView1, &LVExplorer::refresh);
    connect(ListView1, &LVExplorer::selectedItemsChanged, this, [this] {
        if (!chkVignette->isChecked())
            ListView1_Click();
    });
    // The thumbnails follow the listing (another folder, a new filter, a refresh).
    connect(ListView1, &LVExplorer::itemCountChanged, this, [this] {
        if (chkVignette->isChecked())
            showThumbnails();
    });
    connect(chkVignette, &QCheckBox::toggled, this, &frmMain::chkVignette_Click);
    // What is selected among the thumbnails is what the commands act on.
    connect(ListView2, &QListWidget::itemSelectionChanged, this, [this] {
        if (!chkVignette->isChecked())
            return;
        ListView1->selectItemsByText(ListView2->selectedItemTexts());
        ListView1_Click();
    });
    connect(ListView2, &QListWidget::itemActivated, this,
            [this] { m_controller->cmdAdd_Click(ListView1->LVPath(), ListView2->selectedItemTexts()); });
    connect(this, &frmMain::thumbnailSettingsChanged, this, [this] {
        ListView2->forgetBuild();
        if (chkVignette->isChecked())
            showThumbnails();
    });
    connect(Timer_ListView1_count, &QTimer::timeout, this, &frmMain::showFolderCount);
    Timer_ListView1_count->start();
    connect(TreeView1, &TVExplorer::folderChanged, this,
            [this](const QString &path) { m_controller->settings().dossierCourant = path; });
}

void frmMain::setMetadataReader(ExifReader *reader) {
    if (m_exif) {
        m_exif->setModeChangedHandler({});
        disconnect(cmdEffacerExif, nullptr, this, nullptr);
    }
    m_exif = reader;
    if (reader) {
        connect(cmdEffacerExif, &QPushButton::clicked, this, [this] { m_exif->cmdEffacerExif(); });
        reader->setModeChangedHandler([this](int) { showToolInUse(); });
    }
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
    lblExitToolUsed->setText(text);
}

void frmMain::showFolderCount() {
    QString text = i18n::Message(18, QString::number(ListView1->itemCount()));
    if (const int unshown = ListView1->unshownCount(); unshown > 0)
        text += QStringLiteral(" \u2013 ") + i18n::getText(QStringLiteral("frmMain"), QStringLiteral("StatusUnshown"),
                                                           QStringLiteral("%s name(s) not shown: not valid UTF-8"),
                                                           QString::number(unshown));
    Label2->setText(text);
}

void frmMain::chkPreview_Click(bool on) {
    m_controller->settings().VisualiserImage = on ? 1 : 0;
    if (on)
        ListView1_Click();
    else
        picturePreview->clear();
}

void frmMain::ListView1_Click() {
    if (!chkPreview->isChecked())
        return;
    // In the list shown, the item the user is on when it is selected, else
    // the first selected one.
    QString name;
    if (chkVignette->isChecked()) {
        if (const QListWidgetItem *current = ListView2->currentItem(); current && current->isSelected())
            name = current->text();
        else if (const QStringList selected = ListView2->selectedItemTexts(); !selected.isEmpty())
            name = selected.first();
    } else {
        const QModelIndex current = ListView1->currentIndex();
        if (current.isValid() && ListView1->selectionModel()->isSelected(current.siblingAtColumn(0)))
            name = ListView1->folderModel()->itemAt(current.row()).name;
        else if (const QStringList selected = ListView1->selectedItemTexts(); !selected.isEmpty())
            name = selected.first();
    }
    if (name.isEmpty())
        return;
    previewFile(QDir(ListView1->LVPath()).filePath(name), QStringLiteral("ListView1_Click (Feuille frmMain)"));
}

void frmMain::chkVignette_Click() {
    if (chkVignette->isChecked()) {
        const QStringList selected = ListView1->selectedItemTexts();
        ListView2->setVisible(true);
        ListView1->setVisible(false);
        showThumbnails();
        ListView2->selectItemsByText(selected);
    } else {
        const QStringList selected = ListView2->selectedItemTexts();
        ListView1->setVisible(true);
        ListView2->setVisible(false);
        ListView1->selectItemsByText(selected);
    }
    showFolderCount();
}

void frmMain::showThumbnails() {
    // A listing still on its way builds when it arrives.
    if (ListView1->isListing())
        return;
    const Settings &s = m_controller->settings();
    ThumbnailList::Options options;
    options.draw = s.AfficherVignette != 0;
    options.types = s.FormatExtensionVignette;
    options.size = s.taillesVignette[size_t(std::clamp<int>(s.TailleVignette, 0, 2))].toSize();
    const QStringList selected = ListView1->selectedItemTexts();
    if (ListView2->build(ListView1->LVPath(), ListView1->itemTexts(), options))
        ListView2->selectItemsByText(selected);
}

void frmMain::previewFile(const QString &path, const QString &procedure) {
    if (!chkPreview->isChecked())
        return;
    trap(procedure, [&] {
        const int angle = preview::angleOfFile(path, m_exif);
        picturePreview->setPixmap(QPixmap::fromImage(preview::previewImage(path, angle)));
    });
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
    ListView1->attach(3, QString(), s.FiltreAffichage);
    TreeView1->attach(ListView1, 0, QString(), false);
    TreeView1->setTVPath(m_startFolderShown);
    showFolderCount();
}

void frmMain::openPath(const QString &path) {
    TreeView1->setTVPath(path);
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
    showToolInUse();
}

void frmMain::retranslate() {
    i18n::translateForm(this);
    const int tipIds[] = {39, 40, 42, 41, 43, 50};
    for (int i = 0; i < lstAstuce->count() && i < 6; ++i)
        lstAstuce->item(i)->setText(i18n::Message(tipIds[i]));
    lstAstuce_Click();
    fitTokenPane();
    // The folder list's titles and type names are read as they are shown.
    if (QAbstractItemModel *folder = ListView1->model())
        emit folder->headerDataChanged(Qt::Horizontal, 0, std::max(folder->columnCount() - 1, 0));
    ListView1->refresh();
    // The tree's top entries are named when it is listed: listed again at its folder.
    if (const QString path = TreeView1->TVPath(); !path.isEmpty()) {
        TreeView1->refresh();
        TreeView1->setTVPath(path);
    }
    showFolderCount();
    Label4->setText(m_controller->countLabelText());
    lblComment->setText(m_controller->commentLabel());
    showToolInUse();
    updateTitle();
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

QList<int> frmMain::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex &i : lstrename->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void frmMain::loadFromSettings() {
    const Settings &s = m_controller->settings();
    const RenameList &e = m_controller->renameList();
    const Rule &r = e.rule();
    QSignalBlocker b1(chkTrim), b2(chkUpperFirstChar), b3(chkUpperCaseFirstWord), b4(chkAutoIncrement), b5(chkInterdit),
        b6(chkExtension), b7(txtExtension), b8(chkRefresh), b9(chkPreview);
    txtDebut->setText(e.txtDebut());
    txtPas->setText(e.txtPas());
    chkPreview->setChecked(s.VisualiserImage != 0);
    chkExtension->setChecked(r.ModifieExtension != 0);
    txtExtension->setText(r.ModifieExtensionValeur);
    txtExtension->setEnabled(r.ModifieExtension != 0);
    chkInterdit->setChecked(r.RemplacerCaractereInterdit == 1);
    chkRefresh->setChecked(s.MettreAJour != 0);
    chkAutoIncrement->setChecked(r.IncrementeFichierIdentique != 0);
    chkTrim->setChecked(r.EffaceEspace != 0);
    chkUpperFirstChar->setChecked(r.PremierCaractereEnMajuscule != 0);
    chkUpperCaseFirstWord->setChecked(r.PremierCaractereEnMajusculePourChaqueMot != 0);
}

void frmMain::Form_Load() {
    m_controller->setUpdatesEnabled(false);
    Settings &s = m_controller->settings();
    loadFromSettings();
    {
        QSignalBlocker block(cboRenommer);
        cboRenommer->setEditText(m_controller->renameList().rule().Regle);
    }
    lblComment->setText(m_controller->commentLabel());

    const std::pair<QPushButton *, const char *> pictures[] = {{cmdOption, "options"},
                                                               {cmdAbout, "about"},
                                                               {cmdAide, "manuel"},
                                                               {cmdQuitter, "quitter"},
                                                               {cmdAdd, "ajouter"},
                                                               {cmdAddAll, "tout_ajouter"},
                                                               {cmdDel, "retirer"},
                                                               {cmdClear, "tout_retirer"},
                                                               {cmdStopAction, "non"},
                                                               {cmdRefresh, "actualiser"},
                                                               {cmdRefreshFolder, "actualiser"},
                                                               {cmdForum, "forum"}};
    for (const auto &[b, name] : pictures)
        i18n::setButtonPictures(b, QString::fromLatin1(name));
    i18n::translateForm(this);
    cmdAnnulerRenommage->setText(undoMessage(MsgUndoCommand, "Undo the last rename"));
    cmdAnnulerRenommage->setToolTip(
        undoMessage(MsgUndoTip, "Put the files of the last rename back under their old names") +
        QStringLiteral(" (%1)").arg(QKeySequence(QKeySequence::Undo).toString(QKeySequence::NativeText)));
    updateUndoCommand();

    Label2->setText(i18n::Message(18, QStringLiteral("0")));
    Label4->setText(i18n::Message(19, QStringLiteral("0")));

    lstAstuce->clear();
    for (int n : {39, 40, 42, 41, 43, 50})
        lstAstuce->addItem(i18n::Message(n));
    int tip = 0;
    for (int i = 0; i < lstAstuce->count(); ++i)
        if (!s.Astuce.isEmpty() && lstAstuce->item(i)->text() == s.Astuce)
            tip = i;
    lstAstuce->setCurrentRow(tip);
    lstAstuce_Click();
    fitTokenPane();

    // The two builders as they were left.
    if (s.optRepPos >= 0 && s.optRepPos < 3)
        optRepPos[s.optRepPos]->setChecked(true);
    for (int i = 0; i < 4; ++i)
        txtRepPos[i]->setText(s.txtRepPos[i]);
    if (s.optRepPosDebutFin >= 0 && s.optRepPosDebutFin < 2)
        optRepPosDebutFin[s.optRepPosDebutFin]->setChecked(true);
    txtRemplacerPos->setText(s.txtRemplacerPos);
    if (s.optRepStr >= 0 && s.optRepStr < 3)
        optRepStr[s.optRepStr]->setChecked(true);
    txtRechercher->setText(s.RechercherChaine);
    txtRemplacer->setText(s.RemplacerChaine);
    txtFilter->setText(s.FiltreAffichage);

    // Geometry, in twips. The first start (the file still holds the default
    // geometry) takes most of the screen rather than the designed minimum.
    const Settings defaults;
    const bool firstStart =
        s.FenetreLargeur == defaults.FenetreLargeur && s.FenetreHauteur == defaults.FenetreHauteur &&
        s.PositionFenetreLeft == defaults.PositionFenetreLeft && s.PositionFenetreTop == defaults.PositionFenetreTop;
    const QScreen *display = screen() ? screen() : QGuiApplication::primaryScreen();
    if (firstStart && display) {
        const QRect free = display->availableGeometry();
        const QSize size(std::max(free.width() * 4 / 5, minimumWidth()),
                         std::max(free.height() * 4 / 5, minimumHeight()));
        resize(size);
        move(free.center() - QPoint(size.width() / 2, size.height() / 2));
    } else {
        const int w = std::max(twipsToPixels(s.FenetreLargeur), minimumWidth());
        const int h = std::max(twipsToPixels(s.FenetreHauteur), minimumHeight());
        resize(w, h);
        move(twipsToPixels(s.PositionFenetreLeft), twipsToPixels(s.PositionFenetreTop));
    }
    updateTitle();
}

void frmMain::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (m_activated)
        return;
    // First activation: the rename list gets its columns, then names may be computed.
    m_activated = true;
    const int half = std::max(lstrename->viewport()->width() / 2 - 30, 80);
    lstrename->setColumnWidth(0, half);
    lstrename->setColumnWidth(1, half);
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
    for (auto *split : findChildren<QSplitter *>())
        if (!split->objectName().isEmpty() && store.contains(split->objectName()))
            split->restoreState(store.value(split->objectName()).toByteArray());
    const QList<QVariant> widths = store.value(QStringLiteral("lstrenameColumns")).toList();
    for (int c = 0; c < widths.size() && c < lstrename->model()->columnCount(); ++c)
        if (widths.at(c).toInt() > 0)
            lstrename->setColumnWidth(c, widths.at(c).toInt());
}

void frmMain::saveViewState() const {
    QSettings store = viewStore();
    store.beginGroup(QStringLiteral("frmMain"));
    for (auto *split : findChildren<QSplitter *>())
        if (!split->objectName().isEmpty())
            store.setValue(split->objectName(), split->saveState());
    QList<QVariant> widths;
    for (int c = 0; c < lstrename->model()->columnCount(); ++c)
        widths << lstrename->columnWidth(c);
    store.setValue(QStringLiteral("lstrenameColumns"), widths);
    store.endGroup();
    store.sync();
}

void frmMain::storeIntoSettings() {
    if (m_activated)
        saveViewState();
    Settings &s = m_controller->settings();
    m_controller->storeIntoSettings();
    for (int i = 0; i < 3; ++i)
        if (optRepPos[i]->isChecked())
            s.optRepPos = i;
    for (int i = 0; i < 4; ++i)
        s.txtRepPos[i] = txtRepPos[i]->text();
    s.optRepPosDebutFin = optRepPosDebutFin[1]->isChecked() ? 1 : 0;
    s.txtRemplacerPos = txtRemplacerPos->text();
    for (int i = 0; i < 3; ++i)
        if (optRepStr[i]->isChecked())
            s.optRepStr = i;
    s.RechercherChaine = txtRechercher->text();
    s.RemplacerChaine = txtRemplacer->text();
    s.FiltreAffichage = txtFilter->text();
    s.VisualiserImage = chkPreview->isChecked() ? 1 : 0;
    s.MettreAJour = chkRefresh->isChecked() ? 1 : 0;
    if (lstAstuce->currentItem())
        s.Astuce = lstAstuce->currentItem()->text();
    if (!isMinimized()) {
        const QRect g = normalGeometry();
        s.PositionFenetreLeft = float(pixelsToTwips(g.x()));
        s.PositionFenetreTop = float(pixelsToTwips(g.y()));
        s.FenetreLargeur = float(pixelsToTwips(g.width()));
        s.FenetreHauteur = float(pixelsToTwips(g.height()));
    }
    if (TreeView1 && !TreeView1->TVPath().isEmpty()) {
        // A start folder that was missing showed another one; an untouched
        // tree keeps the stored folder for the next start.
        const QString path = TreeView1->TVPath();
        s.dossierCourant = path == m_startFolderShown && !m_startFolderStored.isEmpty() ? m_startFolderStored : path;
    }
}

void frmMain::objetOnOff(bool enabled, bool stopShown, bool renaming) {
    if (!enabled && !m_commandsOff)
        saveFocus();
    // A recomputation of names while the user types leaves the rule box on,
    // with its focus, so that no key typed meanwhile is lost.
    QLineEdit *rule = cboRenommer->lineEdit();
    const bool keepRuleBox = !enabled && !stopShown && !renaming && (cboRenommer->hasFocus() || rule->hasFocus());
    const QList<QWidget *> controls = {cmdAdd,
                                       cmdAddAll,
                                       cmdDel,
                                       cmdClear,
                                       cmdRefresh,
                                       cmdUp,
                                       cmdDown,
                                       cmdStopAction,
                                       TreeView1,
                                       ListView1,
                                       ListView2,
                                       chkVignette,
                                       cmdPrendrePlus,
                                       cmdPrendreMoins,
                                       cmdPrendreSupprimer,
                                       cmdEffacerExif,
                                       cmdRepStr,
                                       cmdRepPos,
                                       cmdRenommer,
                                       cmdRenommerStop,
                                       cmdAnnulerRenommage,
                                       cmdOption,
                                       cmdAbout,
                                       cmdQuitter,
                                       cboRenommer,
                                       txtDebut,
                                       txtPas,
                                       txtNbPasse,
                                       txtFilter,
                                       txtExtension,
                                       txtRepPos[0],
                                       txtRepPos[1],
                                       txtRepPos[2],
                                       txtRepPos[3],
                                       txtRemplacerPos,
                                       txtRechercher,
                                       txtRemplacer,
                                       optCasse[0],
                                       optCasse[1],
                                       optCasse[2],
                                       lstAstuce,
                                       chkAutoIncrement,
                                       chkExtension,
                                       chkInterdit,
                                       chkPreview,
                                       chkRefresh,
                                       chkTrim,
                                       chkUpperFirstChar,
                                       chkUpperCaseFirstWord,
                                       Label5,
                                       Label6,
                                       Label7,
                                       Label9,
                                       Label10,
                                       Label15,
                                       lblNbPasse,
                                       lblRepPos[0],
                                       lblRepPos[1],
                                       lblRepPos[2],
                                       lblRepPos[3],
                                       lblRepStr[0],
                                       lblRepStr[1],
                                       lblRepStr[2],
                                       lblRepPosDebutFin,
                                       fAstuce[0],
                                       fAstuce[1],
                                       fAstuce[2],
                                       fAstuce[3],
                                       fAstuce[4],
                                       fAstuce[5],
                                       Frame1,
                                       Frame2,
                                       Frame3,
                                       Frame5};
    for (QWidget *w : controls)
        if (w && !(keepRuleBox && (w == cboRenommer || w == Frame1)))
            w->setEnabled(enabled);
    if (enabled && !chkExtension->isChecked())
        txtExtension->setEnabled(false);
    if (enabled) // only with a batch to undo
        cmdAnnulerRenommage->setEnabled(m_controller->canUndo());
    if (stopShown) {
        cmdStopAction->setVisible(true);
        cmdStopAction->setEnabled(true);
        Frame5->setEnabled(true);
    } else {
        cmdStopAction->setVisible(false);
    }
    if (renaming) {
        cmdRenommer->setVisible(false);
        cmdRenommerStop->setVisible(true);
        cmdRenommerStop->setEnabled(true);
        Frame5->setEnabled(true);
    } else {
        cmdRenommer->setVisible(true);
        cmdRenommerStop->setVisible(false);
    }
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

frmMain::FocusMemo frmMain::rememberFocus() const {
    FocusMemo memo;
    memo.widget = focusWidget();
    memo.wasActive = isActiveWindow();
    const QLineEdit *rule = cboRenommer->lineEdit();
    if (memo.widget == cboRenommer || memo.widget == rule) {
        memo.ruleText = rule->text();
        memo.caret = rule->cursorPosition();
        memo.selectionStart = rule->selectionStart();
        memo.selectionLength = int(rule->selectedText().size());
    }
    return memo;
}

void frmMain::saveFocus() {
    m_focus = rememberFocus();
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
    QLineEdit *rule = cboRenommer->lineEdit();
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

void frmMain::lstAstuce_Click() {
    const int count = lstAstuce->count();
    for (int i = 0; i < std::min(count, 6); ++i)
        fAstuce[i]->setVisible(false);
    for (int i = 0; i < std::min(count, 6); ++i) {
        if (lstAstuce->item(i)->isSelected()) {
            fAstuce[i]->setTitle(lstAstuce->currentItem() ? lstAstuce->currentItem()->text()
                                                          : lstAstuce->item(i)->text());
            fAstuce[i]->setVisible(true);
        }
    }
    if (lstAstuce->currentItem())
        m_controller->settings().Astuce = lstAstuce->currentItem()->text();
    // A tool installed or removed meanwhile shows when the metadata group does.
    if (lstAstuce->currentRow() == 3)
        showToolInUse();
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
    if (!dialog.quitConfirmed())
        return;
    m_quitAsked = true;
    close();
}

void frmMain::closeEvent(QCloseEvent *event) {
    // Closing the window quits without asking; the quit button asked already.
    if (isMinimized())
        showNormal();
    storeIntoSettings();
    m_controller->quit(true);
    event->accept();
    emit quitting();
}

bool frmMain::renameListMouse(QEvent *event) {
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const int row = lstrename->rowAt(int(mouse->position().y()));
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (row >= 0 && row < m_controller->model()->rowCount()) {
            const FileEntry &entry = m_controller->model()->entry(row);
            previewFile(QDir(entry.folder).filePath(entry.oldName),
                        QStringLiteral("LstRename_MouseDown (Feuille frmMain)"));
        }
        if (mouse->button() == Qt::LeftButton && !m_controller->actionRunning() &&
            !(mouse->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
            m_dragFrom = row;
            m_dragging = false;
            m_dragStart = mouse->position().toPoint();
        }
        return false;
    case QEvent::MouseMove:
        if (m_dragFrom < 0)
            return false;
        // The view never sees the moves of a press on a row: it would start
        // a range selection from the pressed row.
        if (!m_dragging) {
            if ((mouse->position().toPoint() - m_dragStart).manhattanLength() < QApplication::startDragDistance())
                return true;
            m_dragging = true;
            lstrename->viewport()->setCursor(Qt::DragMoveCursor);
        }
        // The row under the pointer, alone, shows where the dragged row will go.
        if (row >= 0)
            lstrename->selectionModel()->select(lstrename->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    case QEvent::MouseButtonRelease: {
        const int from = m_dragFrom;
        const bool dropped = m_dragging;
        m_dragFrom = -1;
        m_dragging = false;
        if (!dropped)
            return false;
        lstrename->viewport()->unsetCursor();
        const int to = row >= 0 ? row : m_controller->model()->rowCount() - 1;
        if (to != from)
            m_controller->dragRow(from, to);
        else
            lstrename->selectionModel()->select(lstrename->model()->index(from, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    default:
        return false;
    }
}

void frmMain::ruleBoxEvent(QEvent *event) {
    QLineEdit *rule = cboRenommer->lineEdit();
    switch (event->type()) {
    case QEvent::FocusIn:
        m_controller->ruleFocusIn(rule->text());
        m_controller->caretTick(rule->cursorPosition());
        Timer_update->start();
        break;
    case QEvent::FocusOut:
        Timer_update->stop();
        m_controller->ruleFocusOut(rule->text());
        break;
    default:
        break;
    }
}

// One hover control per token label: the label forwards its pointer moves to
// it, and its events colour the label (red under the pointer, black after)
// and insert the label's token.
void frmMain::hostHoverControl(int index) {
    QLabel *label = Label8[index];
    auto *hover = new Hovrix(this);
    i18n::setControlIndex(hover, QStringLiteral("Hovrix1"), index);
    Hovrix1[index] = hover;
    hover->forwardMovesFrom(label);
    // A click the control does not see (it holds no pointer grab yet, or the
    // click comes from the keyboard's accessibility or a test) still reaches
    // the label itself.
    label->installEventFilter(this);
    const auto paint = [label](const QColor &colour) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, colour);
        label->setPalette(p);
    };
    connect(hover, &Hovrix::MouseOver, label, [paint] { paint(QColor(255, 0, 0)); });
    connect(hover, &Hovrix::MouseOut, label, [paint] { paint(QColor(0, 0, 0)); });
    connect(hover, &Hovrix::Click, this, [this, label, index](int button) {
        if (button == 1 && label->isEnabled())
            m_controller->insertToken(index, label->text());
    });
}

// Each watched control has this filter installed once, by wire() or buildUi().
bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    if (watched == lstrename->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
         event->type() == QEvent::MouseButtonRelease))
        return renameListMouse(event);
    if (watched == cboRenommer) {
        ruleBoxEvent(event);
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        if (watched == txtDebut)
            txtDebut->setText(m_controller->txtDebut_LostFocus(txtDebut->text()));
        else if (watched == txtPas)
            txtPas->setText(m_controller->txtPas_LostFocus(txtPas->text()));
        else if (watched == txtNbPasse)
            txtNbPasse->setText(m_controller->txtNbPasse_LostFocus(txtNbPasse->text()));
        else
            for (auto *t : txtRepPos)
                if (watched == t)
                    t->setText(txtRepPosLeaveText(t->text()));
        return false;
    }
    if (auto *label = qobject_cast<QLabel *>(watched); label && label->property("tokenLabel").toBool()) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            if (label->isEnabled())
                m_controller->insertToken(label->property("tavIndex").toInt(), label->text());
            return true;
        }
        return false;
    }
    if (watched == lblComment && event->type() == QEvent::MouseButtonDblClick) {
        editComment();
        return true;
    }
    if (watched == cmdDnD) {
        if (event->type() == QEvent::DragEnter) {
            auto *e = static_cast<QDragEnterEvent *>(event);
            if (e->mimeData()->hasUrls())
                e->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto *e = static_cast<QDropEvent *>(event);
            QStringList paths;
            for (const QUrl &u : e->mimeData()->urls())
                if (u.isLocalFile())
                    paths << u.toLocalFile();
            e->acceptProposedAction();
            // The adding may ask a question and take a while: it runs once
            // the drop is over, so the program the files came from is not
            // kept waiting.
            if (!paths.isEmpty())
                QTimer::singleShot(0, this, [this, paths] { m_controller->cmdDnD_Drop(paths); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::editComment() {
    const auto parts = savedRules::getCommentaire(lblComment->text());
    frmMemoriseRegle dialog(parts.comment, parts.fileTypes, this);
    if (dialog.exec() == QDialog::Accepted)
        m_controller->setComment(dialog.comment(), dialog.fileTypes());
}

} // namespace tav
