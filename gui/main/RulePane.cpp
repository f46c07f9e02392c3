#include "gui/main/RulePane.h"

#include "gui/main/PaneParts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tav {

using pane::named;

RulePane::RulePane(QWidget *parent) : QWidget(parent) {
    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(buildRuleFrame());
    v->addWidget(buildOptionsFrame());
    wire();
}

QGroupBox *RulePane::buildRuleFrame() {
    auto *frame = named(new QGroupBox(QStringLiteral("Règle de renommage")), "Frame1");
    auto *g = new QGridLayout(frame);
    auto *title = named(new QLabel(QStringLiteral("Règle :")), "Label5");
    cboRenommer = named(new QComboBox, "cboRenommer");
    cboRenommer->setEditable(true);
    cboRenommer->setInsertPolicy(QComboBox::NoInsert);
    cboRenommer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cboRenommer->setToolTip(QStringLiteral("Tapez le motif du nouveau nom, ou choisissez une règle mémorisée"));
    cmdPrendrePlus = pane::button("cmdPrendrePlus", QStringLiteral("+"), QStringLiteral("Mémoriser cette règle"));
    cmdPrendreMoins = pane::button("cmdPrendreMoins", QStringLiteral("-"), QStringLiteral("Oublier cette règle"));
    cmdPrendreSupprimer = pane::button("cmdPrendreSupprimer", QStringLiteral("x"),
                                       QStringLiteral("Oublier toutes les règles mémorisées"));
    for (auto *b : {cmdPrendrePlus, cmdPrendreMoins, cmdPrendreSupprimer})
        b->setFixedWidth(32);
    lblComment = named(new QLabel, "lblComment");
    lblComment->setToolTip(QStringLiteral("Double-cliquez pour modifier le commentaire et les types de fichier"));
    lblComment->setTextInteractionFlags(Qt::NoTextInteraction);

    g->addWidget(title, 0, 0);
    g->addWidget(cboRenommer, 0, 1);
    g->addWidget(cmdPrendrePlus, 0, 2);
    g->addWidget(cmdPrendreMoins, 0, 3);
    g->addWidget(cmdPrendreSupprimer, 0, 4);
    g->setColumnStretch(1, 1);
    // What the check of the pattern found while it was typed: shown here, so
    // that no box takes the focus from the rule box.
    lblRuleCheck = named(new QLabel, "lblRuleCheck");
    lblRuleCheck->setWordWrap(true);
    lblRuleCheck->setVisible(false);
    g->addWidget(lblRuleCheck, 1, 1, 1, 4);

    auto *start = named(new QLabel(QStringLiteral("Début :")), "Label6");
    txtDebut = pane::lineEdit("txtDebut", QStringLiteral("1"), 90);
    txtDebut->setToolTip(QStringLiteral("Premier nombre du compteur, ou # pour continuer la suite du dossier"));
    auto *step = named(new QLabel(QStringLiteral("Pas :")), "Label9");
    txtPas = pane::lineEdit("txtPas", QStringLiteral("1"), 60);
    auto *passes = named(new QLabel(QStringLiteral("Passes :")), "lblNbPasse");
    txtNbPasse = pane::lineEdit("txtNbPasse", QStringLiteral("0"), 50);
    txtNbPasse->setToolTip(QStringLiteral("Nombre de passes supplémentaires du renommage"));
    auto *counter = new QHBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{start, txtDebut, step, txtPas, passes, txtNbPasse})
        counter->addWidget(w);
    counter->addSpacing(16);
    counter->addWidget(lblComment, 1);
    g->addLayout(counter, 2, 1, 1, 4);
    // Each field is named by its label (and reached by it).
    title->setBuddy(cboRenommer);
    start->setBuddy(txtDebut);
    step->setBuddy(txtPas);
    passes->setBuddy(txtNbPasse);
    return frame;
}

