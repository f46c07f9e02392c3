#include "gui/dialogs/frmAboutCredits.h"

#include "core/base/Addresses.h"
#include "core/base/IniFile.h"
#include "core/base/ProgramFolder.h"
#include "core/base/Version.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/Language.h"
#include "core/update/UpdateCheck.h"
#include "gui/dialogs/AboutConfig.h"
#include "gui/dialogs/frmDependance.h"
#include "gui/dialogs/frmMiseAJour.h"
#include "gui/i18n/Translate.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/statvfs.h>

namespace tav {

namespace {

const char Section[] = "frmAboutCredits";

QString caption(const char *key, const QString &def, const QString &p1 = QString(), const QString &p2 = QString()) {
    return i18n::getText(QLatin1String(Section), QLatin1String(key), def, p1, p2);
}

// Mount points in /proc/self/mounts write a blank, tab, newline and backslash as octal escapes.
QString unescapeMount(const QByteArray &field) {
    QByteArray out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

// The letter after K, M, G of a byte count: "o" in French, "B" in English.
QString byteUnit() {
    return caption("Octet", QStringLiteral("o"));
}

} // namespace

// ---- Credits ----

QList<CreditLine> parseCredits(const QString &text) {
    QList<CreditLine> lines;
    CreditLine state; // the first line: centred, plain, 12 points
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QString rest : normalised.split(QLatin1Char('\n'))) {
        CreditLine line = state;
        line.paragraph = false;
        line.sameLine = false;
        for (;;) {
            if (rest.startsWith(QLatin1String("<AL>")))
                line.alignment = CreditLine::Left, rest.remove(0, 4);
            else if (rest.startsWith(QLatin1String("<AC>")))
                line.alignment = CreditLine::Centre, rest.remove(0, 4);
            else if (rest.startsWith(QLatin1String("<AR>")))
                line.alignment = CreditLine::Right, rest.remove(0, 4);
            else if (rest.startsWith(QLatin1String("<B>")))
                line.bold = true, rest.remove(0, 3);
            else if (rest.startsWith(QLatin1String("</B>")))
                line.bold = false, rest.remove(0, 4);
            else if (rest.startsWith(QLatin1String("<I>")))
                line.italic = true, rest.remove(0, 3);
            else if (rest.startsWith(QLatin1String("</I>")))
                line.italic = false, rest.remove(0, 4);
            else if (rest.startsWith(QLatin1String("<PL>")))
                line.sameLine = true, rest.remove(0, 4);
            else if (rest.startsWith(QLatin1String("<P>")))
                line.paragraph = true, rest.remove(0, 3);
            else if (rest.size() >= 5 && rest.startsWith(QLatin1String("<F")) && rest[2].isDigit() &&
                     rest[3].isDigit() && rest[4] == QLatin1Char('>'))
                line.size = rest.mid(2, 2).toInt(), rest.remove(0, 5);
            else
                break;
        }
        line.text = rest;
        lines << line;
        state = line;
    }
    return lines;
}

QString creditsText(const QString &languageName) {
    // The words come from section Credits of that language's file; the French
    // ones stand in for a missing file or key.
    const IniFile file(
        QDir(programFolder())
            .filePath(QStringLiteral("langages/") + i18n::fileNameForLanguage(languageName) + QStringLiteral(".lng")));
    auto words = [&file](const char *key, const char *french) {
        return file.read(QStringLiteral("Credits"), QString::fromLatin1(key), QString::fromUtf8(french), 400);
    };
    // One paragraph per component: its name, what it does here, its authors
    // and its address as its own documentation gives them.
    struct Credit {
        const char *name, *roleFr, *author, *address;
    };
    static const Credit components[] = {
        {"Qt", "Fenêtres et services", "The Qt Company", "https://www.qt.io/"},
        {"jhead", "Exif des photos JPEG", "Matthias Wandel", "https://github.com/Matthias-Wandel/jhead"},
        {"ExifTool", "Métadonnées de tous les formats", "Phil Harvey", "https://exiftool.org/"},
        {"GoogleTest", "Tests du programme", "Google Inc.", "https://github.com/google/googletest"},
        {"CMake", "Construction du programme", "Kitware", "https://cmake.org/"},
        {"GCC", "Compilateur et bibliothèque C++", "GNU Project", "https://gcc.gnu.org/"},
    };
    const QString title = QString::fromLatin1(ProgramTitle);
    QStringList t;
    t << QStringLiteral("<F28><P><B>") + title;
    t << QStringLiteral("<F11></B>") + words("Tagline", "Renommage de fichiers en série");
    t << QString();
    t << words("Free1", "Ce programme est gratuit :");
    t << words("Free2", "vous pouvez le distribuer librement");
    t << words("Free3", "pour un usage personnel.");
    t << QString();
    const QString site = QString::fromUtf8(addresses::SupportSite);
    if (!site.isEmpty()) {
        t << words("HelpSite", "Pour toute aide, consultez le site :");
        t << QStringLiteral("<I>") + site;
        t << QStringLiteral("</I>");
    } else {
        t << words("Help1", "Pour toute aide, consultez");
        t << words("Help2", "le manuel du programme.");
        t << QString();
    }
    t << QStringLiteral("<F14><P><B>") + words("Components", "Composants utilisés");
    t << QStringLiteral("<F11></B>------------------------");
    for (const Credit &c : components) {
        t << QString();
        t << QStringLiteral("<F12><B>") + QString::fromUtf8(c.name);
        t << QStringLiteral("<F11></B>") + words((QByteArray("Role") + c.name).constData(), c.roleFr);
        t << i18n::applyValueConventions(words("By", "par %s"), QString::fromUtf8(c.author));
        t << QStringLiteral("<I>") + QString::fromUtf8(c.address);
        t << QStringLiteral("</I>");
    }
    t << QString();
    t << QStringLiteral("<F14><P><B>") + words("Thanks", "Merci");
    t << QStringLiteral("<F11></B>") + words("Thanks1", "à tous ceux qui essaient");
    t << words("Thanks2", "le programme et signalent");
    t << words("Thanks3", "ses défauts.");
    return t.join(QStringLiteral("\r\n"));
}

CreditsScroller::CreditsScroller(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picCredits"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    ReDrawTimer.setInterval(30);
    connect(&ReDrawTimer, &QTimer::timeout, this, &CreditsScroller::tick);
}

void CreditsScroller::setLines(const QList<CreditLine> &lines) {
    m_lines = lines;
    m_position = height(); // from the bottom edge
    drawBuffer();
    update();
}

QFont CreditsScroller::fontOf(const CreditLine &line) const {
    QFont f = font();
    f.setPointSize(line.size);
    f.setBold(line.bold);
    f.setItalic(line.italic);
    return f;
}

int CreditsScroller::totalHeight() const {
    int total = 0;
    for (const CreditLine &line : m_lines) {
        const int h = QFontMetrics(fontOf(line)).height();
        if (!line.sameLine)
            total += h + 6;
        if (line.paragraph)
            total += h / 2;
    }
    return total;
}

void CreditsScroller::drawBuffer() {
    const QSize size = this->size();
    if (size.isEmpty())
        return;
    if (picBuffer.size() != size * devicePixelRatioF()) {
        picBuffer = QPixmap(size * devicePixelRatioF());
        picBuffer.setDevicePixelRatio(devicePixelRatioF());
    }
    picBuffer.fill(palette().color(QPalette::Base));
    QPainter p(&picBuffer);
    p.setPen(palette().color(QPalette::Text));
    int y = m_position;
    int previousY = y;
    for (const CreditLine &line : m_lines) {
        const QFont f = fontOf(line);
        const QFontMetrics metrics(f);
        const int rowY = line.sameLine ? previousY : y;
        const int width = metrics.horizontalAdvance(line.text);
        int x = 5;
        if (line.alignment == CreditLine::Right)
            x = size.width() - 5 - width;
        else if (line.alignment == CreditLine::Centre)
            x = size.width() / 2 - width / 2;
        if (rowY + metrics.height() >= 0 && rowY <= size.height()) {
            p.setFont(f);
            p.drawText(x, rowY + metrics.ascent(), line.text);
        }
        previousY = rowY;
        if (!line.sameLine)
            y += metrics.height() + 6;
        if (line.paragraph)
            y += metrics.height() / 2;
    }
}

void CreditsScroller::tick() {
    drawBuffer();
    repaint(); // the off-screen picture, copied in one block
    --m_position;
    if (m_position < -totalHeight() - 10)
        m_position = height() + 10;
}

void CreditsScroller::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    ReDrawTimer.start();
}

