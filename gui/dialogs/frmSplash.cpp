#include "gui/dialogs/frmSplash.h"

#include "core/base/Version.h"
#include "core/i18n/Language.h"
#include "gui/dialogs/AboutConfig.h"
#include "gui/i18n/Translate.h"

#include <QCoreApplication>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

namespace tav {

namespace {

// The about box's texts: the splash shows the same identity lines.
QString aboutText(const char *key, const QString &def, const QString &p1 = {}, const QString &p2 = {}) {
    return i18n::getText(QStringLiteral("frmAboutCredits"), QString::fromLatin1(key), def, p1, p2);
}

} // namespace

frmSplash::frmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto *frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setStyleSheet(QStringLiteral("QFrame { background: white; border: 1px solid #6a7f99; }"
                                        "QLabel { border: none; color: #1d2b3a; }"));
    lblIcone = new QLabel(frame);
    lblIcone->setObjectName(QStringLiteral("lblIcone"));
    const QIcon icon = QIcon::fromTheme(QStringLiteral("travoline"));
    if (!icon.isNull())
        lblIcone->setPixmap(icon.pixmap(64, 64));
    else
        lblIcone->hide();
    lblTitre = new QLabel(QString::fromLatin1(ProgramTitle), frame);
    lblTitre->setObjectName(QStringLiteral("lblTitre"));
    QFont big = lblTitre->font();
    big.setPointSize(26);
    big.setBold(true);
    lblTitre->setFont(big);
    lblVersion = new QLabel(frame);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDate = new QLabel(frame);
    lblDate->setObjectName(QStringLiteral("lblDate"));
    lblNotice = new QLabel(frame);
    lblNotice->setObjectName(QStringLiteral("lblNotice"));
    lblNotice->setWordWrap(true);

    auto *lines = new QVBoxLayout(frame);
    lines->setContentsMargins(28, 22, 28, 22);
    for (QLabel *l : {lblIcone, lblTitre, lblVersion, lblDate, lblNotice}) {
        l->setAlignment(Qt::AlignHCenter);
        lines->addWidget(l);
    }
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    setFixedWidth(420);
    load();
}

void frmSplash::load() {
    lblVersion->setText(aboutText("Version", QStringLiteral("Version %s"), QString::fromLatin1(VersionText)));
    const QString maker = aboutText("Auteur", QStringLiteral("L'équipe Travoline"));
    const QString date = QString::fromLatin1(about::ReleaseDate);
    lblDate->setText(date.isEmpty() ? maker
                                    : aboutText("DateAuteur", QStringLiteral("Publiée le %s par %s"), date, maker));
    lblNotice->setText(aboutText("Notice", QString()));
    lblNotice->setVisible(!lblNotice->text().isEmpty());
    adjustSize();
}

void frmSplash::showCentred() {
    if (const QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    show();
    // One pass of the event loop paints it; nothing waits for it after that.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool frmSplash::wanted() {
    return qEnvironmentVariableIsEmpty("TRAVOLINE_NO_SPLASH");
}

} // namespace tav
