#pragma once
// The token pane: the tips list and, one at a time, its six groups of token
// labels. A click on a label inserts its token into the rule. The metadata
// group also shows the current photo's values and the tool in use; the last
// three groups are the replace-a-text and replace-by-position builders and the
// regular-expression operator, whose builder is a dialog of its own.

#include <QGroupBox>
#include <QList>

#include <array>

class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QScrollArea;
class Hovrix;

namespace tav {

struct Settings;

class TokenPane : public QGroupBox {
    Q_OBJECT
public:
    static constexpr int GroupCount = 7;
    static constexpr int MetadataGroup = 3;
    static constexpr int ReplaceTextGroup = 4;
    static constexpr int ReplaceAtGroup = 5;
    static constexpr int RegexGroup = 6;
    static constexpr int MetadataValueCount = 6;

    // The hover controls of the token labels live in hoverHost (the window).
    explicit TokenPane(QWidget *hoverHost, QWidget *parent = nullptr);

    // The tips list from the language file, with storedTip selected (the
    // first tip when it is not found), and its group shown.
    void fillTips(const QString &storedTip);
    // The tips' texts again from the current language file.
    void retranslateTips();
    // Shows the group of the selected tip, titled with the tip's text.
    void showSelectedGroup();
    // The pane at one size whichever group shows (after translation).
    void fitSize();
    void fitGroupsHeight();

    void setMetadataValue(int index, const QString &text);
    void setToolText(const QString &text);

    // The two builders' fields from the settings; the builders and the
    // selected tip into them.
    void loadBuilders(const Settings &s);
    void storeInto(Settings &s) const;

signals:
    // A token label was clicked: its index and its text.
    void tokenClicked(int index, const QString &text);
    // The selected tip changed; the metadata group came into view.
    void tipChosen(const QString &tip);
    void metadataGroupShown();
    void clearMetadataCacheClicked();
    // The builders' "write the rule" commands.
    void replaceByPositionRequested(int way, const QStringList &fields, int end, const QString &replacement);
    void replaceTextRequested(const QString &search, const QString &replacement, int way);
    // The regular-expression builder is asked for.
    void regexBuilderRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildTokenGroup(int group);
    void buildMetadataValues(QGridLayout *grid, int rows);
    void buildReplaceText();
    void buildReplaceByPosition();
    void buildRegex();
    void hostHoverControl(QWidget *host, int index);
    void wireBuilders();
    void enableWays();

    QListWidget *lstAstuce = nullptr;
    QWidget *m_groups = nullptr; // where the six groups take turns
    QScrollArea *m_scroll = nullptr;
    std::array<QGroupBox *, GroupCount> fAstuce{};
    QList<QLabel *> Label8; // one per token label of the token table
    QList<Hovrix *> Hovrix1;
    std::array<QLabel *, MetadataValueCount> lblExif{};
    QLabel *lblExitToolUsed = nullptr;
    QPushButton *cmdEffacerExif = nullptr;
    // Replace-string builder.
    QLineEdit *txtRechercher = nullptr, *txtRemplacer = nullptr;
    std::array<QRadioButton *, 3> optRepStr{};
    std::array<QLabel *, 3> lblRepStr{};
    QPushButton *cmdRepStr = nullptr;
    // Replace-by-position builder.
    std::array<QRadioButton *, 3> optRepPos{};
    std::array<QLineEdit *, 4> txtRepPos{};
    std::array<QLabel *, 4> lblRepPos{};
    std::array<QRadioButton *, 2> optRepPosDebutFin{};
    QLineEdit *txtRemplacerPos = nullptr;
    QPushButton *cmdRepPos = nullptr;
    QPushButton *cmdRegex = nullptr;
};

} // namespace tav
