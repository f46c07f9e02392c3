#pragma once
// The rule pane: the rule box with its saved-rule commands, the counter's
// start, step and passes, the rule's comment, and the options of the rule
// (trimming, upper case, numbering, forbidden characters, extension and case,
// automatic update, preview).

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tav {

class RulePane : public QWidget {
    Q_OBJECT
public:
    enum class Option {
        Trim,
        UpperFirstChar,
        UpperEachWord,
        AutoIncrement,
        Forbidden,
        Extension,
        AutoRefresh,
        Preview
    };
    enum class CounterField { Start, Step, Passes };
    // What the fields show, from the rule and the settings.
    struct Fields {
        QString start, step, extension;
        bool trim = false, upperFirstChar = false, upperEachWord = false, autoIncrement = false, forbidden = false,
             extensionOn = false, autoRefresh = false, preview = false;
    };

    explicit RulePane(QWidget *parent = nullptr);

    // The rule box's line edit (its caret and selection are kept around messages).
    QLineEdit *ruleEdit() const;
    bool ruleBoxHasFocus() const;
    // Whether w is the rule box or its line edit.
    bool isRuleBox(const QWidget *w) const;
    // The rule's text, with no signal; with a caret, the caret is put there
    // and the rule box takes the focus.
    void setRuleText(const QString &text, int caret = -1);
    void setSavedRules(const QStringList &patterns);
    void setComment(const QString &text);
    // The line under the rule box: what the check of the typed pattern found.
    void setRuleCheck(const QString &text);
    QString ruleCheck() const;
    QString comment() const;
    void showFields(const Fields &fields);
    void setCounterField(CounterField field, const QString &text);
    bool isChecked(Option option) const;
    // The commands off during a long operation, back on after it; while the
    // user types, the rule box and the comment stay on.
    void switchCommands(bool on, bool keepRuleBox);

signals:
    void ruleEdited(const QString &text);
    void caretMoved(int position);
    void savedRuleChosen(const QString &pattern);
    void ruleFocusIn(const QString &text, int caret);
    void ruleFocusOut(const QString &text);
    void rememberRuleClicked();
    void forgetRuleClicked();
    void forgetAllRulesClicked();
    void commentEditRequested();
    // A counter field lost the focus with this text.
    void counterFieldLeft(CounterField field, const QString &text);
    void optionToggled(Option option, bool on);
    void extensionTextChanged(const QString &text);
    void caseChosen(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QGroupBox *buildRuleFrame();
    QGroupBox *buildOptionsFrame();
    void wire();
    QCheckBox *box(Option option) const;

    QComboBox *cboRenommer = nullptr;
    QLabel *lblComment = nullptr, *lblRuleCheck = nullptr;
    QLineEdit *txtDebut = nullptr, *txtPas = nullptr, *txtNbPasse = nullptr, *txtExtension = nullptr;
    QPushButton *cmdPrendrePlus = nullptr, *cmdPrendreMoins = nullptr, *cmdPrendreSupprimer = nullptr;
    QCheckBox *chkAutoIncrement = nullptr, *chkExtension = nullptr, *chkInterdit = nullptr, *chkPreview = nullptr,
              *chkRefresh = nullptr, *chkTrim = nullptr, *chkUpperFirstChar = nullptr, *chkUpperCaseFirstWord = nullptr;
    std::array<QRadioButton *, 3> optCasse{};
};

} // namespace tav
