#include "gui/dialogs/frmOption.h"

#include "core/app/MainController.h"
#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "core/settings/Settings.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/frmChoixOutilExif.h"
#include "gui/i18n/Translate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tav {

namespace {

const QString Form = QStringLiteral(" (Feuille frmOption)");

QString proc(const char *name) {
    return QString::fromLatin1(name) + Form;
}

// The pages, in list order, by the message that names each.
constexpr int PageMessages[8] = {38, 24, 54, 22, 12, 44, 41, 90};

// Commits an edited cell through the table's own rule instead of writing
// it: the rule may refuse the text or remove the row. The rule runs once the
// editor has closed, so it may rebuild the table.
class CellCommit : public QStyledItemDelegate {
public:
    CellCommit(QObject *parent, std::function<void(int, const QString &)> rule)
        : QStyledItemDelegate(parent), m_rule(std::move(rule)) {}
    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override {
        const auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line)
            return;
        const int row = index.row();
        const QString text = line->text();
        QMetaObject::invokeMethod(
            parent(), [rule = m_rule, row, text] { rule(row, text); }, Qt::QueuedConnection);
    }

private:
    std::function<void(int, const QString &)> m_rule;
};

template <class T> T *named(T *w, const char *name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QTableWidget *makeTable(const char *name, int columns) {
    auto *t = named(new QTableWidget(0, columns), name);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                       QAbstractItemView::SelectedClicked);
    t->verticalHeader()->setVisible(false);
    // The first column is as wide as its title or its longest text.
    if (columns > 1)
        t->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QLabel *linkLabel(const char *name) {
    auto *l = named(new QLabel, name);
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 255));
    l->setPalette(p);
    l->setCursor(Qt::PointingHandCursor);
    return l;
}

frmOption::Services withDefaults(frmOption::Services s) {
    if (!s.pickFolder)
        s.pickFolder = [](QWidget *owner, const QString &title, const QString &start) {
            return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
        };
    if (!s.openUrl)
        s.openUrl = [](const QString &a) { return mTavCommon::TavOpenUrl(a); };
    if (!s.openMail)
        s.openMail = [](const QString &a) { return mTavCommon::TavOpenMail(a); };
    if (!s.documentsFolder)
        s.documentsFolder = [] { return mTavCommon::TavCheminDossier(0, 5); };
    return s;
}

// A counter value's choices, one per row: the first ("reset to") with the
// value's field beside it.
void buildResetChoices(QGroupBox *frame, QRadioButton **options, const char *name, const char *const *texts, int count,
                       QLineEdit *value) {
    auto *grid = new QGridLayout(frame);
    for (int i = 0; i < count; ++i) {
        options[i] = new QRadioButton(QString::fromUtf8(texts[i]));
        i18n::setControlIndex(options[i], QLatin1String(name), i);
        if (i > 0)
            grid->addWidget(options[i], i, 0);
    }
    value->setMaximumWidth(80);
    auto *reset = new QHBoxLayout;
    reset->addWidget(options[0]);
    reset->addWidget(value);
    reset->addStretch(1);
    grid->addLayout(reset, 0, 0);
}

} // namespace

frmOption::frmOption(MainController *controller, ExifReader *reader, const Services &services, QWidget *parent)
    : QDialog(parent), m_controller(controller), m_reader(reader), m_services(withDefaults(services)) {
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);
    buildUi();
    wire();
    Form_Load();
}

