#pragma once
// The regular-expression builder: a pattern, its replacement and the case
// choice, with the operator they make and, as they are typed, its result on
// an example name (the selected file's). The pattern and the replacement are
// typed as PCRE2 reads them: the builder escapes the "/" and "$" that the
// pattern language would take for the end of a field. Its command writes the
// operator into the rule, in place of the rule's first $REGEX operator or as
// the whole rule when it has none.

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tav {

class frmRegex : public QDialog {
    Q_OBJECT
public:
    // rule: the rule as it stands (its first $REGEX operator fills the
    // fields); exampleName: a file name with its extension.
    frmRegex(const QString &rule, const QString &exampleName, QWidget *parent = nullptr);

    // The operator the fields make, and the rule with it.
    QString operatorText() const;
    QString ruleText() const;

private:
    void showExample();

    QString m_rule;
    QLineEdit *txtMotif = nullptr, *txtRemplacement = nullptr, *txtExemple = nullptr;
    QCheckBox *chkCasse = nullptr;
    QLabel *lblOperateur = nullptr, *lblResultat = nullptr;
    QPushButton *cmdEcrire = nullptr, *cmdAnnuler = nullptr;
};

} // namespace tav