void CreditsScroller::hideEvent(QHideEvent *event) {
    ReDrawTimer.stop();
    QWidget::hideEvent(event);
}

void CreditsScroller::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    drawBuffer();
}

void CreditsScroller::paintEvent(QPaintEvent *) {
    QPainter p(this);
    if (picBuffer.isNull())
        p.fillRect(rect(), palette().color(QPalette::Base));
    else
        p.drawPixmap(0, 0, picBuffer);
}

// ---- Machine facts ----

MemoryStatus memoryStatus(const QString &meminfoText) {
    MemoryStatus status;
    qint64 free = -1;
    bool available = false;
    for (const QString &line : meminfoText.split(QLatin1Char('\n'))) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() < 2)
            continue;
        const qint64 kib = fields[1].toLongLong();
        if (fields[0] == QLatin1String("MemTotal:"))
            status.total = kib * 1024;
        else if (fields[0] == QLatin1String("MemAvailable:"))
            status.available = kib * 1024, available = true;
        else if (fields[0] == QLatin1String("MemFree:"))
            free = kib * 1024;
    }
    // Kernels before 3.14 have no estimate of the available memory.
    if (!available && free >= 0)
        status.available = free;
    return status;
}

// ---- The box ----

frmAboutCredits::frmAboutCredits(QWidget *parent)
    : QDialog(parent), m_open([](const QString &url) { QDesktopServices::openUrl(QUrl(url)); }) {
    build();
    load();
    // With an update server, the manual check: the notice shows message 4 meanwhile.
    if (!update::serverAddress().isEmpty())
        setUpdateCheckHandler([this] {
            cmdControleVersion->setEnabled(false);
            manualVersionCheck(this, lblNotice, [this] { cmdControleVersion->setEnabled(true); });
        });
}