void frmOption::buildUi() {
    lstOptions = named(new QListWidget, "lstOptions");
    lstOptions->setSelectionMode(QAbstractItemView::SingleSelection);

    // The panels share one place; each keeps its room while hidden, so the
    // dialog does not change size from page to page.
    auto *panelArea = new QWidget;
    auto *pages = new QGridLayout(panelArea);
    pages->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 8; ++i) {
        Frame1[i] = new QGroupBox;
        i18n::setControlIndex(Frame1[i], QStringLiteral("Frame1"), i);
        auto *inner = new QVBoxLayout(Frame1[i]);
        inner->addWidget(buildPage(i));
        addSwitches(inner, i);
        QSizePolicy policy = Frame1[i]->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        Frame1[i]->setSizePolicy(policy);
        pages->addWidget(Frame1[i], 0, 0);
    }

    lblRemark = named(new QLabel(QStringLiteral("Il est recommandé de relancer l'application afin que tous les "
                                                "changements soient pris en compte. Merci.")),
                      "lblRemark");
    lblRemark->setWordWrap(true);

    cmdOK = named(new QPushButton(QStringLiteral("OK")), "cmdOK");
    cmdOK->setDefault(true);
    cmdAnnuler = named(new QPushButton(QStringLiteral("Annuler")), "cmdAnnuler");
    cmdAide = named(new QPushButton(QStringLiteral("Aide")), "cmdAide");
    // The help button shows once the window that owns the help handles it.
    cmdAide->setVisible(bool(m_services.openHelp));

    auto *top = new QHBoxLayout;
    top->addWidget(lstOptions);
    top->addWidget(panelArea, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdAide);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdAnnuler);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(lblRemark);
    layout->addLayout(buttons);
    lstOptions->setFixedWidth(170);
    setMinimumSize(700, 420);
}

// The rule and the counter after a rename: kept or reset.
void frmOption::buildCounterPage(QWidget *page) {
    auto *v = new QVBoxLayout(page);
    fraRegle = named(new QGroupBox(QStringLiteral("Règle")), "fraRegle");
    auto *g1 = new QHBoxLayout(fraRegle);
    const char *regle[2] = {"effacer regle", "garder regle"};
    for (int i = 0; i < 2; ++i) {
        optRegle[i] = new QRadioButton(QString::fromUtf8(regle[i]));
        i18n::setControlIndex(optRegle[i], QStringLiteral("optRegle"), i);
        g1->addWidget(optRegle[i]);
    }
    g1->addStretch(1);
    fraDebut = named(new QGroupBox(QStringLiteral("Début du compteur")), "fraDebut");
    const char *debut[3] = {"remise a", "garder la valeur", "prendre la valeur suivante"};
    txtDebut = named(new QLineEdit, "txtDebut");
    buildResetChoices(fraDebut, optDebut.data(), "optDebut", debut, 3, txtDebut);
    fraPas = named(new QGroupBox(QStringLiteral("Pas du compteur")), "fraPas");
    const char *pas[2] = {"remise à", "garder la valeur"};
    txtPas = named(new QLineEdit, "txtPas");
    buildResetChoices(fraPas, optPas.data(), "optPas", pas, 2, txtPas);
    v->addWidget(fraRegle);
    v->addWidget(fraDebut);
    v->addWidget(fraPas);
    v->addStretch(1);
}

void frmOption::addSwitches(QLayout *layout, int page) {
    for (const options::OptionSwitch &sw : options::optionSwitches())
        if (sw.page == page) {
            auto *box = named(new QCheckBox(QString::fromUtf8(sw.caption)), sw.control);
            layout->addWidget(box);
            m_switches.insert(QLatin1String(sw.control), box);
        }
}

