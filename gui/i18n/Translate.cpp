#include "gui/i18n/Translate.h"

#include "core/base/ProgramFolder.h"
#include "core/i18n/Language.h"
#include "core/settings/Settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPixmap>

namespace tav::i18n {

namespace {

constexpr const char *CaptionProperty = "tavCaption";
constexpr const char *PictureProperty = "tavPicture";
constexpr const char *HoverProperty = "tavHoverPicture";
constexpr const char *ImageButtonProperty = "tavImageButton";

// Swaps an image button's picture while the pointer is over it.
class HoverPictures : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override {
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (button && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
            const char *which = event->type() == QEvent::Enter ? HoverProperty : PictureProperty;
            QVariant picture = button->property(which);
            if (!picture.isValid())
                picture = button->property(PictureProperty);
            button->setIcon(picture.isValid() ? picture.value<QIcon>() : QIcon());
        }
        return false;
    }
};

HoverPictures *hoverFilter() {
    static HoverPictures *filter = new HoverPictures();
    return filter;
}

// A picture in place of the caption. The decisive buttons (yes, no, cancel,
// modify) keep their caption beside the picture: a tick or a sign alone
// means Continue, OK, Yes or Download depending on the dialog.
constexpr const char *WordsProperty = "tavWordsBeside";
bool showsPicture(const QObject *control) {
    return control->property(PictureProperty).isValid() && !control->property(WordsProperty).toBool();
}
bool decisivePicture(const QString &pictureName) {
    static const QStringList decisive{QStringLiteral("oui"), QStringLiteral("non"), QStringLiteral("annuler"),
                                      QStringLiteral("modifier")};
    return decisive.contains(pictureName);
}

bool isSpecialName(const QString &name) {
    return name.isEmpty() || name.startsWith(QLatin1String("qt_"));
}

} // namespace

void setControlIndex(QObject *control, const QString &arrayName, int index) {
    control->setObjectName(arrayName + QLatin1Char('_') + QString::number(index));
    control->setProperty(IndexProperty, index);
}

int controlIndex(const QObject *control) {
    const QVariant v = control->property(IndexProperty);
    bool ok = false;
    const int index = v.toInt(&ok);
    return v.isValid() && ok && index >= 0 ? index : -1;
}

QString controlName(const QObject *control) {
    const QString name = control->objectName();
    const int index = controlIndex(control);
    if (index < 0)
        return name;
    const QString suffix = QLatin1Char('_') + QString::number(index);
    return name.endsWith(suffix) ? name.left(name.size() - suffix.size()) : name;
}

static QString keyFor(const QObject *control, const char *property) {
    const int index = controlIndex(control);
    QString key = controlName(control);
    if (index >= 0)
        key += QLatin1Char('(') + QString::number(index) + QLatin1Char(')');
    return key + QLatin1Char('.') + QLatin1String(property);
}

QString captionKey(const QObject *control) {
    return keyFor(control, "Caption");
}
QString toolTipKey(const QObject *control) {
    return keyFor(control, "ToolTipText");
}

bool caption(const QObject *control, QString &text) {
    if (auto *button = qobject_cast<const QAbstractButton *>(control)) {
        text = showsPicture(button) ? button->property(CaptionProperty).toString() : button->text();
        return true;
    }
    if (auto *label = qobject_cast<const QLabel *>(control)) {
        if (!label->pixmap().isNull())
            return false;
        text = label->text();
        return true;
    }
    if (auto *group = qobject_cast<const QGroupBox *>(control)) {
        text = group->title();
        return true;
    }
    if (auto *menu = qobject_cast<const QMenu *>(control)) {
        text = menu->title();
        return true;
    }
    if (auto *action = qobject_cast<const QAction *>(control)) {
        text = action->text();
        return true;
    }
    return false;
}

bool setCaption(QObject *control, const QString &text) {
    if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        if (showsPicture(button))
            button->setProperty(CaptionProperty, text);
        else
            button->setText(text);
        return true;
    }
    if (auto *label = qobject_cast<QLabel *>(control)) {
        if (!label->pixmap().isNull())
            return false;
        label->setText(text);
        return true;
    }
    if (auto *group = qobject_cast<QGroupBox *>(control)) {
        group->setTitle(text);
        return true;
    }
    if (auto *menu = qobject_cast<QMenu *>(control)) {
        menu->setTitle(text);
        return true;
    }
    if (auto *action = qobject_cast<QAction *>(control)) {
        action->setText(text);
        return true;
    }
    return false;
}

static bool toolTip(const QObject *control, QString &text) {
    if (auto *widget = qobject_cast<const QWidget *>(control)) {
        text = widget->toolTip();
        return true;
    }
    if (auto *action = qobject_cast<const QAction *>(control)) {
        // An action's tooltip defaults to its text; only an explicit one counts.
        text = action->toolTip() == action->iconText() ? QString() : action->toolTip();
        return true;
    }
    return false;
}

static void setToolTip(QObject *control, const QString &text) {
    if (auto *widget = qobject_cast<QWidget *>(control))
        widget->setToolTip(text);
    else if (auto *action = qobject_cast<QAction *>(control))
        action->setToolTip(text);
}

