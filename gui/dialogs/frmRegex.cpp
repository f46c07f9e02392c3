#include "gui/dialogs/frmRegex.h"

#include "core/base/mTavCommon.h"
#include "core/engine/RegexOperator.h"
#include "core/i18n/Language.h"
#include "core/settings/modIniFile.h"
#include "gui/i18n/Translate.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace tav {

namespace {

template <class W> W *named(W *w, const char *name) {
    w->setObjectName(QLatin1String(name));
    return w;
}

QString sectionText(const char *key, const char *fallback) {
    return i18n::getText(QStringLiteral("frmRegex"), QLatin1String(key), QString::fromUtf8(fallback));
}

} // namespace

frmRegex::frmRegex(const QString &rule, const QString &exampleName, QWidget *parent) : QDialog(parent), m_rule(rule) {
    setObjectName(QStringLiteral("frmRegex"));
    setWindowTitle(QStringLiteral("Expression régulière"));
    auto *g = new QGridLayout(this);
    txtMotif = named(new QLineEdit, "txtMotif");
    txtMotif->setMinimumWidth(360);
    txtRemplacement = named(new QLineEdit, "txtRemplacement");
    chkCasse = named(new QCheckBox(QStringLiteral("Ignorer la casse")), "chkCasse");
    auto *help = named(new QLabel(QString::fromUtf8("\\1 à \\9 : les groupes du motif, \\0 : tout ce qu'il trouve. "
                                                    "« $ » en fin de motif : la fin du nom.")),
                       "lblAide");
    help->setWordWrap(true);
    txtExemple = named(new QLineEdit(exampleName), "txtExemple");
    lblOperateur = named(new QLabel, "lblOperateur");
    lblOperateur->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblResultat = named(new QLabel, "lblResultat");
    lblResultat->setWordWrap(true);
    lblResultat->setTextInteractionFlags(Qt::TextSelectableByMouse);

    int row = 0;
    g->addWidget(named(new QLabel(QStringLiteral("Motif :")), "lblMotif"), row, 0);
    g->addWidget(txtMotif, row++, 1);
    g->addWidget(named(new QLabel(QStringLiteral("Remplacer par :")), "lblRemplacement"), row, 0);
    g->addWidget(txtRemplacement, row++, 1);
    g->addWidget(chkCasse, row++, 1);
    g->addWidget(help, row++, 0, 1, 2);
    g->addWidget(named(new QLabel(QStringLiteral("Opérateur :")), "lblOperateurTitre"), row, 0);
    g->addWidget(lblOperateur, row++, 1);
    g->addWidget(named(new QLabel(QStringLiteral("Exemple :")), "lblExemple"), row, 0);
    g->addWidget(txtExemple, row++, 1);
    g->addWidget(named(new QLabel(QStringLiteral("Devient :")), "lblDevient"), row, 0);
    g->addWidget(lblResultat, row++, 1);

    cmdEcrire = named(new QPushButton(QStringLiteral("Écrire la règle")), "cmdEcrire");
    cmdEcrire->setDefault(true);
    cmdAnnuler = named(new QPushButton(QStringLiteral("Annuler")), "cmdAnnuler");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdEcrire);
    buttons->addWidget(cmdAnnuler);
    g->addLayout(buttons, row, 0, 1, 2);

    // The rule's operator, when it has one, is the starting point; else what
    // was typed here last time, written or not, so that nothing typed is lost.
    const QList<RegexSpan> spans = findRegexOperators(rule);
    QSettings store = modIniFile::userStore();
    store.beginGroup(QStringLiteral("frmRegex"));
    if (!spans.isEmpty()) {
        const RegexFields fields = regexFieldsOf(spans.first());
        txtMotif->setText(fields.pattern);
        txtRemplacement->setText(fields.replacement);
        chkCasse->setChecked(fields.ignoreCase);
    } else {
        txtMotif->setText(store.value(QStringLiteral("Pattern")).toString());
        txtRemplacement->setText(store.value(QStringLiteral("Replacement")).toString());
        chkCasse->setChecked(store.value(QStringLiteral("IgnoreCase"), false).toBool());
    }
    connect(this, &QDialog::finished, this, [this] {
        QSettings store = modIniFile::userStore();
        store.beginGroup(QStringLiteral("frmRegex"));
        store.setValue(QStringLiteral("Pattern"), txtMotif->text());
        store.setValue(QStringLiteral("Replacement"), txtRemplacement->text());
        store.setValue(QStringLiteral("IgnoreCase"), chkCasse->isChecked());
    });

    for (QLineEdit *e : {txtMotif, txtRemplacement, txtExemple})
        connect(e, &QLineEdit::textChanged, this, &frmRegex::showExample);
    connect(chkCasse, &QCheckBox::toggled, this, &frmRegex::showExample);
    connect(cmdEcrire, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdAnnuler, &QPushButton::clicked, this, &QDialog::reject);
    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdEcrire, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdAnnuler, QStringLiteral("annuler"));
    }
    i18n::translateForm(this);
    showExample();
}

QString frmRegex::operatorText() const {
    return regexOperatorText(txtMotif->text(), txtRemplacement->text(), chkCasse->isChecked());
}

QString frmRegex::ruleText() const {
    return ruleWithRegexOperator(m_rule, operatorText());
}

void frmRegex::showExample() {
    const QString op = operatorText();
    lblOperateur->setText(op);
    const QList<RegexSpan> spans = findRegexOperators(op);
    const bool typed = !txtMotif->text().isEmpty() && spans.size() == 1 && regexSpanWellFormed(spans.first());
    cmdEcrire->setEnabled(typed);
    QPalette palette = lblResultat->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Active, QPalette::Text));
    if (!typed) {
        lblResultat->setText(sectionText("Vide", "Type a pattern."));
        lblResultat->setPalette(palette);
        return;
    }
    const RegexReplacer replacer = replacerOf(spans.first());
    // A pattern that does not compile is not written: the reason says what to mend.
    cmdEcrire->setEnabled(replacer.isValid());
    QString text;
    bool fault = true;
    if (!replacer.isValid()) {
        // As the rule check will say it, with the place in the rule written.
        const QString rule = ruleText();
        const qsizetype at = findRegexOperators(rule).value(0).patternAt;
        text = i18n::getText(QStringLiteral("MSG"), QStringLiteral("m107"),
                             QStringLiteral("The regular expression is refused: %s (at character %s of the renaming "
                                            "pattern)."),
                             replacer.errorText(), QString::number(at + replacer.errorOffset() + 1));
    } else {
        const QString name = txtExemple->text();
        QString base = name, extension;
        try {
            base = mTavCommon::TavStrWithoutExt(name);
            extension = mTavCommon::TavGetExtension(name);
        } catch (...) {
        }
        const RegexReplacer::Result r = replacer.apply(base);
        if (!r.failure.isEmpty()) {
            text = i18n::getText(QStringLiteral("MSG"), QStringLiteral("m108"),
                                 QStringLiteral("The regular expression could not be applied to this name (%s): "
                                                "the file gets no new name."),
                                 r.failure);
        } else {
            text = extension.isEmpty() ? r.text : r.text + u'.' + extension;
            fault = false;
        }
    }
    if (fault)
        palette.setColor(QPalette::WindowText, QColor(192, 0, 0));
    lblResultat->setText(text);
    lblResultat->setPalette(palette);
}

} // namespace tav
