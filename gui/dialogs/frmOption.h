#pragma once
// The options dialog: a list of eight pages beside their panels (after-rename
// choices, forbidden characters, start folder, date formats, language,
// thumbnails, metadata tools, files never renamed). The language and the
// folder picked with the browse button apply at once; everything else when
// the user confirms, which also writes the settings file. The logic lives in
// core/settings/Options; this window shows it and forwards the events.

#include "core/settings/Options.h"

#include <QDialog>
#include <QMap>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTableWidgetItem;

namespace tav {

class ExifReader;
class MainController;

class frmOption : public QDialog {
    Q_OBJECT
public:
    // What the dialog asks of the main window and of the desktop. Every
    // member has a working default except the main window's own services.
    struct Services {
        // The main window translates itself again (language change).
        std::function<void()> retranslateMain;
        // The main window's clear-metadata-cache command.
        std::function<void()> clearMetadataCache;
        // Opens the help at a topic; the help button shows only when set.
        std::function<void(int topic)> openHelp;
        // The desktop's folder picker: title, folder to start in; empty when cancelled.
        std::function<QString(QWidget *owner, const QString &title, const QString &start)> pickFolder;
        // The default browser and mail program.
        std::function<int(const QString &)> openUrl, openMail;
        // The user's documents folder (start folder choice 0).
        std::function<QString()> documentsFolder;
    };

    // reader: the metadata reader whose tool cmdExifTool chooses.
    frmOption(MainController *controller, ExifReader *reader, const Services &services, QWidget *parent = nullptr);

    // The help topic of this dialog.
    static constexpr int HelpTopic = 10001;

public slots:
    void lstOptions_Click();
    void cboLangage_Click();
    void cboDossier_Click();
    void chkFormatVignette_Click();
    void cmdDossierSpecifique_Click();
    void cmdExifTool_Click();
    void cmdEffacerExif_Click();
    void cmdAide_Click();
    void cmdOK_Click();
    void cmdAnnuler_Click();
    // The user finished editing a cell of one of the two tables.
    void lstCharInterdit_AfterLabelEdit(int row, const QString &text);
    void lstFichierInterdit_AfterLabelEdit(int row, const QString &text);

signals:
    // A thumbnail setting changed on confirming: the thumbnails are drawn again.
    void thumbnailSettingsChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    QWidget *buildPage(int index);
    void addSwitches(QLayout *layout, int page);
    void buildCounterPage(QWidget *page);
    void wire();
    void Form_Load();
    // The texts that come from messages, after a language change too.
    void showMessageTexts();
    void showTranslator();
    void showForbidden(const QList<ForbiddenRow> &rows);
    void showNeverRenamed(const QStringList &rows);
    QList<ForbiddenRow> forbiddenRows() const;
    QStringList neverRenamedRows() const;
    options::Form formValues() const;
    void counterFieldLeave(QLineEdit *field, const char *procedure);

    MainController *m_controller;
    ExifReader *m_reader;
    Services m_services;
    options::Translator m_translator;

    QListWidget *lstOptions = nullptr;
    std::array<QGroupBox *, 8> Frame1{};
    QLabel *lblRemark = nullptr;
    // Page 0: after renaming.
    std::array<QRadioButton *, 2> optRegle{};
    std::array<QRadioButton *, 3> optDebut{};
    std::array<QRadioButton *, 2> optPas{};
    QLineEdit *txtDebut = nullptr, *txtPas = nullptr;
    QGroupBox *fraRegle = nullptr, *fraDebut = nullptr, *fraPas = nullptr;
    // Page 1 and 7: the two tables.
    QTableWidget *lstCharInterdit = nullptr, *lstFichierInterdit = nullptr;
    // Page 2: start folder.
    QComboBox *cboDossier = nullptr;
    QLineEdit *txtDossierSpecifique = nullptr;
    QPushButton *cmdDossierSpecifique = nullptr;
    // Page 3: date formats.
    QComboBox *cboYear = nullptr, *cboMois = nullptr;
    QLabel *lblAnnee = nullptr, *lblMois = nullptr;
    // Page 4: language.
    QComboBox *cboLangage = nullptr;
    QLabel *lblLangage = nullptr, *lblTraduction = nullptr, *lblTraducteur = nullptr, *lblSiteTraducteur = nullptr;
    // Page 5: thumbnails.
    QCheckBox *chkFormatVignette = nullptr;
    QMap<QString, QCheckBox *> m_switches; // the check boxes of options::optionSwitches()
    QLineEdit *txtExtensionVignette = nullptr;
    QComboBox *cboVignette = nullptr;
    QLabel *lblTailleVignette = nullptr;
    // Page 6: metadata tools.
    QLineEdit *txtFormatJHead = nullptr, *txtFormatExifTool = nullptr;
    QLabel *lblFormatJHead = nullptr, *lblFormatExifTool = nullptr;
    QPushButton *cmdExifTool = nullptr, *cmdEffacerExif = nullptr;
    // Buttons.
    QPushButton *cmdOK = nullptr, *cmdAnnuler = nullptr, *cmdAide = nullptr;
};

} // namespace tav
