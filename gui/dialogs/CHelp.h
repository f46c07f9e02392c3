#pragma once
// Opening the manual at a topic. Every help button calls CHelp::show with
// its topic; the help window is kept and closed when the program ends,
// before the settings are saved.

#include <QString>
#include <functional>

namespace tav {

class frmHelp;

class CHelp {
public:
    // Opens helpFile at topic (0: its start) in the help window. A missing
    // file opens the English manual with a note above it; when that is
    // missing too, message 53 is asked and, on yes, the online manual opened;
    // without a support site the user is only told that the manual is not
    // installed.
    void ShowHelp(const QString &helpFile, int topic = 0);

    // The manual of the language in use at topic.
    static void show(int topic);

    // The help window opened by the program, or null.
    static frmHelp *window();
    // Closes and forgets the help window (quitting).
    static void closeWindow();
    // Hooks the close of the help window into the close-time save.
    static void install();

    // How a web address is opened (TavOpenUrl unless a test replaces it).
    static std::function<void(const QString &)> &urlOpener();
};

} // namespace tav
