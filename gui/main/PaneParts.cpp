#include "gui/main/PaneParts.h"

#include "gui/i18n/Translate.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>

namespace tav::pane {

void name(QWidget *w, const char *controlName, int index) {
    if (index < 0)
        w->setObjectName(QString::fromLatin1(controlName));
    else
        i18n::setControlIndex(w, QString::fromLatin1(controlName), index);
}

QPushButton *button(const char *controlName, const QString &caption, const QString &tip) {
    auto *b = named(new QPushButton(caption), controlName);
    if (!tip.isEmpty())
        b->setToolTip(tip);
    return b;
}

QLineEdit *lineEdit(const char *controlName, const QString &text, int width) {
    auto *e = named(new QLineEdit(text), controlName);
    if (width > 0)
        e->setMaximumWidth(width);
    return e;
}

namespace {

// Set on a widget this switch turned off, until it turns it on again.
constexpr const char *SwitchedOff = "tavSwitchedOff";

void turnOff(QWidget *w) {
    // A widget already off by its own choice is not ours to turn on later.
    if (w->testAttribute(Qt::WA_ForceDisabled))
        return;
    w->setProperty(SwitchedOff, true);
    w->setEnabled(false);
}

void turnOn(QWidget *w) {
    if (!w->property(SwitchedOff).toBool())
        return;
    w->setProperty(SwitchedOff, QVariant());
    w->setEnabled(true);
}

bool holdsAny(const QWidget *w, const QList<QWidget *> &keep) {
    for (const QWidget *k : keep)
        if (w == k || w->isAncestorOf(k))
            return true;
    return false;
}

void switchOff(QWidget *w, const QList<QWidget *> &keep) {
    if (auto *split = qobject_cast<QSplitter *>(w)) {
        for (int i = 0; i < split->count(); ++i)
            switchOff(split->widget(i), keep);
        return;
    }
    if (!holdsAny(w, keep)) {
        turnOff(w);
        return;
    }
    turnOn(w);
    if (keep.contains(w))
        return;
    for (QWidget *child : w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow())
            switchOff(child, keep);
}

} // namespace

void switchCommands(QWidget *container, bool on, const QList<QWidget *> &keep) {
    if (!on) {
        switchOff(container, keep);
        return;
    }
    turnOn(container);
    for (QWidget *w : container->findChildren<QWidget *>())
        turnOn(w);
}

} // namespace tav::pane
