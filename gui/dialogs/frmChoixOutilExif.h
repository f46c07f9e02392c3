#pragma once
// The choice of the metadata tool: explanations, the list of the three modes
// offered (jhead only, jhead then ExifTool, ExifTool only; the batch mode is
// shown when it is the current one), OK and help. OK hands the list's text to
// the reader, which stops and starts the resident ExifTool as needed.

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;

namespace tav {

class ExifReader;

class frmChoixOutilExif : public QDialog {
    Q_OBJECT
public:
    // reader: the reader whose mode is chosen (the process-wide one by default).
    explicit frmChoixOutilExif(ExifReader *reader = nullptr, QWidget *parent = nullptr);

    // Opens the dialog modally for reader (the one the name computation uses)
    // and returns the mode in use afterwards. onHelp runs when the help button
    // is pressed (the window that owns the help opens it).
    static int choose(ExifReader &reader, QWidget *parent = nullptr, const std::function<void()> &onHelp = {});

signals:
    // The help button: the window that owns the help opens it.
    void helpRequested();

public slots:
    void cmdOK_Click();
    void cmdAide_Click();

private:
    void load();
    QString toolsText() const;

    ExifReader *m_reader;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label9, *Label10;
    QLabel *Label8[2];
    // Which choices need an outside tool, and whether it is installed.
    QLabel *lblOutils;
    QComboBox *cboChoix;
    QPushButton *cmdOK, *cmdAide;
};

} // namespace tav