static bool belongsTo(const QObject *control, const QWidget *form) {
    // A control of a child window (a dialog parented to this form) is that
    // window's business.
    for (const QObject *o = control->parent(); o; o = o->parent()) {
        if (o == form)
            return true;
        if (auto *w = qobject_cast<const QWidget *>(o); w && w->isWindow())
            return false;
    }
    return false;
}

void translateForm(QWidget *form) {
    if (!form)
        return;
    const QString section =
        form->objectName().isEmpty() ? QString::fromLatin1(form->metaObject()->className()) : form->objectName();
    form->setWindowTitle(getText(section, section + QStringLiteral(".Caption"), form->windowTitle()));

    const QList<QObject *> controls = form->findChildren<QObject *>();
    for (QObject *control : controls) {
        if (isSpecialName(control->objectName()) || !belongsTo(control, form))
            continue;
        if (auto *w = qobject_cast<QWidget *>(control); w && w->isWindow())
            continue;
        QString text;
        if (caption(control, text))
            setCaption(control, getText(section, captionKey(control), text));
        if (toolTip(control, text))
            setToolTip(control, getText(section, toolTipKey(control), text));
        auto *button = qobject_cast<QAbstractButton *>(control);
        if (button && isImageButton(button) && button->toolTip().isEmpty()) {
            QString cap;
            caption(button, cap);
            button->setToolTip(cap);
        }
    }
    nameForAccessibility(form);
}

namespace {

constexpr const char *OwnNameProperty = "tavAccessibleName";

// What a control without words of its own is called: the caption an image
// button keeps aside, its tooltip, the label that names it, or the title of
// the frame it stands in.
QString accessibleNameOf(const QWidget *w, const QList<QLabel *> &labels) {
    QString text;
    if (auto *button = qobject_cast<const QAbstractButton *>(w); button && caption(button, text) && !text.isEmpty())
        return text;
    if (!w->toolTip().isEmpty())
        return w->toolTip();
    // The text box of an editable list box is named as the box.
    if (auto *box = qobject_cast<const QComboBox *>(w->parentWidget()))
        return accessibleNameOf(box, labels);
    for (const QLabel *label : labels)
        if (label->buddy() == w && !label->text().isEmpty())
            return label->text();
    for (const QWidget *up = w->parentWidget(); up && !up->isWindow(); up = up->parentWidget())
        if (auto *frame = qobject_cast<const QGroupBox *>(up); frame && !frame->title().isEmpty())
            return frame->title();
    // The window's main view (a help page, a list of pages) is named as the window.
    return w->window()->windowTitle();
}

} // namespace

void nameForAccessibility(QWidget *form) {
    const QList<QLabel *> labels = form->findChildren<QLabel *>();
    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (w->isWindow() || !belongsTo(w, form) || w->focusPolicy() == Qt::NoFocus)
            continue;
        // A button or a label says its own words; a name set elsewhere stays.
        auto *button = qobject_cast<QAbstractButton *>(w);
        if ((button && !button->text().isEmpty()) || qobject_cast<QLabel *>(w))
            continue;
        // The name this function gave last time; another one was set elsewhere.
        if (!w->accessibleName().isEmpty() && w->accessibleName() != w->property(OwnNameProperty).toString())
            continue;
        QString name = accessibleNameOf(w, labels);
        name.remove(QLatin1Char('&'));
        name = name.simplified();
        w->setAccessibleName(name);
        w->setProperty(OwnNameProperty, name);
    }
}

bool buttonPicturesEnabled() {
    return settings().AfficherImageBouton != 0;
}

void markImageButton(QAbstractButton *button) {
    button->setProperty(ImageButtonProperty, true);
}

bool isImageButton(const QAbstractButton *button) {
    return button->property(ImageButtonProperty).toBool();
}

QString picturePath(const QString &pictureName) {
    return QDir(programFolder()).filePath(QStringLiteral("langages/common/") + pictureName + QStringLiteral(".gif"));
}

bool setButtonPictures(QAbstractButton *button, const QString &pictureName) {
    if (!button)
        return false;
    markImageButton(button);
    bool loaded = false;
    const QPixmap normal(picturePath(pictureName));
    if (!normal.isNull()) {
        if (decisivePicture(pictureName)) {
            if (showsPicture(button)) // its caption comes back beside the picture
                button->setText(button->property(CaptionProperty).toString());
            button->setProperty(WordsProperty, true);
        } else {
            if (!showsPicture(button))
                button->setProperty(CaptionProperty, button->text());
            button->setText(QString());
        }
        button->setProperty(PictureProperty, QVariant::fromValue(QIcon(normal)));
        button->setIcon(QIcon(normal));
        button->setIconSize(normal.size());
        loaded = true;
    }
    const QPixmap hover(picturePath(pictureName + QStringLiteral("_d")));
    if (!hover.isNull()) {
        button->setProperty(HoverProperty, QVariant::fromValue(QIcon(hover)));
        button->removeEventFilter(hoverFilter());
        button->installEventFilter(hoverFilter());
    }
    return loaded;
}

} // namespace tav::i18n