QWidget *frmOption::buildPage(int index) {
    auto *page = new QWidget;
    switch (index) {
    case 0:
        buildCounterPage(page);
        break;
    case 1: {
        auto *v = new QVBoxLayout(page);
        lstCharInterdit = makeTable("lstCharInterdit", 2);
        v->addWidget(lstCharInterdit);
        break;
    }
    case 2: {
        auto *g = new QGridLayout(page);
        cboDossier = named(new QComboBox, "cboDossier");
        txtDossierSpecifique = named(new QLineEdit, "txtDossierSpecifique");
        cmdDossierSpecifique = named(new QPushButton(QStringLiteral("...")), "cmdDossierSpecifique");
        g->addWidget(cboDossier, 0, 0, 1, 2);
        g->addWidget(txtDossierSpecifique, 1, 0);
        g->addWidget(cmdDossierSpecifique, 1, 1);
        g->setRowStretch(2, 1);
        break;
    }
    case 3: {
        auto *g = new QGridLayout(page);
        lblAnnee = named(new QLabel(QStringLiteral("annee:")), "lblAnnee");
        lblMois = named(new QLabel(QStringLiteral("mois:")), "lblMois");
        cboYear = named(new QComboBox, "cboYear");
        cboMois = named(new QComboBox, "cboMois");
        g->addWidget(lblAnnee, 0, 0);
        g->addWidget(cboYear, 0, 1);
        g->addWidget(lblMois, 1, 0);
        g->addWidget(cboMois, 1, 1);
        g->setColumnStretch(2, 1);
        g->setRowStretch(2, 1);
        break;
    }
    case 4: {
        auto *g = new QGridLayout(page);
        lblLangage = named(new QLabel(QStringLiteral("Sélectionnez votre langue")), "lblLangage");
        cboLangage = named(new QComboBox, "cboLangage");
        lblTraduction = named(new QLabel(QStringLiteral("Traduction faite par")), "lblTraduction");
        lblTraducteur = linkLabel("lblTraducteur");
        lblTraducteur->setText(QStringLiteral("Traduction faite par"));
        lblSiteTraducteur = linkLabel("lblSiteTraducteur");
        lblSiteTraducteur->setText(QStringLiteral("Son site"));
        g->addWidget(lblLangage, 0, 0, 1, 2);
        g->addWidget(cboLangage, 1, 0, 1, 2);
        g->addWidget(lblTraduction, 2, 0);
        g->addWidget(lblTraducteur, 2, 1);
        g->addWidget(lblSiteTraducteur, 3, 1);
        g->setColumnStretch(1, 1);
        g->setRowStretch(4, 1);
        break;
    }
    case 5: {
        auto *g = new QGridLayout(page);
        chkFormatVignette =
            named(new QCheckBox(QStringLiteral("afficher vignette pour extension:")), "chkFormatVignette");
        txtExtensionVignette = named(new QLineEdit, "txtExtensionVignette");
        lblTailleVignette = named(new QLabel(QStringLiteral("taille vignette")), "lblTailleVignette");
        cboVignette = named(new QComboBox, "cboVignette");
        g->addWidget(chkFormatVignette, 0, 0, 1, 2);
        g->addWidget(txtExtensionVignette, 1, 0, 1, 2);
        g->addWidget(lblTailleVignette, 2, 0);
        g->addWidget(cboVignette, 2, 1);
        g->setColumnStretch(1, 1);
        g->setRowStretch(3, 1);
        break;
    }
    case 6: {
        auto *g = new QGridLayout(page);
        lblFormatJHead = named(new QLabel(QStringLiteral("format jhead")), "lblFormatJHead");
        lblFormatExifTool = named(new QLabel(QStringLiteral("format exiftool")), "lblFormatExifTool");
        txtFormatJHead = named(new QLineEdit, "txtFormatJHead");
        txtFormatExifTool = named(new QLineEdit, "txtFormatExifTool");
        cmdExifTool = named(new QPushButton(QStringLiteral("Choisir l'outil Exif")), "cmdExifTool");
        cmdEffacerExif = named(new QPushButton(QStringLiteral("Vider le cache Exif")), "cmdEffacerExif");
        // Each label above its field, so long lists stay in view.
        g->addWidget(lblFormatJHead, 0, 0);
        g->addWidget(txtFormatJHead, 1, 0);
        g->addWidget(lblFormatExifTool, 2, 0);
        g->addWidget(txtFormatExifTool, 3, 0);
        auto *row = new QHBoxLayout;
        row->addWidget(cmdExifTool);
        row->addWidget(cmdEffacerExif);
        row->addStretch(1);
        g->addLayout(row, 4, 0);
        g->setRowStretch(5, 1);
        break;
    }
    case 7: {
        auto *v = new QVBoxLayout(page);
        lstFichierInterdit = makeTable("lstFichierInterdit", 1);
        v->addWidget(lstFichierInterdit);
        break;
    }
    default:
        break;
    }
    return page;
}