void frmAboutCredits::build() {
    setObjectName(QStringLiteral("frmAboutCredits"));
    setWindowTitle(QStringLiteral("À propos"));
    setModal(true);

    auto label = [this](const char *name) {
        auto *l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    lblTitre = label("lblTitre");
    QFont big = lblTitre->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    lblTitre->setFont(big);
    lblVersion = label("lblVersion");
    lblDate = label("lblDate");
    lblNotice = label("lblNotice");
    lblNotice->setWordWrap(true);
    lblMemTotale = label("lblMemTotale");
    lblMemLibre = label("lblMemLibre");
    lblDisque = label("lblDisque");
    lblEspaceLibre = label("lblEspaceLibre");
    lblProcess = label("lblProcess");
    lblSite = label("lblSite");
    lblMail = label("lblMail");
    for (QLabel *link : {lblSite, lblMail}) {
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    }
    connect(lblSite, &QLabel::linkActivated, this, &frmAboutCredits::lblSite_Click);
    connect(lblMail, &QLabel::linkActivated, this, &frmAboutCredits::lblMail_Click);

    cboDisques = new QComboBox(this);
    cboDisques->setObjectName(QStringLiteral("cboDisques"));
    connect(cboDisques, &QComboBox::currentIndexChanged, this, &frmAboutCredits::cboDisques_Click);

    picCredits = new CreditsScroller(this);
    picCredits->setMinimumSize(340, 280);

    cmdDependances = new QPushButton(QStringLiteral("Dépendances"), this);
    cmdDependances->setObjectName(QStringLiteral("cmdDependances"));
    cmdControleVersion = new QPushButton(QStringLiteral("Nouvelle version ?"), this);
    cmdControleVersion->setObjectName(QStringLiteral("cmdControleVersion"));
    cmdControleVersion->hide();
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdDependances, &QPushButton::clicked, this, &frmAboutCredits::cmdDependances_Click);
    connect(cmdControleVersion, &QPushButton::clicked, this, &frmAboutCredits::cmdControleVersion_Click);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *facts = new QGridLayout;
    facts->addWidget(lblMemTotale, 0, 0, 1, 2);
    facts->addWidget(lblMemLibre, 1, 0, 1, 2);
    facts->addWidget(lblDisque, 2, 0);
    facts->addWidget(cboDisques, 2, 1);
    facts->addWidget(lblEspaceLibre, 3, 0, 1, 2);
    facts->addWidget(lblProcess, 4, 0, 1, 2);
    facts->setColumnStretch(1, 1);

    auto *left = new QVBoxLayout;
    left->addWidget(lblTitre);
    left->addWidget(lblVersion);
    left->addWidget(lblDate);
    left->addSpacing(8);
    left->addWidget(lblNotice);
    left->addSpacing(8);
    left->addLayout(facts);
    left->addSpacing(8);
    left->addWidget(lblSite);
    left->addWidget(lblMail);
    left->addStretch(1);

    auto *top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addWidget(picCredits, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdDependances);
    buttons->addWidget(cmdControleVersion);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    resize(780, 420);
}