QGroupBox *RulePane::buildOptionsFrame() {
    auto *frame = named(new QGroupBox(QStringLiteral("Options")), "Frame2");
    auto *o = new QGridLayout(frame);
    chkTrim = named(new QCheckBox(QStringLiteral("Effacer les espaces autour")), "chkTrim");
    chkUpperFirstChar = named(new QCheckBox(QStringLiteral("Première lettre en majuscule")), "chkUpperFirstChar");
    chkUpperCaseFirstWord = named(new QCheckBox(QStringLiteral("Majuscule à chaque mot")), "chkUpperCaseFirstWord");
    chkAutoIncrement = named(new QCheckBox(QStringLiteral("Numéroter les noms identiques")), "chkAutoIncrement");
    chkInterdit = named(new QCheckBox(QStringLiteral("Remplacer les caractères interdits")), "chkInterdit");
    chkRefresh = named(new QCheckBox(QStringLiteral("Mise à jour automatique")), "chkRefresh");
    chkPreview = named(new QCheckBox(QStringLiteral("Aperçu de l'image")), "chkPreview");
    chkExtension = named(new QCheckBox(QStringLiteral("Nouvelle extension :")), "chkExtension");
    txtExtension = pane::lineEdit("txtExtension", QString(), 90);
    auto *cases = named(new QLabel(QStringLiteral("Casse de l'extension et du nom :")), "Label10");
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
    auto *caseLine = new QHBoxLayout;
    caseLine->addWidget(cases);
    for (auto *r : optCasse)
        caseLine->addWidget(r);
    caseLine->addStretch(1);
    o->addLayout(caseLine, 2, 0, 1, 4);
    return frame;
}

void RulePane::wire() {
    // The combo box takes the focus for its line edit; the caret is followed
    // as it moves, for the token labels.
    cboRenommer->installEventFilter(this);
    QLineEdit *rule = cboRenommer->lineEdit();
    connect(rule, &QLineEdit::textEdited, this, &RulePane::ruleEdited);
    connect(rule, &QLineEdit::cursorPositionChanged, this, [this](int, int now) { emit caretMoved(now); });
    connect(cboRenommer, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { emit savedRuleChosen(cboRenommer->itemText(index)); });
    connect(cmdPrendrePlus, &QPushButton::clicked, this, &RulePane::rememberRuleClicked);
    connect(cmdPrendreMoins, &QPushButton::clicked, this, &RulePane::forgetRuleClicked);
    connect(cmdPrendreSupprimer, &QPushButton::clicked, this, &RulePane::forgetAllRulesClicked);

    for (Option option : {Option::Trim, Option::UpperFirstChar, Option::UpperEachWord, Option::AutoIncrement,
                          Option::Forbidden, Option::Extension, Option::AutoRefresh, Option::Preview})
        connect(box(option), &QCheckBox::toggled, this, [this, option](bool on) {
            if (option == Option::Extension)
                txtExtension->setEnabled(on);
            emit optionToggled(option, on);
        });
    connect(txtExtension, &QLineEdit::textChanged, this, &RulePane::extensionTextChanged);
    for (int i = 0; i < 3; ++i)
        connect(optCasse[i], &QRadioButton::clicked, this, [this, i] { emit caseChosen(i); });
    for (QWidget *w : {txtDebut, txtPas, txtNbPasse})
        w->installEventFilter(this);
    lblComment->installEventFilter(this);
}

QCheckBox *RulePane::box(Option option) const {
    switch (option) {
    case Option::Trim:
        return chkTrim;
    case Option::UpperFirstChar:
        return chkUpperFirstChar;
    case Option::UpperEachWord:
        return chkUpperCaseFirstWord;
    case Option::AutoIncrement:
        return chkAutoIncrement;
    case Option::Forbidden:
        return chkInterdit;
    case Option::Extension:
        return chkExtension;
    case Option::AutoRefresh:
        return chkRefresh;
    case Option::Preview:
        return chkPreview;
    }
    return nullptr;
}

