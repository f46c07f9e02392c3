// Building the main window's controls and their layout.

#include "core/rename/RenameHistory.h"
#include "gui/i18n/Translate.h"
#include "gui/main/frmMain.h"

#include "core/i18n/HelpFile.h"
#include "gui/shellbrowser/LVExplorer.h"
#include "gui/shellbrowser/TVExplorer.h"
#include "gui/widgets/ThumbnailList.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace tav {

namespace {

// Names a control; an array element also gets its index for the language keys.
template <class W> W *named(W *w, const char *name, int index = -1) {
    if (index < 0)
        w->setObjectName(QString::fromLatin1(name));
    else
        i18n::setControlIndex(w, QString::fromLatin1(name), index);
    return w;
}

QPushButton *button(const char *name, const QString &caption, const QString &tip = QString()) {
    auto *b = named(new QPushButton(caption), name);
    if (!tip.isEmpty())
        b->setToolTip(tip);
    return b;
}

QLineEdit *lineEdit(const char *name, const QString &text, int width = -1) {
    auto *e = named(new QLineEdit(text), name);
    if (width > 0)
        e->setMaximumWidth(width);
    return e;
}

// Token labels: their designed captions, the token up to " :".
const char *const TokenCaptions[33] = {
    "# : chiffre d'une suite",
    "* : nom d'origine",
    "$A$ : année",
    "$M$ : mois",
    "$J$ : jour",
    "$h$ : heure",
    "$m$ : minute",
    "$s$ : seconde",
    "$D$ : date du fichier",
    "$d$ : date de la prise",
    "$T$ : taille (Exif)",
    "$R$ : résolution",
    "$O$ : orientation",
    "$K$ : appareil",
    "$C$ : commentaire",
    "$P$ : dossier parent",
    "$dA$ : année de la prise",
    "$dM$ : mois de la prise",
    "$dJ$ : jour de la prise",
    "$dh$ : heure de la prise",
    "$dm$ : minute de la prise",
    "$ds$ : seconde de la prise",
    "$N$ : numéro du nom",
    "$DA$ : année du fichier",
    "$DM$ : mois du fichier",
    "$DJ$ : jour du fichier",
    "$Dh$ : heure du fichier",
    "$Dm$ : minute du fichier",
    "$Ds$ : seconde du fichier",
    "$REPC/texte/remplacement$",
    "$REPP/1/2/1/remplacement$",
    "$MKDIR$ : ranger dans des dossiers",
    "$t$ : taille en octets",
};

// Which token labels each group shows (group i is entry i of the tips list).
const QList<int> TokenGroups[6] = {
    {2, 3, 4, 5, 6, 7},                              // current date
    {8, 23, 24, 25, 26, 27, 28},                     // file date
    {0, 1, 22, 15, 32, 31},                          // miscellaneous
    {9, 16, 17, 18, 19, 20, 21, 10, 11, 12, 13, 14}, // Exif
    {29},                                            // replace a text
    {30},                                            // replace by position
};

// A value of the current photo: as wide as a full date, and a longer value
// is cut with an ellipsis (its tip shows it whole) instead of widening the
// window or being clipped.
class ValueLabel : public QLabel {
public:
    explicit ValueLabel(const QString &text) : QLabel(text) {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    QSize minimumSizeHint() const override {
        const QMargins m = contentsMargins();
        return {fontMetrics().horizontalAdvance(QStringLiteral("$d$=0000:00:00 00:00:00")) + m.left() + m.right() + 2,
                QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override { return minimumSizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QRect r = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
        setToolTip(shown == text() ? QString() : text());
        style()->drawItemText(&painter, r, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
    }
};

} // namespace

void frmMain::fitTokenPane() {
    // The tips list as wide as its longest entry; the groups' place as high
    // as the highest group, so that the pane keeps one size whichever group shows.
    lstAstuce->setFixedWidth(std::min(lstAstuce->sizeHintForColumn(0) + 2 * lstAstuce->frameWidth() + 8, 260));
    int height = 0;
    for (QGroupBox *group : fAstuce)
        height = std::max(height, group->sizeHint().height());
    m_tokenGroups->setFixedHeight(height);
    lstAstuce->setFixedHeight(height);
}

void frmMain::buildUi() {
    setObjectName(QStringLiteral("frmMain"));
    auto *central = new QWidget;
    auto *main = new QVBoxLayout(central);
    main->setContentsMargins(6, 6, 6, 6);

    auto *top = new QSplitter(Qt::Horizontal);
    top->setObjectName(QStringLiteral("splitTop"));
    top->addWidget(buildBrowserPane());
    top->addWidget(buildRenamePane());
    top->setStretchFactor(0, 5);
    top->setStretchFactor(1, 6);
    main->addWidget(top, 1);
    main->addWidget(buildRulePane());
    main->addWidget(buildTokenPane());
    main->addWidget(buildCommandBar());
    setCentralWidget(central);
}

QWidget *frmMain::buildBrowserPane() {
    auto *pane = new QWidget;
    auto *v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);

    TreeView1 = named(new TVExplorer, "TreeView1");
    ListView1 = named(new LVExplorer, "ListView1");
    auto *browse = new QSplitter(Qt::Horizontal);
    browse->setObjectName(QStringLiteral("splitBrowse"));
    browse->addWidget(TreeView1);
    browse->addWidget(ListView1);
    ListView2 = named(new ThumbnailList, "ListView2");
    ListView2->setVisible(false);
    browse->addWidget(ListView2);
    browse->setStretchFactor(0, 2);
    browse->setStretchFactor(1, 3);
    browse->setStretchFactor(2, 3);
    // The preview pane beside the lists, at the size of a preview.
    picturePreview = named(new QLabel, "picturePreview");
    picturePreview->setFixedSize(161 + 2, 121 + 2);
    picturePreview->setFrameShape(QFrame::Box);
    picturePreview->setAlignment(Qt::AlignCenter);
    auto *lists = new QHBoxLayout;
    lists->addWidget(browse, 1);
    lists->addWidget(picturePreview, 0, Qt::AlignTop);
    v->addLayout(lists, 1);

    auto *filter = new QHBoxLayout;
    Label7 = named(new QLabel(QStringLiteral("Filtre :")), "Label7");
    txtFilter = lineEdit("txtFilter", QStringLiteral("*.*"));
    txtFilter->setToolTip(QStringLiteral("Motifs séparés par des espaces, par exemple *.jpg *.png"));
    cmdRefresh = button("cmdRefresh", QStringLiteral("Actualiser"), QStringLiteral("Relire le dossier"));
    cmdRefreshFolder =
        button("cmdRefreshFolder", QStringLiteral("Dossiers"), QStringLiteral("Actualiser l'arborescence"));
    filter->addWidget(Label7);
    filter->addWidget(txtFilter, 1);
    filter->addWidget(cmdRefresh);
    filter->addWidget(cmdRefreshFolder);
    v->addLayout(filter);

    auto *adds = new QHBoxLayout;
    cmdAdd = button("cmdAdd", QStringLiteral("Ajouter"), QStringLiteral("Ajouter les fichiers sélectionnés"));
    cmdAddAll = button("cmdAddAll", QStringLiteral("Tout ajouter"),
                       QStringLiteral("Ajouter tous les fichiers du dossier (menu : toute l'arborescence)"));
    mnuPopup = new QMenu(this);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuAddHieriachy = mnuPopup->addAction(QStringLiteral("Ajouter toute l'arborescence"));
    mnuAddHieriachy->setObjectName(QStringLiteral("mnuAddHieriachy"));
    cmdDnD = button("cmdDnD", QStringLiteral("Déposer ici"),
                    QStringLiteral("Déposez ici des fichiers ou des dossiers venant d'un autre programme"));
    cmdDnD->setAcceptDrops(true);
    Label2 = named(new QLabel, "Label2");
    chkVignette = named(new QCheckBox(QStringLiteral("Vignettes")), "chkVignette");
    chkVignette->setToolTip(QStringLiteral("Afficher le dossier en vignettes"));
    adds->addWidget(cmdAdd);
    adds->addWidget(cmdAddAll);
    adds->addWidget(cmdDnD);
    adds->addWidget(chkVignette);
    adds->addStretch(1);
    adds->addWidget(Label2);
    v->addLayout(adds);
    return pane;
}

QWidget *frmMain::buildRenamePane() {
    auto *pane = new QWidget;
    auto *v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    lstrename = named(new QTableView, "lstrename");
    lstrename->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstrename->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstrename->verticalHeader()->setVisible(false);
    lstrename->verticalHeader()->setDefaultSectionSize(lstrename->fontMetrics().height() + 4);
    lstrename->horizontalHeader()->setStretchLastSection(true);
    lstrename->setShowGrid(false);
    lstrename->setAlternatingRowColors(true);
    lstrename->setWordWrap(false);
    // Rows are dragged to another place by the window itself (one row, the
    // target highlighted), not by the view's drag and drop.
    lstrename->setDragDropMode(QAbstractItemView::NoDragDrop);
    v->addWidget(lstrename, 1);

    auto *row = new QHBoxLayout;
    cmdDel = button("cmdDel", QStringLiteral("Retirer"), QStringLiteral("Retirer les lignes sélectionnées"));
    cmdClear = button("cmdClear", QStringLiteral("Tout retirer"), QStringLiteral("Vider la liste"));
    cmdUp = button("cmdUp", QStringLiteral("Monter"), QStringLiteral("Monter les lignes sélectionnées"));
    cmdDown = button("cmdDown", QStringLiteral("Descendre"), QStringLiteral("Descendre les lignes sélectionnées"));
    Label4 = named(new QLabel, "Label4");
    row->addWidget(cmdDel);
    row->addWidget(cmdClear);
    row->addWidget(cmdUp);
    row->addWidget(cmdDown);
    row->addStretch(1);
    row->addWidget(Label4);
    v->addLayout(row);
    return pane;
}

QWidget *frmMain::buildRulePane() {
    Frame1 = named(new QGroupBox(QStringLiteral("Règle de renommage")), "Frame1");
    auto *g = new QGridLayout(Frame1);

    Label5 = named(new QLabel(QStringLiteral("Règle :")), "Label5");
    cboRenommer = named(new QComboBox, "cboRenommer");
    cboRenommer->setEditable(true);
    cboRenommer->setInsertPolicy(QComboBox::NoInsert);
    cboRenommer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cboRenommer->setToolTip(QStringLiteral("Tapez le motif du nouveau nom, ou choisissez une règle mémorisée"));
    cmdPrendrePlus = button("cmdPrendrePlus", QStringLiteral("+"), QStringLiteral("Mémoriser cette règle"));
    cmdPrendreMoins = button("cmdPrendreMoins", QStringLiteral("-"), QStringLiteral("Oublier cette règle"));
    cmdPrendreSupprimer =
        button("cmdPrendreSupprimer", QStringLiteral("x"), QStringLiteral("Oublier toutes les règles mémorisées"));
    for (auto *b : {cmdPrendrePlus, cmdPrendreMoins, cmdPrendreSupprimer})
        b->setFixedWidth(32);
    lblComment = named(new QLabel, "lblComment");
    lblComment->setToolTip(QStringLiteral("Double-cliquez pour modifier le commentaire et les types de fichier"));
    lblComment->setTextInteractionFlags(Qt::NoTextInteraction);

    g->addWidget(Label5, 0, 0);
    g->addWidget(cboRenommer, 0, 1);
    g->addWidget(cmdPrendrePlus, 0, 2);
    g->addWidget(cmdPrendreMoins, 0, 3);
    g->addWidget(cmdPrendreSupprimer, 0, 4);
    g->setColumnStretch(1, 1);

    Label6 = named(new QLabel(QStringLiteral("Début :")), "Label6");
    txtDebut = lineEdit("txtDebut", QStringLiteral("1"), 90);
    txtDebut->setToolTip(QStringLiteral("Premier nombre du compteur, ou # pour continuer la suite du dossier"));
    Label9 = named(new QLabel(QStringLiteral("Pas :")), "Label9");
    txtPas = lineEdit("txtPas", QStringLiteral("1"), 60);
    lblNbPasse = named(new QLabel(QStringLiteral("Passes :")), "lblNbPasse");
    txtNbPasse = lineEdit("txtNbPasse", QStringLiteral("0"), 50);
    txtNbPasse->setToolTip(QStringLiteral("Nombre de passes supplémentaires du renommage"));
    auto *counter = new QHBoxLayout;
    for (QWidget *w :
         {static_cast<QWidget *>(Label6), static_cast<QWidget *>(txtDebut), static_cast<QWidget *>(Label9),
          static_cast<QWidget *>(txtPas), static_cast<QWidget *>(lblNbPasse), static_cast<QWidget *>(txtNbPasse)})
        counter->addWidget(w);
    counter->addSpacing(16);
    counter->addWidget(lblComment, 1);
    g->addLayout(counter, 1, 1, 1, 4);

    Frame2 = named(new QGroupBox(QStringLiteral("Options")), "Frame2");
    auto *o = new QGridLayout(Frame2);
    chkTrim = named(new QCheckBox(QStringLiteral("Effacer les espaces autour")), "chkTrim");
    chkUpperFirstChar = named(new QCheckBox(QStringLiteral("Première lettre en majuscule")), "chkUpperFirstChar");
    chkUpperCaseFirstWord = named(new QCheckBox(QStringLiteral("Majuscule à chaque mot")), "chkUpperCaseFirstWord");
    chkAutoIncrement = named(new QCheckBox(QStringLiteral("Numéroter les noms identiques")), "chkAutoIncrement");
    chkInterdit = named(new QCheckBox(QStringLiteral("Remplacer les caractères interdits")), "chkInterdit");
    chkRefresh = named(new QCheckBox(QStringLiteral("Mise à jour automatique")), "chkRefresh");
    chkPreview = named(new QCheckBox(QStringLiteral("Aperçu de l'image")), "chkPreview");
    chkExtension = named(new QCheckBox(QStringLiteral("Nouvelle extension :")), "chkExtension");
    txtExtension = lineEdit("txtExtension", QString(), 90);
    Label10 = named(new QLabel(QStringLiteral("Casse de l'extension et du nom :")), "Label10");
    optCasse[0] = named(new QRadioButton(QStringLiteral("inchangée")), "optCasse", 0);
    optCasse[1] = named(new QRadioButton(QStringLiteral("MAJUSCULES")), "optCasse", 1);
    optCasse[2] = named(new QRadioButton(QStringLiteral("minuscules")), "optCasse", 2);
    auto *caseGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i)
        caseGroup->addButton(optCasse[i], i);
    optCasse[0]->setChecked(true);

    o->addWidget(chkTrim, 0, 0);
    o->addWidget(chkUpperFirstChar, 0, 1);
    o->addWidget(chkUpperCaseFirstWord, 0, 2);
    o->addWidget(chkAutoIncrement, 0, 3);
    o->addWidget(chkInterdit, 1, 0);
    o->addWidget(chkRefresh, 1, 1);
    o->addWidget(chkPreview, 1, 2);
    auto *ext = new QHBoxLayout;
    ext->addWidget(chkExtension);
    ext->addWidget(txtExtension);
    ext->addStretch(1);
    o->addLayout(ext, 1, 3);
    auto *cases = new QHBoxLayout;
    cases->addWidget(Label10);
    for (auto *r : optCasse)
        cases->addWidget(r);
    cases->addStretch(1);
    o->addLayout(cases, 2, 0, 1, 4);

    auto *pane = new QWidget;
    auto *v = new QVBoxLayout(pane);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(Frame1);
    v->addWidget(Frame2);
    return pane;
}

QWidget *frmMain::buildTokenPane() {
    Frame3 = named(new QGroupBox(QStringLiteral("Jetons : cliquez pour insérer dans la règle")), "Frame3");
    auto *h = new QHBoxLayout(Frame3);
    lstAstuce = named(new QListWidget, "lstAstuce");
    lstAstuce->setMaximumWidth(200);
    Frame3->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    lstAstuce->setSelectionMode(QAbstractItemView::SingleSelection);
    h->addWidget(lstAstuce);

    const char *const groupCaptions[6] = {"date courante", "date fichier",      "divers",
                                          "exif",          "remplacer contenu", "remplacer position"};
    auto *stackHost = m_tokenGroups = new QWidget;
    auto *stack = new QGridLayout(stackHost);
    stack->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 33; ++i) {
        Label8[i] = named(new QLabel(QString::fromUtf8(TokenCaptions[i])), "Label8", i);
        Label8[i]->setProperty("tokenLabel", true);
        hostHoverControl(i);
    }
    for (int i = 0; i < 6; ++i) {
        fAstuce[i] = named(new QGroupBox(QString::fromLatin1(groupCaptions[i])), "fAstuce", i);
        stack->addWidget(fAstuce[i], 0, 0);
        fAstuce[i]->setVisible(i == 0);
    }
    for (int i = 0; i < 4; ++i) {
        auto *grid = new QGridLayout(fAstuce[i]);
        const QList<int> &ids = TokenGroups[i];
        const int perColumn = i == 3 ? 4 : 3;
        for (int k = 0; k < ids.size(); ++k)
            grid->addWidget(Label8[ids[k]], k % perColumn, k / perColumn);
        int stretchColumn = 10;
        if (i == 3) {
            // Values of the current photo beside the tokens, the tool in use
            // and the clear button on a line of their own beneath.
            const char *const tokens[6] = {"$d$=", "$T$=", "$R$=", "$O$=", "$K$=", "$C$="};
            auto *values = new QGridLayout;
            values->setHorizontalSpacing(12);
            values->setVerticalSpacing(2);
            for (int k = 0; k < 6; ++k) {
                lblExif[k] = named(new ValueLabel(QString::fromLatin1(tokens[k])), "lblExif", k);
                values->addWidget(lblExif[k], k % 3, k / 3);
            }
            values->setColumnStretch(0, 1);
            values->setColumnStretch(1, 1);
            grid->addLayout(values, 0, 3, perColumn, 1, Qt::AlignTop);
            stretchColumn = 3;

            lblExitToolUsed = named(new QLabel, "lblExitToolUsed");
            cmdEffacerExif = button("cmdEffacerExif", QStringLiteral("Vider le cache Exif"),
                                    QStringLiteral("Oublier les valeurs Exif déjà lues"));
            auto *tool = new QHBoxLayout;
            tool->addWidget(lblExitToolUsed);
            tool->addSpacing(12);
            tool->addWidget(cmdEffacerExif);
            tool->addStretch(1);
            grid->addLayout(tool, perColumn, 0, 1, 4);
        }
        grid->setColumnStretch(stretchColumn, 1);
        grid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        grid->setHorizontalSpacing(i == 3 ? 12 : 18);
        grid->setVerticalSpacing(2);
    }

