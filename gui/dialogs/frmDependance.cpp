#include "gui/dialogs/frmDependance.h"

#include "core/base/Version.h"
#include "core/base/mTavCommon.h"
#include "core/i18n/Language.h"
#include "core/metadata/BuiltinReader.h"
#include "core/metadata/Exif.h"
#include "gui/i18n/Translate.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <curl/curl.h>
#include <dlfcn.h>

namespace tav {

namespace {

const char Section[] = "frmDependance";

// The shared libraries this build loads, by the names the loader looks for.
const char *const Libraries[] = {
    "liborvalib.so",      "libhovrix.so",   "libQt6Core.so.6", "libQt6Gui.so.6", "libQt6Widgets.so.6",
    "libQt6Network.so.6", "libstdc++.so.6", "libgcc_s.so.1",   "libc.so.6",
};

// libcurl, which the downloads load when they first need it, as it reports
// itself: its file name's numbers are those of its interface, not its version.
QString curlVersion() {
    void *lib = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return QStringLiteral("Fichier inconnu");
    using VersionInfo = curl_version_info_data *(*)(CURLversion);
    const auto info = reinterpret_cast<VersionInfo>(::dlsym(lib, "curl_version_info"));
    const curl_version_info_data *data = info ? info(CURLVERSION_NOW) : nullptr;
    const QString version =
        data && data->version ? QString::fromLatin1(data->version) : QStringLiteral("Version Inconnue");
    ::dlclose(lib);
    return version;
}

} // namespace

frmDependance::frmDependance(QWidget *parent) : frmDependance(dependencyRows(), parent) {}

frmDependance::frmDependance(const QList<Row> &rows, QWidget *parent) : QDialog(parent) {
    build();
    setRows(rows);
}

void frmDependance::build() {
    setObjectName(QStringLiteral("frmDependance"));
    setWindowTitle(QStringLiteral("Dépendances"));
    setModal(true);

    lstDependances = new QTreeWidget(this);
    lstDependances->setObjectName(QStringLiteral("lstDependances"));
    lstDependances->setColumnCount(2);
    lstDependances->setRootIsDecorated(false);
    lstDependances->setAllColumnsShowFocus(true);
    lstDependances->header()->setStretchLastSection(true);

    cmdPressePapier = new QPushButton(QStringLiteral("Copier"), this);
    cmdPressePapier->setObjectName(QStringLiteral("cmdPressePapier"));
    cmdAide = new QPushButton(QStringLiteral("Aide"), this);
    cmdAide->setObjectName(QStringLiteral("cmdAide"));
    cmdAide->hide();
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdAide);
    buttons->addWidget(cmdPressePapier);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lstDependances, 1);
    layout->addLayout(buttons);
    resize(520, 380);

    connect(cmdPressePapier, &QPushButton::clicked, this, &frmDependance::cmdPressePapier_Click);
    connect(cmdAide, &QPushButton::clicked, this, &frmDependance::cmdAide_Click);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdOK, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdAide, QStringLiteral("aide"));
    }
    i18n::translateForm(this);
    lstDependances->setHeaderLabels({i18n::getText(Section, QStringLiteral("Colonne1"), QStringLiteral("Fichier")),
                                     i18n::getText(Section, QStringLiteral("Colonne2"), QStringLiteral("Version"))});
}

void frmDependance::setRows(const QList<Row> &rows) {
    lstDependances->clear();
    for (const Row &row : rows)
        lstDependances->addTopLevelItem(new QTreeWidgetItem({row.name, row.version}));
    lstDependances->resizeColumnToContents(0);
}

QList<frmDependance::Row> frmDependance::rows() const {
    QList<Row> rows;
    for (int i = 0; i < lstDependances->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lstDependances->topLevelItem(i);
        rows.append({item->text(0), item->text(1)});
    }
    return rows;
}

QString frmDependance::toolVersion(const QString &program, const QStringList &arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments, QIODevice::ReadOnly);
    if (!tool.waitForStarted(5000))
        return QStringLiteral("Fichier inconnu");
    if (!tool.waitForFinished(10000)) {
        tool.kill();
        tool.waitForFinished();
        return QStringLiteral("Version Inconnue");
    }
    // "Jhead version: 3.06" or "12.57": the first version-like word.
    static const QRegularExpression number(QStringLiteral("\\b(\\d+(?:\\.\\d+)+)\\b"));
    const QRegularExpressionMatch m = number.match(QString::fromLocal8Bit(tool.readAll()));
    return m.hasMatch() ? m.captured(1) : QStringLiteral("Version Inconnue");
}

QList<frmDependance::Row> frmDependance::dependencyRows() {
    QList<Row> rows;
    rows.append({i18n::Message(89), QString::fromLatin1(VersionText)});
    for (const char *library : Libraries) {
        const QString name = QString::fromLatin1(library);
        rows.append({name, mTavCommon::TavGetVersionInformation(name)});
    }
    rows.append({QStringLiteral("libcurl.so.4"), curlVersion()});
    ExifReader &reader = exifReader();
    rows.append({QStringLiteral("jhead"), toolVersion(reader.toolPath(ExifReader::Tool::Jhead), {"-V"})});
    rows.append({QStringLiteral("ExifTool"), toolVersion(reader.toolPath(ExifReader::Tool::ExifTool), {"-ver"})});
    rows.append({Exif::toolModeName(ExifModeBuiltin), Exif::builtinLibraryName()});
    return rows;
}

QString frmDependance::clipboardText(const QList<Row> &rows) {
    QString text;
    for (const Row &row : rows)
        text += row.name + QStringLiteral(" : ") + row.version + QStringLiteral("\r\n");
    return text;
}

void frmDependance::cmdPressePapier_Click() {
    QApplication::clipboard()->setText(clipboardText(rows()));
}

void frmDependance::setHelpHandler(std::function<void()> onHelp) {
    m_onHelp = std::move(onHelp);
    cmdAide->setVisible(bool(m_onHelp));
}

void frmDependance::cmdAide_Click() {
    if (m_onHelp)
        m_onHelp();
}

} // namespace tav
