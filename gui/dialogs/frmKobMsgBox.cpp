#include "gui/dialogs/frmKobMsgBox.h"

#include "core/base/FrontEnd.h"
#include "core/base/Trap.h"
#include "core/base/Twips.h"
#include "core/base/Version.h"
#include "core/settings/modIniFile.h"
#include "gui/dialogs/MsgBoxState.h"
#include "gui/i18n/Translate.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tav {

namespace {

// Designed positions (twips).
constexpr int IconLeft = 240, IconTop = 240, IconSize = 480;
constexpr int LabelLeft = 960, LabelTop = 240;
constexpr int CheckLeft = 240, CheckHeight = 200;

QLabel *iconLabel(QWidget *parent, const char *name, QStyle::StandardPixmap which) {
    auto *pic = new QLabel(parent);
    pic->setObjectName(QString::fromLatin1(name));
    const int px = twipsToPixels(IconSize);
    pic->setPixmap(parent->style()->standardIcon(which, nullptr, parent).pixmap(px, px));
    pic->hide();
    return pic;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption) {
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    i18n::markImageButton(b);
    return b;
}

} // namespace

frmKobMsgBox::frmKobMsgBox(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmKobMsgBox"));
    setWindowTitle(QStringLiteral("Message"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    lblMsg = new QLabel(this);
    lblMsg->setObjectName(QStringLiteral("lblMsg"));
    lblMsg->setTextFormat(Qt::PlainText);
    lblMsg->setTextInteractionFlags(Qt::TextSelectableByMouse);
    picVbCritical = iconLabel(this, "picVbCritical", QStyle::SP_MessageBoxCritical);
    picVbQuestion = iconLabel(this, "picVbQuestion", QStyle::SP_MessageBoxQuestion);
    picVbExclamation = iconLabel(this, "picVbExclamation", QStyle::SP_MessageBoxWarning);
    picVbInformation = iconLabel(this, "picVbInformation", QStyle::SP_MessageBoxInformation);

    // The five buttons, from the message box's own table.
    for (const MsgButton &b : msgAllButtons()) {
        QPushButton *pb = button(this, b.control, QString::fromUtf8(b.caption));
        const int answer = b.answer;
        connect(pb, &QPushButton::clicked, this, [this, answer] { press(answer); });
        m_buttons.insert(answer, pb);
    }
    cmdOK = m_buttons.value(AnswerOk);
    cmdAnnuler = m_buttons.value(AnswerCancel);
    cmdOui = m_buttons.value(AnswerYes);
    cmdNon = m_buttons.value(AnswerNo);
    cmdModifier = m_buttons.value(AnswerModify);

    chkAfficher = new QCheckBox(QStringLiteral("Ne plus afficher"), this);
    chkAfficher->setObjectName(QStringLiteral("chkAfficher"));
    connect(chkAfficher, &QCheckBox::clicked, this, [this] { chkAfficher_Click(); });

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));
    Timer->setInterval(1000);
    connect(Timer, &QTimer::timeout, this, &frmKobMsgBox::Timer_Timer);
}

void frmKobMsgBox::load() {
    if (i18n::buttonPicturesEnabled())
        for (const MsgButton &b : msgAllButtons())
            i18n::setButtonPictures(m_buttons.value(b.answer), QString::fromLatin1(b.picture));
    i18n::translateForm(this);
}

