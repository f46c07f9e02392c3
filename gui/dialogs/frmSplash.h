#pragma once
// The start-up window: the program's identity lines (name, version, release
// date and maker, notice) while the settings are read. It waits for nothing:
// start-up shows it, goes on, and unloads it when the main window shows.

#include <QWidget>

class QLabel;

namespace tav {

class frmSplash : public QWidget {
    Q_OBJECT
public:
    explicit frmSplash(QWidget *parent = nullptr);
    // The texts in the language in use (again once the settings named it).
    void load();
    // Shows the splash in the middle of the screen and lets it paint once.
    void showCentred();

    // The splash shows unless TRAVOLINE_NO_SPLASH is set to a non-empty value.
    static bool wanted();

private:
    QLabel *lblIcone, *lblTitre, *lblVersion, *lblDate, *lblNotice;
};

} // namespace tav
