#include "gui/dialogs/frmChoixOutilExif.h"

#include "core/i18n/HelpFile.h"
#include "core/i18n/Language.h"
#include "core/metadata/Exif.h"
#include "gui/dialogs/CHelp.h"
#include "gui/i18n/Translate.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tav {

namespace {

QLabel *makeLabel(QWidget *parent, const QString &name) {
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

frmChoixOutilExif::frmChoixOutilExif(ExifReader *reader, QWidget *parent)
    : QDialog(parent), m_reader(reader ? reader : &exifReader()) {
    setObjectName(QStringLiteral("frmChoixOutilExif"));
    setWindowTitle(QStringLiteral("Choix de l'outil Exif"));
    setModal(true);

    Label1 = makeLabel(this, QStringLiteral("Label1"));
    Label2 = makeLabel(this, QStringLiteral("Label2"));
    Label3 = makeLabel(this, QStringLiteral("Label3"));
    Label4 = makeLabel(this, QStringLiteral("Label4"));
    Label5 = makeLabel(this, QStringLiteral("Label5"));
    Label6 = makeLabel(this, QStringLiteral("Label6"));
    Label7 = makeLabel(this, QStringLiteral("Label7"));
    for (int i = 0; i < 2; ++i) {
        Label8[i] = makeLabel(this, QString());
        i18n::setControlIndex(Label8[i], QStringLiteral("Label8"), i);
    }
    Label9 = makeLabel(this, QStringLiteral("Label9"));
    Label10 = makeLabel(this, QStringLiteral("Label10"));
    lblOutils = makeLabel(this, QStringLiteral("lblOutils"));
    for (QLabel *option : {Label2, Label3, Label4, Label5})
        option->setIndent(12);

    // Editable but read-only: the batch mode can be shown as the current text
    // without being one of the entries offered.
    cboChoix = new QComboBox(this);
    cboChoix->setObjectName(QStringLiteral("cboChoix"));
    cboChoix->setEditable(true);
    cboChoix->lineEdit()->setReadOnly(true);
    cboChoix->setInsertPolicy(QComboBox::NoInsert);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdAide = new QPushButton(QStringLiteral("Aide"), this);
    cmdAide->setObjectName(QStringLiteral("cmdAide"));

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *choice = new QHBoxLayout;
    choice->addWidget(Label9);
    choice->addWidget(cboChoix, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdAide);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto *layout = new QVBoxLayout(this);
    for (QWidget *w : std::initializer_list<QWidget *>{Label1, Label2, Label3, Label4, Label5, Label6, Label7,
                                                       Label8[0], Label8[1], lblOutils})
        layout->addWidget(w);
    layout->addWidget(line);
    layout->addLayout(choice);
    layout->addWidget(Label10);
    layout->addLayout(buttons);
    setMinimumWidth(560);

    connect(cmdOK, &QPushButton::clicked, this, &frmChoixOutilExif::cmdOK_Click);
    connect(cmdAide, &QPushButton::clicked, this, &frmChoixOutilExif::cmdAide_Click);

    load();
}

void frmChoixOutilExif::load() {
    using i18n::Message;
    if (i18n::buttonPicturesEnabled()) {
        i18n::setButtonPictures(cmdOK, QStringLiteral("oui"));
        i18n::setButtonPictures(cmdAide, QStringLiteral("aide"));
    }
    i18n::translateForm(this);

    Label1->setText(Message(62) + Message(63));
    Label2->setText(Message(64));
    Label3->setText(Message(65));
    Label4->setText(Message(66));
    Label5->setText(Message(67));
    Label6->setText(Message(68) + Message(69));
    Label7->setText(Message(70));
    Label8[0]->setText(Message(71));
    Label8[1]->setText(Message(72));
    Label9->setText(Message(73));
    Label10->setText(Message(79));
    lblOutils->setText(toolsText());

    cboChoix->clear();
    cboChoix->addItems({Message(74), Message(78), Message(75), Exif::toolModeName(ExifModeBuiltin)});
    QString current = Message(74);
    switch (m_reader->mode()) {
    case ExifModeJheadThenExifTool:
        current = Message(78);
        break;
    case ExifModeExifTool:
        current = Message(75);
        break;
    case ExifModeExifToolBatch:
        current = Message(76);
        break;
    case ExifModeBuiltin:
        current = Exif::toolModeName(ExifModeBuiltin);
        break;
    default:
        break;
    }
    const int index = cboChoix->findText(current, Qt::MatchExactly);
    if (index >= 0)
        cboChoix->setCurrentIndex(index);
    else
        cboChoix->setEditText(current);
}

QString frmChoixOutilExif::toolsText() const {
    const QString section = QStringLiteral("Exif");
    QStringList lines{i18n::getText(section, QStringLiteral("ToolsTitle"),
                                    QStringLiteral("Outil extérieur demandé par chaque choix :"))};
    for (int mode :
         {ExifModeJhead, ExifModeJheadThenExifTool, ExifModeExifTool, ExifModeExifToolBatch, ExifModeBuiltin}) {
        QStringList tools;
        for (ExifReader::Tool tool : Exif::toolsOfMode(mode)) {
            const QString name = Exif::toolDisplayName(tool);
            tools << (m_reader->toolAvailable(tool) ? i18n::getText(section, QStringLiteral("ToolInstalled"),
                                                                    QStringLiteral("%s (installé)"), name)
                                                    : i18n::getText(section, QStringLiteral("ToolNotInstalled"),
                                                                    QStringLiteral("%s (absent : paquet Debian %s)"),
                                                                    name, Exif::toolPackage(tool)));
        }
        if (tools.isEmpty())
            tools << i18n::getText(section, QStringLiteral("NoTool"),
                                   QStringLiteral("aucun, lu par le programme lui-même"));
        const QString name = mode == ExifModeBuiltin ? Exif::builtinReaderText() : Exif::toolModeName(mode);
        lines << QStringLiteral("\u2022 ") + name + QStringLiteral(" : ") + tools.join(QStringLiteral(", "));
    }
    return lines.join(QLatin1Char('\n'));
}

void frmChoixOutilExif::cmdOK_Click() {
    m_reader->chooseTool(cboChoix->currentText());
    accept();
}

void frmChoixOutilExif::cmdAide_Click() {
    emit helpRequested();
    CHelp::show(help::TopicToolChoice);
}

int frmChoixOutilExif::choose(ExifReader &reader, QWidget *parent, const std::function<void()> &onHelp) {
    frmChoixOutilExif dialog(&reader, parent);
    if (onHelp)
        connect(&dialog, &frmChoixOutilExif::helpRequested, &dialog, onHelp);
    dialog.exec();
    return reader.mode();
}

} // namespace tav