void frmKobMsgBox::place(QWidget *w, int left, int top, int width, int height) {
    w->setGeometry(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

void frmKobMsgBox::prepare(const QString &message, int &style, const QString &title, int delay, const QString &key) {
    for (QLabel *pic : {picVbCritical, picVbQuestion, picVbExclamation, picVbInformation})
        pic->hide();
    // Each icon value is taken off what the previous tests left.
    const struct {
        int value;
        QLabel *pic;
    } icons[] = {{64, picVbInformation}, {48, picVbExclamation}, {32, picVbQuestion}, {16, picVbCritical}};
    for (const auto &icon : icons) {
        if (style >= icon.value) {
            place(icon.pic, IconLeft, IconTop, IconSize, IconSize);
            icon.pic->show();
            style -= icon.value;
        }
    }

    KobMesgBox::countdown() = static_cast<std::int16_t>(std::clamp(delay, -32768, 32767));
    KobMesgBox::keyOnScreen() = key;

    // The label sizes itself to its text, but never wider than the screen allows.
    QString text = message;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lblMsg->setText(text);
    lblMsg->setWordWrap(false);
    QSize labelPx = lblMsg->sizeHint();
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const int maxPx = screen ? std::max(300, screen->availableGeometry().width() - twipsToPixels(2400)) : 1000;
    if (labelPx.width() > maxPx) {
        lblMsg->setWordWrap(true);
        labelPx = QSize(maxPx, lblMsg->heightForWidth(maxPx));
    }
    const int labelW = pixelsToTwips(labelPx.width());
    const int labelH = pixelsToTwips(labelPx.height());
    place(lblMsg, LabelLeft, LabelTop, labelW, labelH);
    setWindowTitle(title.isEmpty() ? QString::fromLatin1(ProgramTitle) : title);

    m_width = labelW + 1200;
    m_height = labelH + 1500;

    // Buttons: as wide as designed, or as their caption or picture needs.
    const QFontMetrics fm(font());
    for (QPushButton *b : {cmdOK, cmdAnnuler, cmdOui, cmdNon, cmdModifier}) {
        const int needPx = b->icon().isNull() ? fm.horizontalAdvance(b->text()) + twipsToPixels(300)
                                              : b->iconSize().width() + twipsToPixels(300);
        b->resize(std::max(twipsToPixels(ButtonWidth), needPx),
                  std::max(twipsToPixels(ButtonHeight), b->icon().isNull() ? 0 : b->iconSize().height() + 8));
    }
    const int buttonH = pixelsToTwips(cmdOK->height());

    // The designed margins assume designed control sizes: with taller buttons
    // (pictures), a taller check box or an empty message, the box grows so that
    // nothing covers the message or the icon.
    bool iconShown = false;
    for (QLabel *pic : {picVbCritical, picVbQuestion, picVbExclamation, picVbInformation})
        iconShown = iconShown || !pic->isHidden();
    const int contentBottom = std::max(LabelTop + labelH, iconShown ? IconTop + IconSize : 0);
    const int checkH = std::max(CheckHeight, pixelsToTwips(chkAfficher->sizeHint().height()));
    const int belowContent = key.isEmpty() ? 0 : checkH + 120;
    const int minButtonTop = contentBottom + 120 + belowContent;
    if (m_height - 500 - buttonH < minButtonTop)
        m_height = minButtonTop + 500 + buttonH;

    if (!key.isEmpty()) {
        // The check box sits above the row of buttons; a toolkit check box taller
        // than the designed one is raised by the difference so that it never
        // covers the buttons.
        place(chkAfficher, CheckLeft, m_height - 700 - buttonH - (checkH - CheckHeight),
              pixelsToTwips(chkAfficher->sizeHint().width()), checkH);
        chkAfficher->setChecked(false);
        chkAfficher->show();
    } else {
        chkAfficher->hide();
    }

    for (QPushButton *b : {cmdOK, cmdAnnuler, cmdOui, cmdNon, cmdModifier}) {
        b->move(0, twipsToPixels(m_height - 500 - pixelsToTwips(b->height())));
        b->setDefault(false);
    }

    const MsgButtonSet &set = msgButtonSet(style);
    m_set.clear();
    for (const MsgButton &b : set.buttons)
        m_set.append(m_buttons.value(b.answer));
    m_enter = m_buttons.value(set.enterAnswer);
    m_escape = m_buttons.value(set.escapeAnswer);
    for (QPushButton *b : {cmdOK, cmdAnnuler, cmdOui, cmdNon, cmdModifier})
        b->setVisible(m_set.contains(b));

    std::int16_t total = 0;
    for (QPushButton *b : m_set)
        total = static_cast<std::int16_t>(total + pixelsToTwips(b->width()));
    // Keep at least 500 twips of margin around the buttons; a narrower box
    // would give them a negative gap and let them overlap.
    if (m_width < total + 500)
        m_width = total + 500;
    const int n = static_cast<int>(m_set.size());
    const int gap = static_cast<std::int16_t>(std::lrint(double(m_width - total) / (n + 1)));
    int left = gap;
    for (QPushButton *b : m_set) {
        b->move(twipsToPixels(left), b->y());
        left += pixelsToTwips(b->width()) + gap;
    }
    m_enter->setDefault(true);
    setTabOrder(m_set.first(), m_set.last());

    if (delay > 0)
        for (QPushButton *b : m_set)
            b->setEnabled(false);

    setFixedSize(twipsToPixels(m_width), twipsToPixels(m_height));
}

void frmKobMsgBox::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (m_enter && m_enter->isEnabled())
        m_enter->setFocus();
    Timer->start();
}

void frmKobMsgBox::Timer_Timer() {
    trap(QStringLiteral("Timer_Timer (Feuille frmKobMsgBox)"), [this] {
        int &countdown = KobMesgBox::countdown();
        if (countdown > 0) {
            --countdown;
            if (countdown == 0) {
                for (QPushButton *b : {cmdOK, cmdAnnuler, cmdOui, cmdNon, cmdModifier})
                    b->setEnabled(true);
                if (m_enter)
                    m_enter->setFocus();
            }
        }
    });
}

void frmKobMsgBox::press(int answer) {
    KobMesgBox::setLastAnswer(answer);
    Timer->stop();
    done(answer);
}

void frmKobMsgBox::reject() {
    // Escape and the window's close control answer like the set's cancel
    // button, and only when it may be pressed.
    if (m_escape && m_escape->isVisible() && m_escape->isEnabled())
        m_escape->click();
}

void frmKobMsgBox::chkAfficher_Click() {
    const QString key = KobMesgBox::keyOnScreen();
    if (key.isEmpty())
        return;
    QSettings store = modIniFile::userStore();
    store.beginGroup(KobMesgBox::dialogBoxGroup());
    store.setValue(key, chkAfficher->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    store.endGroup();
    store.sync();
}

} // namespace tav