void frmAboutCredits::load() {
    if (i18n::buttonPicturesEnabled())
        i18n::setButtonPictures(cmdOK, QStringLiteral("oui"));
    i18n::translateForm(this);

    const QString title = QString::fromLatin1(ProgramTitle);
    const QString version = QString::fromLatin1(VersionText);
    lblTitre->setText(title);
    lblVersion->setText(caption("Version", QStringLiteral("Version %s"), version));
    const QString date = QString::fromLatin1(about::ReleaseDate);
    lblDate->setText(date.isEmpty() ? caption("Auteur", QStringLiteral("L'équipe Travoline"))
                                    : caption("DateAuteur", QStringLiteral("Publiée le %s par %s"), date,
                                              caption("Auteur", QStringLiteral("L'équipe Travoline"))));
    lblNotice->setText(caption("Notice", QString()));

    QFile meminfo(QStringLiteral("/proc/meminfo"));
    const MemoryStatus memory =
        memoryStatus(meminfo.open(QIODevice::ReadOnly) ? QString::fromLatin1(meminfo.readAll()) : QString());
    lblMemTotale->setText(caption("MemTotale", QStringLiteral("Mémoire totale :_")) +
                          mTavCommon::TavDoubleToUnit(double(memory.total)) + byteUnit());
    lblMemLibre->setText(caption("MemLibre", QStringLiteral("Mémoire disponible :_")) +
                         mTavCommon::TavDoubleToUnit(double(memory.available)) + byteUnit());
    lblDisque->setText(caption("Disque", QStringLiteral("Volume :")));

    // The program's own resident memory, by its executable's name.
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    lblProcess->setText(
        caption("Process", QStringLiteral("Mémoire utilisée par %s :_"), QString::fromLatin1(ProgramTitle)) +
        mTavCommon::TavDoubleToUnit(double(mTavCommon::TavGetProcesses(exe))) + byteUnit());

    const QString site = QString::fromUtf8(addresses::SupportSite);
    const QString mail = QString::fromUtf8(addresses::Mail);
    lblSite->setVisible(!site.isEmpty());
    lblSite->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(site.toHtmlEscaped()));
    lblMail->setVisible(!mail.isEmpty());
    lblMail->setText(QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(mail.toHtmlEscaped()));

    fillVolumes();

    picCredits->setLines(parseCredits(creditsText(i18n::languageName())));
}

void frmAboutCredits::fillVolumes() {
    // Every mounted volume with a size (pseudo file systems have none),
    // shown as "<mount point> [<device>]"; the one holding the home folder first chosen.
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    const QString home = QDir::homePath();
    int chosen = -1;
    int chosenLength = -1;
    const QSignalBlocker block(cboDisques);
    cboDisques->clear();
    if (mounts.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : mounts.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() < 3)
                continue;
            const QString point = unescapeMount(fields[1]);
            struct statvfs info {};
            if (::statvfs(QFile::encodeName(point).constData(), &info) != 0 || info.f_blocks == 0)
                continue;
            if (cboDisques->findData(point) >= 0)
                continue;
            cboDisques->addItem(point + QStringLiteral(" [") + unescapeMount(fields[0]) + QLatin1Char(']'), point);
            const QString prefix = point.endsWith(QLatin1Char('/')) ? point : point + QLatin1Char('/');
            if ((home == point || home.startsWith(prefix)) && point.size() > chosenLength) {
                chosen = cboDisques->count() - 1;
                chosenLength = int(point.size());
            }
        }
    }
    cboDisques->setCurrentIndex(chosen >= 0 ? chosen : 0);
    cboDisques_Click();
}

void frmAboutCredits::cboDisques_Click() {
    const QString point = cboDisques->currentData().toString();
    struct statvfs info {};
    if (point.isEmpty() || ::statvfs(QFile::encodeName(point).constData(), &info) != 0) {
        lblEspaceLibre->setText(caption("EspaceLibre", QStringLiteral("Espace libre :_")));
        return;
    }
    const double bytes = double(info.f_bavail) * double(info.f_frsize);
    lblEspaceLibre->setText(caption("EspaceLibre", QStringLiteral("Espace libre :_")) +
                            mTavCommon::TavDoubleToUnit(bytes) + byteUnit());
}

void frmAboutCredits::cmdDependances_Click() {
    frmDependance list(this);
    if (m_onDependencyHelp)
        list.setHelpHandler(m_onDependencyHelp);
    list.exec();
}

void frmAboutCredits::setUpdateCheckHandler(std::function<void()> onCheck) {
    m_onCheck = std::move(onCheck);
    cmdControleVersion->setVisible(bool(m_onCheck));
}

void frmAboutCredits::cmdControleVersion_Click() {
    if (m_onCheck)
        m_onCheck();
}

void frmAboutCredits::lblSite_Click() {
    const QString site = QString::fromUtf8(addresses::SupportSite);
    if (!site.isEmpty() && m_open)
        m_open(site);
}

void frmAboutCredits::lblMail_Click() {
    const QString mail = QString::fromUtf8(addresses::Mail);
    if (mail.isEmpty() || !m_open)
        return;
    const QString subject = QString::fromLatin1(ProgramTitle) + QStringLiteral(" v") + QString::fromLatin1(VersionText);
    m_open(QStringLiteral("mailto:") + mail + QStringLiteral("?subject=") +
           QString::fromLatin1(QUrl::toPercentEncoding(subject)));
}

} // namespace tav
