#pragma once
// Translation of a whole window from the current language file, and the
// pictures of image buttons.
//
// Keys: a window's section is its objectName (the form's name, "frmMain");
// its title is "<form>.Caption"; a control's keys are "<name>.Caption" and
// "<name>.ToolTipText", where name is the control's objectName.
//
// Control arrays: an element of a control array carries its index in the
// dynamic property "tavIndex" and has the objectName "<array>_<index>"
// ("Label8_3"), so findChild still finds exactly one element. Its keys are
// "<array>(<index>).Caption" and "<array>(<index>).ToolTipText". Use
// setControlIndex() to make a widget an element and findControl() to find one.
//
// Captions: the text of buttons, check boxes, option buttons and labels, the
// title of group boxes and menus, the text of actions. Widgets without a
// caption (text boxes, lists) only have their tooltip translated.
//
// Image buttons: a button marked with markImageButton() (or given pictures by
// setButtonPictures()). While it shows a picture its caption is kept aside in
// the property "tavCaption" rather than drawn; after translation an image
// button whose tooltip is empty takes its caption as tooltip.

#include <QString>
#include <QWidget>

class QAbstractButton;

namespace tav::i18n {

inline constexpr const char *IndexProperty = "tavIndex";

// Makes control an element of the array arrayName with the given index.
void setControlIndex(QObject *control, const QString &arrayName, int index);
// The array name of an element, else the objectName.
QString controlName(const QObject *control);
// The index of an array element, or -1.
int controlIndex(const QObject *control);
// "Name.Caption" / "Name(3).Caption" and the same for ".ToolTipText".
QString captionKey(const QObject *control);
QString toolTipKey(const QObject *control);

template <class T = QWidget> T *findControl(const QObject *form, const QString &arrayName, int index) {
    return form->findChild<T *>(arrayName + QLatin1Char('_') + QString::number(index));
}

// A control's caption, whether drawn or kept aside by an image button; false
// when the control has no caption.
bool caption(const QObject *control, QString &text);
bool setCaption(QObject *control, const QString &text);

// The window's title, then every control's caption and tooltip, in the
// window's control order. Controls of other windows (child dialogs) are left alone.
void translateForm(QWidget *form);
// Gives every control of the window that shows no words of its own (a text
// box, a list, a picture button) an accessible name, from its kept caption,
// its tooltip, the label whose buddy it is or its frame's title; translateForm
// calls it, so the names follow the language.
void nameForAccessibility(QWidget *form);

// Whether dialogs load pictures on their image buttons (General_AfficherImageBouton).
bool buttonPicturesEnabled();

void markImageButton(QAbstractButton *button);
bool isImageButton(const QAbstractButton *button);

// Loads "langages/common/<name>.gif" of the program folder as the button's
// picture (its caption is then kept aside) and "<name>_d.gif" as the picture
// shown while the pointer is over it. A missing file leaves the caption or the
// hover picture as it was. Returns whether the normal picture was loaded.
bool setButtonPictures(QAbstractButton *button, const QString &pictureName);
QString picturePath(const QString &pictureName);

} // namespace tav::i18n
