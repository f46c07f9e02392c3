#pragma once
// Small pieces the main window's panes share: named controls (the language
// files key translations by control name) and the switch of a pane's
// commands around long operations.

#include <QList>

class QLineEdit;
class QPushButton;
class QString;
class QWidget;

namespace tav::pane {

// Names a control; an array element also gets its index for the language keys.
void name(QWidget *w, const char *name, int index = -1);
template <class W> W *named(W *w, const char *controlName, int index = -1) {
    name(w, controlName, index);
    return w;
}
QPushButton *button(const char *name, const QString &caption, const QString &tip);
QLineEdit *lineEdit(const char *name, const QString &text, int width = -1);

// Switches the controls of container off or back on. Off: the container as a
// whole, or, when it holds some of keep, each of its parts that holds none
// (a splitter is layout, never a command: its parts are switched one by one
// and its handles left alone). The widgets of keep, and what holds them, are
// left on. On: what an earlier call switched off comes back on, and nothing
// else, so a control that was off for its own reason stays off.
void switchCommands(QWidget *container, bool on, const QList<QWidget *> &keep = {});

} // namespace tav::pane