void frmOption::wire() {
    connect(lstOptions, &QListWidget::currentRowChanged, this, &frmOption::lstOptions_Click);
    connect(cboLangage, qOverload<int>(&QComboBox::activated), this, &frmOption::cboLangage_Click);
    connect(cboDossier, qOverload<int>(&QComboBox::currentIndexChanged), this, &frmOption::cboDossier_Click);
    connect(chkFormatVignette, &QCheckBox::clicked, this, &frmOption::chkFormatVignette_Click);
    connect(cmdDossierSpecifique, &QPushButton::clicked, this, &frmOption::cmdDossierSpecifique_Click);
    connect(cmdExifTool, &QPushButton::clicked, this, &frmOption::cmdExifTool_Click);
    connect(cmdEffacerExif, &QPushButton::clicked, this, &frmOption::cmdEffacerExif_Click);
    connect(cmdAide, &QPushButton::clicked, this, &frmOption::cmdAide_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmOption::cmdOK_Click);
    connect(cmdAnnuler, &QPushButton::clicked, this, &frmOption::cmdAnnuler_Click);
    lstCharInterdit->setItemDelegateForColumn(
        0, new CellCommit(this, [this](int row, const QString &text) { lstCharInterdit_AfterLabelEdit(row, text); }));
    lstFichierInterdit->setItemDelegateForColumn(0, new CellCommit(this, [this](int row, const QString &text) {
                                                     lstFichierInterdit_AfterLabelEdit(row, text);
                                                 }));
    for (QWidget *w : {static_cast<QWidget *>(txtDebut), static_cast<QWidget *>(txtPas),
                       static_cast<QWidget *>(lblTraducteur), static_cast<QWidget *>(lblSiteTraducteur)})
        w->installEventFilter(this);
}

void frmOption::Form_Load() {
    const Settings &s = m_controller->settings();
    const options::Form f = options::load(s);

    cboLangage->addItems(options::installedLanguages());
    cboLangage->setCurrentIndex(cboLangage->findText(i18n::languageName(), Qt::MatchExactly));

    const QDate today = QDate::currentDate();
    cboYear->addItems(options::yearChoices(today));
    cboMois->addItems(options::monthChoices(today));
    cboYear->setCurrentIndex(f.year);
    cboMois->setCurrentIndex(f.month);

    showForbidden(f.forbidden);
    optRegle[f.optRegle == 0 ? 0 : 1]->setChecked(true);
    optDebut[std::clamp(f.optDebut, 0, 2)]->setChecked(true);
    optPas[f.optPas == 0 ? 0 : 1]->setChecked(true);
    txtDebut->setText(f.txtDebut);
    txtPas->setText(f.txtPas);

    chkFormatVignette->setChecked(f.thumbnails);
    for (auto it = m_switches.cbegin(); it != m_switches.cend(); ++it)
        it.value()->setChecked(f.switches.value(it.key()));
    txtExtensionVignette->setText(f.thumbnailExtensions);
    txtExtensionVignette->setEnabled(f.thumbnails);

    txtDossierSpecifique->setText(f.chosenFolder);
    txtFormatJHead->setText(f.jheadExtensions);
    txtFormatExifTool->setText(f.exifToolExtensions);
    showNeverRenamed(f.neverRenamed);

    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdOK, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdAnnuler, QStringLiteral("annuler"));
        i18n::setButtonPictures(cmdAide, QStringLiteral("aide"));
    }
    i18n::translateForm(this);
    showMessageTexts();
    cboVignette->setCurrentIndex(std::clamp(f.thumbnailSize, 0, 2));
    cboDossier->setCurrentIndex(std::clamp(f.startFolder, 0, 2));
    cboDossier_Click();
    lstOptions->setCurrentRow(0);
    lstOptions_Click();
}

void frmOption::showMessageTexts() {
    using i18n::Message;
    const int page = std::max(lstOptions->currentRow(), 0);
    {
        QSignalBlocker block(lstOptions);
        lstOptions->clear();
        for (int n : PageMessages)
            lstOptions->addItem(Message(n));
        lstOptions->setCurrentRow(page);
    }
    const auto refill = [](QComboBox *box, std::initializer_list<int> messages) {
        const int index = box->currentIndex();
        QSignalBlocker block(box);
        box->clear();
        for (int n : messages)
            box->addItem(Message(n));
        box->setCurrentIndex(index);
    };
    refill(cboVignette, {46, 47, 48});
    refill(cboDossier, {55, 56, 57});
    lstCharInterdit->setHorizontalHeaderLabels({Message(24), Message(25)});
    lstFichierInterdit->setHorizontalHeaderLabels({Message(90)});
    showTranslator();
}