    // Replace a text.
    {
        auto *grid = new QGridLayout(fAstuce[4]);
        lblRepStrTitle = named(new QLabel(QStringLiteral("Rechercher :")), "lblRepStrTitle");
        txtRechercher = lineEdit("txtRechercher", QString());
        Label15 = named(new QLabel(QStringLiteral("Remplacer par :")), "Label15");
        txtRemplacer = lineEdit("txtRemplacer", QString());
        const char *const captions[3] = {"le texte", "avant", "apres"};
        auto *group = new QButtonGroup(this);
        auto *opts = new QHBoxLayout;
        for (int k = 0; k < 3; ++k) {
            optRepStr[k] = named(new QRadioButton, "optRepStr", k);
            lblRepStr[k] = named(new QLabel(QString::fromLatin1(captions[k])), "lblRepStr", k);
            group->addButton(optRepStr[k], k);
            opts->addWidget(optRepStr[k]);
            opts->addWidget(lblRepStr[k]);
        }
        optRepStr[0]->setChecked(true);
        opts->addStretch(1);
        cmdRepStr = button("cmdRepStr", QStringLiteral("Écrire la règle"));
        grid->addWidget(Label8[29], 0, 0, 1, 4);
        grid->addWidget(lblRepStrTitle, 1, 0);
        grid->addWidget(txtRechercher, 1, 1);
        grid->addWidget(Label15, 1, 2);
        grid->addWidget(txtRemplacer, 1, 3);
        grid->addLayout(opts, 2, 0, 1, 3);
        grid->addWidget(cmdRepStr, 2, 3);
    }
    // Replace by positions.
    {
        auto *grid = new QGridLayout(fAstuce[5]);
        const char *const wayCaptions[4] = {"entre", "et", "avant", "apres"};
        auto *ways = new QButtonGroup(this);
        for (int k = 0; k < 3; ++k) {
            optRepPos[k] = named(new QRadioButton, "optRepPos", k);
            ways->addButton(optRepPos[k], k);
        }
        for (int k = 0; k < 4; ++k) {
            lblRepPos[k] = named(new QLabel(QString::fromLatin1(wayCaptions[k])), "lblRepPos", k);
            txtRepPos[k] = lineEdit("txtRepPos", QStringLiteral("1"), 50);
            named(txtRepPos[k], "txtRepPos", k);
        }
        optRepPos[0]->setChecked(true);
        auto *line = new QHBoxLayout;
        line->addWidget(optRepPos[0]);
        line->addWidget(lblRepPos[0]);
        line->addWidget(txtRepPos[0]);
        line->addWidget(lblRepPos[1]);
        line->addWidget(txtRepPos[1]);
        line->addSpacing(12);
        line->addWidget(optRepPos[1]);
        line->addWidget(lblRepPos[2]);
        line->addWidget(txtRepPos[2]);
        line->addSpacing(12);
        line->addWidget(optRepPos[2]);
        line->addWidget(lblRepPos[3]);
        line->addWidget(txtRepPos[3]);
        line->addStretch(1);

        lblRepPosDebutFin = named(new QLabel(QStringLiteral("compter depuis :")), "lblRepPosDebutFin");
        auto *ends = new QButtonGroup(this);
        optRepPosDebutFin[0] = named(new QRadioButton(QStringLiteral("debut")), "optRepPosDebutFin", 0);
        optRepPosDebutFin[1] = named(new QRadioButton(QStringLiteral("fin")), "optRepPosDebutFin", 1);
        ends->addButton(optRepPosDebutFin[0], 0);
        ends->addButton(optRepPosDebutFin[1], 1);
        optRepPosDebutFin[0]->setChecked(true);
        auto *line2 = new QHBoxLayout;
        line2->addWidget(lblRepPosDebutFin);
        line2->addWidget(optRepPosDebutFin[0]);
        line2->addWidget(optRepPosDebutFin[1]);
        line2->addSpacing(12);
        auto *lblBy = named(new QLabel(QStringLiteral("remplacer par :")), "Label1");
        txtRemplacerPos = lineEdit("txtRemplacerPos", QString());
        line2->addWidget(lblBy);
        line2->addWidget(txtRemplacerPos, 1);
        cmdRepPos = button("cmdRepPos", QStringLiteral("Écrire la règle"));
        line2->addWidget(cmdRepPos);

        grid->addWidget(Label8[30], 0, 0);
        grid->addLayout(line, 1, 0);
        grid->addLayout(line2, 2, 0);
    }
    h->addWidget(stackHost, 1);
    return Frame3;
}

QWidget *frmMain::buildCommandBar() {
    Frame5 = named(new QGroupBox, "Frame5");
    Frame5->setFlat(true);
    auto *h = new QHBoxLayout(Frame5);
    h->setContentsMargins(0, 0, 0, 0);
    ProgressBar1 = named(new QProgressBar, "ProgressBar1");
    ProgressBar1->setVisible(false);
    // What the last rename did; long texts are cut, the tip shows them whole.
    lblStatus = named(new QLabel, "lblStatus");
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdStopAction = button("cmdStopAction", QStringLiteral("Arrêter"), QStringLiteral("Arrêter l'ajout (Échap)"));
    cmdStopAction->setVisible(false);
    cmdRenommer =
        button("cmdRenommer", QStringLiteral("Renommer"), QStringLiteral("Renommer les fichiers de la liste"));
    cmdRenommerStop = button("cmdRenommerStop", QStringLiteral("Arrêter le renommage"));
    cmdRenommerStop->setVisible(false);
    cmdAnnulerRenommage =
        button("cmdAnnulerRenommage", undoMessage(MsgUndoCommand, "Undo the last rename"),
               undoMessage(MsgUndoTip, "Put the files of the last rename back under their old names"));
    cmdAnnulerRenommage->setEnabled(false);
    QFont bold = cmdRenommer->font();
    bold.setBold(true);
    cmdRenommer->setFont(bold);
    cmdRenommer->setMinimumWidth(140);
    cmdOption = button("cmdOption", QStringLiteral("Options"));
    cmdAbout = button("cmdAbout", QStringLiteral("À propos"));
    cmdAide = button("cmdAide", QStringLiteral("Aide"));
    cmdForum = button("cmdForum", QStringLiteral("Forum"));
    cmdQuitter = button("cmdQuitter", QStringLiteral("Quitter"));
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
    h->addWidget(cmdOption);
    h->addWidget(cmdAbout);
    h->addWidget(cmdAide);
    h->addWidget(cmdForum);
    h->addWidget(cmdQuitter);
    return Frame5;
}

} // namespace tav
