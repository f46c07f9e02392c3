#pragma once
// The program's help window: the manual of the language in use, with a
// contents list built from its headings, back and forward, and a search that
// narrows the contents to the sections holding every word typed and marks
// them in the page. It stays open beside the program until the program ends.

#include <QUrl>
#include <QWidget>

class QLabel;
class QLineEdit;
class QSplitter;
class QTextBrowser;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tav {

class frmHelp : public QWidget {
    Q_OBJECT
public:
    explicit frmHelp(QWidget *parent = nullptr);

    // Shows file at topic's anchor (0: its start); the file is read again
    // only when it is another one than the page on view.
    void open(const QString &file, int topic);
    // The manual on view and the anchor last gone to.
    QString file() const;
    QString anchor() const;
    // A line shown above the page (the manual is not in the language in
    // use); empty hides it.
    void setNote(const QString &text);
    QString note() const;

    // Narrows the contents to the sections that hold every word of text
    // (case and accents ignored) and marks the words in the page; empty text
    // shows the whole contents.
    void search(const QString &text);
    // Titles of the contents entries shown, depth first.
    QStringList visibleContents() const;

    // Places the window beside other (right, else left, else over its right half).
    void placeBeside(const QWidget *other);

protected:
    // The interface language changed: the window's texts follow.
    void changeEvent(QEvent *event) override;

private:
    void buildContents();
    void goTo(const QString &anchor);
    void findNext();
    void updateButtons();

    QToolButton *cmdPrecedent, *cmdSuivant, *cmdSommaire;
    QLabel *lblRecherche;
    QLabel *lblNote;
    QLineEdit *txtRecherche;
    QTreeWidget *lstSommaire;
    QTextBrowser *txtPage;
    QSplitter *m_split;
    QString m_file;
    QString m_anchor;
};

} // namespace tav
