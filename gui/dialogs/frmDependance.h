#pragma once
// The list of what the program needs at run time: the program itself, then
// its libraries and tools, each with the version found on this machine. The
// list can be copied to the clipboard, one "name : version" line per row.

#include <QDialog>
#include <QList>
#include <functional>

class QPushButton;
class QTreeWidget;

namespace tav {

class frmDependance : public QDialog {
    Q_OBJECT
public:
    struct Row {
        QString name;
        QString version;
    };

    // Fills the list with dependencyRows() unless rows are given.
    explicit frmDependance(QWidget *parent = nullptr);
    frmDependance(const QList<Row> &rows, QWidget *parent);

    // The program (message 89 with its version), then the libraries through
    // TavGetVersionInformation and the tools through their own version option.
    static QList<Row> dependencyRows();
    // The first column, " : ", the second column and CR LF, for every row.
    static QString clipboardText(const QList<Row> &rows);
    // The version a tool prints for its version option, "Fichier inconnu" when
    // it cannot be run.
    static QString toolVersion(const QString &program, const QStringList &arguments);

    QList<Row> rows() const;
    QTreeWidget *list() const { return lstDependances; }

    // The help button shows only once something opens the help.
    void setHelpHandler(std::function<void()> onHelp);

public slots:
    void cmdPressePapier_Click();
    void cmdAide_Click();

private:
    void build();
    void setRows(const QList<Row> &rows);

    QTreeWidget *lstDependances;
    QPushButton *cmdPressePapier, *cmdAide, *cmdOK;
    std::function<void()> m_onHelp;
};

} // namespace tav