void frmOption::showTranslator() {
    m_translator = options::translator();
    lblTraduction->setVisible(m_translator.shown);
    lblTraducteur->setVisible(m_translator.shown);
    lblSiteTraducteur->setVisible(m_translator.shown);
    if (m_translator.shown) {
        lblTraducteur->setText(m_translator.name);
        lblTraducteur->setToolTip(m_translator.email);
        lblSiteTraducteur->setText(m_translator.siteMsg);
        lblSiteTraducteur->setToolTip(m_translator.site);
    }
}

void frmOption::showForbidden(const QList<ForbiddenRow> &rows) {
    lstCharInterdit->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        lstCharInterdit->setItem(r, 0, new QTableWidgetItem(rows[r].chars));
        auto *replacement = new QTableWidgetItem(rows[r].replacement);
        replacement->setFlags(replacement->flags() & ~Qt::ItemIsEditable);
        lstCharInterdit->setItem(r, 1, replacement);
    }
}

void frmOption::showNeverRenamed(const QStringList &rows) {
    lstFichierInterdit->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        lstFichierInterdit->setItem(r, 0, new QTableWidgetItem(rows[r]));
}

QList<ForbiddenRow> frmOption::forbiddenRows() const {
    QList<ForbiddenRow> rows;
    for (int r = 0; r < lstCharInterdit->rowCount(); ++r) {
        const QTableWidgetItem *chars = lstCharInterdit->item(r, 0);
        const QTableWidgetItem *replacement = lstCharInterdit->item(r, 1);
        rows.append({chars ? chars->text() : QString(), replacement ? replacement->text() : QString()});
    }
    return rows;
}

QStringList frmOption::neverRenamedRows() const {
    QStringList rows;
    for (int r = 0; r < lstFichierInterdit->rowCount(); ++r) {
        const QTableWidgetItem *name = lstFichierInterdit->item(r, 0);
        rows << (name ? name->text() : QString());
    }
    return rows;
}

void frmOption::lstOptions_Click() {
    trap(QStringLiteral("lstOptions_Click (Feuille frmOptions)"), [&] {
        const int page = lstOptions->currentRow();
        for (QGroupBox *frame : Frame1)
            frame->setVisible(false);
        if (page < 0 || page >= int(Frame1.size()))
            return;
        Frame1[page]->setTitle(lstOptions->item(page)->text());
        Frame1[page]->setVisible(true);
    });
}

void frmOption::cboLangage_Click() {
    trap(QStringLiteral("cboLangage_Click (Feuille frmOptions)"), [&] {
        // The marker texts already in the rename list, and the rule's comment
        // when it is the default one, are the old language's.
        const QString oldNever = i18n::Message(91);
        const QString oldNotSelected = i18n::Message(97);
        const QString oldNoComment = i18n::Message(95);
        if (!options::pickLanguage(m_controller->settings(), cboLangage->currentText()))
            return;
        i18n::translateForm(this);
        showMessageTexts();
        lstOptions_Click();
        m_controller->languageChanged(oldNever, oldNotSelected, oldNoComment);
        if (m_services.retranslateMain)
            m_services.retranslateMain();
        // Applied at once, kept at once: a cancel or a crash does not undo it.
        modIniFile::SaveIniFile(m_controller->settings());
    });
}

void frmOption::cboDossier_Click() {
    const bool chosen = cboDossier->currentIndex() == 2;
    txtDossierSpecifique->setEnabled(chosen);
    cmdDossierSpecifique->setEnabled(chosen);
}

void frmOption::chkFormatVignette_Click() {
    txtExtensionVignette->setEnabled(chkFormatVignette->isChecked());
}

void frmOption::cmdDossierSpecifique_Click() {
    try {
        const QString folder = m_services.pickFolder(parentWidget() ? parentWidget() : this, i18n::Message(3),
                                                     txtDossierSpecifique->text());
        if (folder.isEmpty())
            return;
        txtDossierSpecifique->setText(folder);
        m_controller->settings().DossierSpecifique = folder;
        modIniFile::SaveIniFile(m_controller->settings());
    } catch (...) {
        int number = 0;
        QString description;
        currentError(number, description);
        reportPlainError(number, description, QStringLiteral("cmdDossierSpecifique_Click"),
                         QStringLiteral("frmOption"));
    }
}