bool RulePane::eventFilter(QObject *watched, QEvent *event) {
    if (watched == cboRenommer) {
        QLineEdit *rule = cboRenommer->lineEdit();
        if (event->type() == QEvent::FocusIn)
            emit ruleFocusIn(rule->text(), rule->cursorPosition());
        else if (event->type() == QEvent::FocusOut)
            emit ruleFocusOut(rule->text());
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        if (watched == txtDebut)
            emit counterFieldLeft(CounterField::Start, txtDebut->text());
        else if (watched == txtPas)
            emit counterFieldLeft(CounterField::Step, txtPas->text());
        else if (watched == txtNbPasse)
            emit counterFieldLeft(CounterField::Passes, txtNbPasse->text());
        return false;
    }
    if (watched == lblComment && event->type() == QEvent::MouseButtonDblClick) {
        emit commentEditRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QLineEdit *RulePane::ruleEdit() const {
    return cboRenommer->lineEdit();
}

bool RulePane::ruleBoxHasFocus() const {
    return cboRenommer->hasFocus() || cboRenommer->lineEdit()->hasFocus();
}

bool RulePane::isRuleBox(const QWidget *w) const {
    return w && (w == cboRenommer || w == cboRenommer->lineEdit());
}

void RulePane::setRuleText(const QString &text, int caret) {
    QSignalBlocker block(cboRenommer);
    cboRenommer->setEditText(text);
    if (caret < 0)
        return;
    cboRenommer->lineEdit()->setCursorPosition(caret);
    cboRenommer->setFocus();
}

void RulePane::setSavedRules(const QStringList &patterns) {
    const QString text = cboRenommer->currentText();
    QSignalBlocker block(cboRenommer);
    cboRenommer->clear();
    cboRenommer->addItems(patterns);
    cboRenommer->setEditText(text);
}

void RulePane::setRuleCheck(const QString &text) {
    lblRuleCheck->setText(text);
    lblRuleCheck->setToolTip(text);
    lblRuleCheck->setVisible(!text.isEmpty());
    // The box's frame says it too, for the eye already on it.
    cboRenommer->setStyleSheet(text.isEmpty() ? QString() : QStringLiteral("QComboBox { border: 1px solid #c0392b; }"));
    lblRuleCheck->setStyleSheet(QStringLiteral("color: #a93226;"));
    cboRenommer->setAccessibleDescription(text);
}

QString RulePane::ruleCheck() const {
    return lblRuleCheck->text();
}

void RulePane::setComment(const QString &text) {
    lblComment->setText(text);
}

QString RulePane::comment() const {
    return lblComment->text();
}

void RulePane::showFields(const Fields &f) {
    QSignalBlocker b1(chkTrim), b2(chkUpperFirstChar), b3(chkUpperCaseFirstWord), b4(chkAutoIncrement), b5(chkInterdit),
        b6(chkExtension), b7(txtExtension), b8(chkRefresh), b9(chkPreview);
    txtDebut->setText(f.start);
    txtPas->setText(f.step);
    chkPreview->setChecked(f.preview);
    chkExtension->setChecked(f.extensionOn);
    txtExtension->setText(f.extension);
    txtExtension->setEnabled(f.extensionOn);
    chkInterdit->setChecked(f.forbidden);
    chkRefresh->setChecked(f.autoRefresh);
    chkAutoIncrement->setChecked(f.autoIncrement);
    chkTrim->setChecked(f.trim);
    chkUpperFirstChar->setChecked(f.upperFirstChar);
    chkUpperCaseFirstWord->setChecked(f.upperEachWord);
}

void RulePane::setCounterField(CounterField field, const QString &text) {
    switch (field) {
    case CounterField::Start:
        txtDebut->setText(text);
        break;
    case CounterField::Step:
        txtPas->setText(text);
        break;
    case CounterField::Passes:
        txtNbPasse->setText(text);
        break;
    }
}

bool RulePane::isChecked(Option option) const {
    return box(option)->isChecked();
}

void RulePane::switchCommands(bool on, bool keepRuleBox) {
    if (on || !keepRuleBox)
        pane::switchCommands(this, on);
    else
        pane::switchCommands(this, false, {cboRenommer, lblComment, lblRuleCheck});
}

} // namespace tav