void frmOption::cmdExifTool_Click() {
    trap(proc("cmdExifTool_Click"), [&] {
        frmChoixOutilExif::choose(m_reader ? *m_reader : exifReader(), this,
                                  m_services.openHelp ? [this] { m_services.openHelp(HelpTopic); }
                                                      : std::function<void()>{});
    });
}

void frmOption::cmdEffacerExif_Click() {
    trap(proc("cmdEffacerExif_Click"), [&] {
        if (m_services.clearMetadataCache)
            m_services.clearMetadataCache();
        else if (m_reader)
            m_reader->cmdEffacerExif();
    });
}

void frmOption::cmdAide_Click() {
    if (m_services.openHelp)
        m_services.openHelp(HelpTopic);
}

options::Form frmOption::formValues() const {
    options::Form f;
    f.year = cboYear->currentIndex();
    f.month = cboMois->currentIndex();
    f.forbidden = forbiddenRows();
    f.neverRenamed = neverRenamedRows();
    f.optRegle = optRegle[0]->isChecked() ? 0 : 1;
    f.optDebut = optDebut[0]->isChecked() ? 0 : optDebut[2]->isChecked() ? 2 : 1;
    f.optPas = optPas[0]->isChecked() ? 0 : 1;
    f.txtDebut = txtDebut->text();
    f.txtPas = txtPas->text();
    f.thumbnails = chkFormatVignette->isChecked();
    for (auto it = m_switches.cbegin(); it != m_switches.cend(); ++it)
        f.switches[it.key()] = it.value()->isChecked();
    f.thumbnailExtensions = txtExtensionVignette->text();
    f.thumbnailSize = cboVignette->findText(cboVignette->currentText(), Qt::MatchExactly);
    f.startFolder = std::max(cboDossier->findText(cboDossier->currentText(), Qt::MatchExactly), 0);
    f.chosenFolder = txtDossierSpecifique->text();
    f.jheadExtensions = txtFormatJHead->text();
    f.exifToolExtensions = txtFormatExifTool->text();
    return f;
}

void frmOption::cmdOK_Click() {
    trap(proc("cmdOK_Click"), [&] {
        Settings &s = m_controller->settings();
        const bool thumbnailsChanged = options::confirm(s, formValues(), m_services.documentsFolder());
        m_controller->applyOptions(false);
        // Confirmed options reach the file now: a crash later loses nothing.
        modIniFile::SaveIniFile(s);
        if (thumbnailsChanged)
            emit thumbnailSettingsChanged();
        if (m_controller->model()->count() > 0 &&
            frontEnd().msgBox(i18n::Message(81), StyleYesNo + StyleQuestion, i18n::Message(1)) == AnswerYes)
            m_controller->applyOptions(true);
        accept();
    });
}

void frmOption::cmdAnnuler_Click() {
    reject();
}

void frmOption::lstCharInterdit_AfterLabelEdit(int row, const QString &text) {
    trap(proc("lstCharInterdit_AfterLabelEdit"), [&] {
        // Filled characters stay whatever the replacement: they show while
        // the replacement is asked.
        if (QTableWidgetItem *cell = lstCharInterdit->item(row, 0); cell && !text.isEmpty())
            cell->setText(text);
        QList<ForbiddenRow> rows = forbiddenRows();
        // A refused edit shows the cell's previous text again.
        options::editForbiddenChars(rows, row, text);
        showForbidden(rows);
    });
}

void frmOption::lstFichierInterdit_AfterLabelEdit(int row, const QString &text) {
    trap(proc("lstFichierInterdit_AfterLabelEdit"), [&] {
        QStringList rows = neverRenamedRows();
        options::editNeverRenamed(rows, row, text);
        showNeverRenamed(rows);
    });
}

void frmOption::counterFieldLeave(QLineEdit *field, const char *procedure) {
    trap(proc(procedure), [&] { field->setText(options::counterResetLeave(field->text())); });
}

bool frmOption::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == txtDebut)
            counterFieldLeave(txtDebut, "txtDebut_LostFocus");
        else if (watched == txtPas)
            counterFieldLeave(txtPas, "txtPas_LostFocus");
    } else if (event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == lblSiteTraducteur && !m_translator.site.isEmpty())
            m_services.openUrl(m_translator.site);
        else if (watched == lblTraducteur && !m_translator.email.isEmpty())
            m_services.openMail(m_translator.email);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tav
