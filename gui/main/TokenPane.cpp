#include "gui/main/TokenPane.h"

#include "gui/main/PaneParts.h"
#include "hovrix/Hovrix.h"

#include "core/engine/Operators.h"
#include "core/engine/TokenTable.h"
#include "core/i18n/Language.h"
#include "core/settings/Settings.h"
#include "gui/i18n/Translate.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

namespace tav {

using pane::named;

namespace {

// The tips' messages, in the order of the groups.
const int TipMessages[TokenPane::GroupCount] = {39, 40, 42, 41, 43, 50, 109};

QString tipText(int n) {
    if (n <= 100)
        return i18n::Message(n);
    return i18n::getText(QStringLiteral("MSG"), QStringLiteral("m%1").arg(n), QStringLiteral("Regular expression"));
}

// A value of the current photo: as wide as a full date, and a longer value
// is cut with an ellipsis (its tip shows it whole) instead of widening the
// window or being clipped.
class ValueLabel : public QLabel {
public:
    explicit ValueLabel(const QString &text) : QLabel(text) {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    }
    QSize minimumSizeHint() const override {
        const QMargins m = contentsMargins();
        return {fontMetrics().horizontalAdvance(QStringLiteral("$d$=0000:00:00 00:00:00")) + m.left() + m.right() + 2,
                QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override { return minimumSizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        const QRect r = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
        setToolTip(shown == text() ? QString() : text());
        style()->drawItemText(&painter, r, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
    }
};

int checkedOf(const auto &buttons) {
    int checked = 0;
    for (int i = 0; i < int(buttons.size()); ++i)
        if (buttons[size_t(i)]->isChecked())
            checked = i;
    return checked;
}

} // namespace

namespace {
// The least height of the groups' place: three rows of token labels.
constexpr int MinimumGroupsHeight = 90;
} // namespace

TokenPane::TokenPane(QWidget *hoverHost, QWidget *parent)
    : QGroupBox(QStringLiteral("Jetons : cliquez pour insérer dans la règle"), parent) {
    setObjectName(QStringLiteral("Frame3"));
    auto *h = new QHBoxLayout(this);
    lstAstuce = named(new QListWidget, "lstAstuce");
    lstAstuce->setMaximumWidth(200);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    lstAstuce->setSelectionMode(QAbstractItemView::SingleSelection);
    lstAstuce->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    h->addWidget(lstAstuce);

    const char *const groupCaptions[GroupCount] = {
        "date courante",      "date fichier",        "divers", "exif", "remplacer contenu",
        "remplacer position", "expression régulière"};
    m_groups = new QWidget;
    auto *stack = new QGridLayout(m_groups);
    stack->setContentsMargins(0, 0, 0, 0);
    const int labels = tokenLabelCount();
    Label8.resize(labels);
    Hovrix1.resize(labels);
    for (int i = 0; i < labels; ++i) {
        Label8[i] = named(new QLabel(tokenOfLabel(i)->frenchLabel), "Label8", i);
        Label8[i]->setProperty("tokenLabel", true);
        Label8[i]->setFocusPolicy(Qt::StrongFocus);
        // The keyboard's focus shows as a frame, as on a button.
        Label8[i]->setStyleSheet(QStringLiteral("QLabel:focus { border: 1px dotted palette(highlight); }"));
        hostHoverControl(hoverHost, i);
    }
    for (int i = 0; i < GroupCount; ++i) {
        fAstuce[i] = named(new QGroupBox(QString::fromUtf8(groupCaptions[i])), "fAstuce", i);
        stack->addWidget(fAstuce[i], 0, 0, Qt::AlignTop);
        fAstuce[i]->setVisible(i == 0);
    }
    for (int i = 0; i <= MetadataGroup; ++i)
        buildTokenGroup(i);
    buildReplaceText();
    buildReplaceByPosition();
    buildRegex();
    // The groups scroll when the window gives the lists more of its height.
    m_scroll = new QScrollArea;
    m_scroll->setObjectName(QStringLiteral("scrollTokens"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_groups);
    h->addWidget(m_scroll, 1);
    wireBuilders();
    connect(lstAstuce, &QListWidget::itemSelectionChanged, this, &TokenPane::showSelectedGroup);
}

void TokenPane::buildTokenGroup(int group) {
    auto *grid = new QGridLayout(fAstuce[group]);
    const QList<int> ids = labelsOfGroup(group);
    const bool metadata = group == MetadataGroup;
    const int perColumn = metadata ? 4 : 3;
    for (int k = 0; k < ids.size(); ++k)
        grid->addWidget(Label8[ids[k]], k % perColumn, k / perColumn);
    if (metadata)
        buildMetadataValues(grid, perColumn);
    grid->setColumnStretch(metadata ? 3 : 10, 1);
    grid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    grid->setHorizontalSpacing(metadata ? 12 : 18);
    grid->setVerticalSpacing(2);
}

// Values of the current photo beside the tokens, the tool in use and the
// clear button on a line of their own beneath.
void TokenPane::buildMetadataValues(QGridLayout *grid, int rows) {
    const char *const tokens[MetadataValueCount] = {"$d$=", "$T$=", "$R$=", "$O$=", "$K$=", "$C$="};
    auto *values = new QGridLayout;
    values->setHorizontalSpacing(12);
    values->setVerticalSpacing(2);
    for (int k = 0; k < MetadataValueCount; ++k) {
        lblExif[k] = named(new ValueLabel(QString::fromLatin1(tokens[k])), "lblExif", k);
        values->addWidget(lblExif[k], k % 3, k / 3);
    }
    values->setColumnStretch(0, 1);
    values->setColumnStretch(1, 1);
    grid->addLayout(values, 0, 3, rows, 1, Qt::AlignTop);

    lblExitToolUsed = named(new QLabel, "lblExitToolUsed");
    cmdEffacerExif = pane::button("cmdEffacerExif", QStringLiteral("Vider le cache Exif"),
                                  QStringLiteral("Oublier les valeurs Exif déjà lues"));
    auto *tool = new QHBoxLayout;
    tool->addWidget(lblExitToolUsed);
    tool->addSpacing(12);
    tool->addWidget(cmdEffacerExif);
    tool->addStretch(1);
    grid->addLayout(tool, rows, 0, 1, 4);
    connect(cmdEffacerExif, &QPushButton::clicked, this, &TokenPane::clearMetadataCacheClicked);
}

void TokenPane::buildReplaceText() {
    auto *grid = new QGridLayout(fAstuce[4]);
    auto *title = named(new QLabel(QStringLiteral("Rechercher :")), "lblRepStrTitle");
    txtRechercher = pane::lineEdit("txtRechercher", QString());
    auto *by = named(new QLabel(QStringLiteral("Remplacer par :")), "Label15");
    txtRemplacer = pane::lineEdit("txtRemplacer", QString());
    const char *const captions[3] = {"le texte", "avant", "apres"};
    auto *group = new QButtonGroup(this);
    auto *opts = new QHBoxLayout;
    for (int k = 0; k < 3; ++k) {
        optRepStr[k] = named(new QRadioButton, "optRepStr", k);
        lblRepStr[k] = named(new QLabel(QString::fromLatin1(captions[k])), "lblRepStr", k);
        group->addButton(optRepStr[k], k);
        opts->addWidget(optRepStr[k]);
        opts->addWidget(lblRepStr[k]);
    }
    optRepStr[0]->setChecked(true);
    opts->addStretch(1);
    cmdRepStr = pane::button("cmdRepStr", QStringLiteral("Écrire la règle"), QString());
    grid->addWidget(Label8[labelsOfGroup(ReplaceTextGroup).value(0)], 0, 0, 1, 4);
    grid->addWidget(title, 1, 0);
    grid->addWidget(txtRechercher, 1, 1);
    grid->addWidget(by, 1, 2);
    grid->addWidget(txtRemplacer, 1, 3);
    grid->addLayout(opts, 2, 0, 1, 3);
    grid->addWidget(cmdRepStr, 2, 3);
}

void TokenPane::buildReplaceByPosition() {
    auto *grid = new QGridLayout(fAstuce[5]);
    const char *const wayCaptions[4] = {"entre", "et", "avant", "apres"};
    auto *ways = new QButtonGroup(this);
    for (int k = 0; k < 3; ++k) {
        optRepPos[k] = named(new QRadioButton, "optRepPos", k);
        ways->addButton(optRepPos[k], k);
    }
    for (int k = 0; k < 4; ++k) {
        lblRepPos[k] = named(new QLabel(QString::fromLatin1(wayCaptions[k])), "lblRepPos", k);
        txtRepPos[k] = pane::lineEdit("txtRepPos", QStringLiteral("1"), 50);
        named(txtRepPos[k], "txtRepPos", k);
    }
    optRepPos[0]->setChecked(true);
    auto *line = new QHBoxLayout;
    line->addWidget(optRepPos[0]);
    line->addWidget(lblRepPos[0]);
    line->addWidget(txtRepPos[0]);
    line->addWidget(lblRepPos[1]);
    line->addWidget(txtRepPos[1]);
    line->addSpacing(12);
    line->addWidget(optRepPos[1]);
    line->addWidget(lblRepPos[2]);
    line->addWidget(txtRepPos[2]);
    line->addSpacing(12);
    line->addWidget(optRepPos[2]);
    line->addWidget(lblRepPos[3]);
    line->addWidget(txtRepPos[3]);
    line->addStretch(1);

    auto *from = named(new QLabel(QStringLiteral("compter depuis :")), "lblRepPosDebutFin");
    auto *ends = new QButtonGroup(this);
    optRepPosDebutFin[0] = named(new QRadioButton(QStringLiteral("debut")), "optRepPosDebutFin", 0);
    optRepPosDebutFin[1] = named(new QRadioButton(QStringLiteral("fin")), "optRepPosDebutFin", 1);
    ends->addButton(optRepPosDebutFin[0], 0);
    ends->addButton(optRepPosDebutFin[1], 1);
    optRepPosDebutFin[0]->setChecked(true);
    auto *line2 = new QHBoxLayout;
    line2->addWidget(from);
    line2->addWidget(optRepPosDebutFin[0]);
    line2->addWidget(optRepPosDebutFin[1]);
    line2->addSpacing(12);
    auto *by = named(new QLabel(QStringLiteral("remplacer par :")), "Label1");
    txtRemplacerPos = pane::lineEdit("txtRemplacerPos", QString());
    line2->addWidget(by);
    line2->addWidget(txtRemplacerPos, 1);
    cmdRepPos = pane::button("cmdRepPos", QStringLiteral("Écrire la règle"), QString());
    line2->addWidget(cmdRepPos);

    grid->addWidget(Label8[labelsOfGroup(ReplaceAtGroup).value(0)], 0, 0);
    grid->addLayout(line, 1, 0);
    grid->addLayout(line2, 2, 0);
}

void TokenPane::buildRegex() {
    auto *grid = new QGridLayout(fAstuce[RegexGroup]);
    auto *about = named(new QLabel(QString::fromUtf8("Remplace ce que trouve le motif dans le nom, là où l'opérateur "
                                                     "est écrit : $REGEX/(\\d+)-(\\d+)/\\2-\\1$ fait de "
                                                     "12-34.txt 34-12.txt.")),
                        "lblRegex");
    about->setWordWrap(true);
    cmdRegex = pane::button("cmdRegex", QString::fromUtf8("Construire…"),
                            QString::fromUtf8("Écrire l'opérateur avec un exemple sur le fichier sélectionné"));
    // The button beside the operator, so that both show even when the
    // window leaves the tokens little height.
    grid->addWidget(Label8[labelsOfGroup(RegexGroup).value(0)], 0, 0);
    grid->addWidget(cmdRegex, 0, 1);
    grid->addWidget(about, 1, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(2, 1);
    connect(cmdRegex, &QPushButton::clicked, this, &TokenPane::regexBuilderRequested);
}

void TokenPane::wireBuilders() {
    connect(cmdRepPos, &QPushButton::clicked, this, [this] {
        QStringList fields;
        for (auto *t : txtRepPos)
            fields << t->text();
        emit replaceByPositionRequested(checkedOf(optRepPos), fields, optRepPosDebutFin[1]->isChecked() ? 1 : 0,
                                        txtRemplacerPos->text());
    });
    connect(cmdRepStr, &QPushButton::clicked, this,
            [this] { emit replaceTextRequested(txtRechercher->text(), txtRemplacer->text(), checkedOf(optRepStr)); });
    for (auto *o : optRepPos)
        connect(o, &QRadioButton::toggled, this, &TokenPane::enableWays);
    enableWays();
    for (auto *o : optRepStr)
        connect(o, &QRadioButton::toggled, this, [this] {
            for (int k = 0; k < 3; ++k)
                lblRepStr[k]->setEnabled(optRepStr[k]->isChecked());
        });
    for (auto *t : txtRepPos)
        t->installEventFilter(this);
}

// The position fields of the chosen way only.
// Every way's fields stay open to the pointer and the keys: going into the
// field of another way chooses that way (fields of a way not chosen are not
// greyed as if they could not be used).
void TokenPane::enableWays() {
    for (int i = 0; i < 4; ++i) {
        txtRepPos[i]->setEnabled(true);
        lblRepPos[i]->setEnabled(true);
    }
}

namespace {
// The way whose fields hold field i: the first two are the first way's.
int wayOfField(int i) {
    return i < 2 ? 0 : i - 1;
}
} // namespace

// One hover control per token label: the label forwards its pointer moves to
// it, and its events colour the label (red under the pointer, black after)
// and insert the label's token.
void TokenPane::hostHoverControl(QWidget *host, int index) {
    QLabel *label = Label8[index];
    auto *hover = new Hovrix(host);
    i18n::setControlIndex(hover, QStringLiteral("Hovrix1"), index);
    Hovrix1[index] = hover;
    hover->forwardMovesFrom(label);
    // A click the control does not see (it holds no pointer grab yet, or the
    // click comes from the keyboard's accessibility or a test) still reaches
    // the label itself.
    label->installEventFilter(this);
    const auto paint = [label](const QColor &colour) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, colour);
        label->setPalette(p);
    };
    connect(hover, &Hovrix::MouseOver, label, [paint] { paint(QColor(255, 0, 0)); });
    connect(hover, &Hovrix::MouseOut, label, [paint] { paint(QColor(0, 0, 0)); });
    connect(hover, &Hovrix::Click, this, [this, label, index](int button) {
        if (button == 1 && label->isEnabled())
            emit tokenClicked(index, label->text());
    });
}

bool TokenPane::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn) {
        for (int i = 0; i < 4; ++i)
            if (watched == txtRepPos[i] && !optRepPos[wayOfField(i)]->isChecked())
                optRepPos[wayOfField(i)]->setChecked(true);
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        for (auto *t : txtRepPos)
            if (watched == t)
                t->setText(txtRepPosLeaveText(t->text()));
        return false;
    }
    if (auto *label = qobject_cast<QLabel *>(watched); label && label->property("tokenLabel").toBool()) {
        // From the keyboard: Tab reaches the label, Enter or Space inserts its token.
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                if (label->isEnabled())
                    emit tokenClicked(label->property(i18n::IndexProperty).toInt(), label->text());
                return true;
            }
            return false;
        }
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            if (label->isEnabled())
                emit tokenClicked(label->property(i18n::IndexProperty).toInt(), label->text());
            return true;
        }
        return false;
    }
    return QGroupBox::eventFilter(watched, event);
}

void TokenPane::fillTips(const QString &storedTip) {
    lstAstuce->clear();
    for (int n : TipMessages)
        lstAstuce->addItem(tipText(n));
    int tip = 0;
    for (int i = 0; i < lstAstuce->count(); ++i)
        if (!storedTip.isEmpty() && lstAstuce->item(i)->text() == storedTip)
            tip = i;
    lstAstuce->setCurrentRow(tip);
    showSelectedGroup();
}

void TokenPane::retranslateTips() {
    for (int i = 0; i < lstAstuce->count() && i < GroupCount; ++i)
        lstAstuce->item(i)->setText(tipText(TipMessages[i]));
    showSelectedGroup();
}

void TokenPane::showSelectedGroup() {
    const int count = std::min<int>(lstAstuce->count(), GroupCount);
    for (int i = 0; i < count; ++i)
        fAstuce[i]->setVisible(false);
    for (int i = 0; i < count; ++i) {
        if (lstAstuce->item(i)->isSelected()) {
            fAstuce[i]->setTitle(lstAstuce->currentItem() ? lstAstuce->currentItem()->text()
                                                          : lstAstuce->item(i)->text());
            fAstuce[i]->setVisible(true);
        }
    }
    fitGroupsHeight();
    m_scroll->ensureVisible(0, 0);
    if (lstAstuce->currentItem())
        emit tipChosen(lstAstuce->currentItem()->text());
    // A tool installed or removed meanwhile shows when the metadata group does.
    if (lstAstuce->currentRow() == MetadataGroup)
        emit metadataGroupShown();
}

void TokenPane::fitSize() {
    // The tips list as wide as its longest entry; the groups' place as high
    // as the highest group, so that the pane keeps one size whichever group shows.
    // Room for the vertical scroll bar too: a short pane shows it.
    lstAstuce->setFixedWidth(std::min(lstAstuce->sizeHintForColumn(0) + 2 * lstAstuce->frameWidth() + 8 +
                                          lstAstuce->verticalScrollBar()->sizeHint().width(),
                                      300));
    int height = 0;
    for (QGroupBox *group : fAstuce)
        height = std::max(height, group->sizeHint().height());
    fitGroupsHeight();
    m_scroll->setMaximumHeight(height);
    m_scroll->setMinimumHeight(std::min(height, MinimumGroupsHeight));
    lstAstuce->setMaximumHeight(height);
    lstAstuce->setMinimumHeight(std::min(height, MinimumGroupsHeight));
}

void TokenPane::fitGroupsHeight() {
    // The shown group's own height: a short group needs no scroll bar, and
    // a tall one scrolls from its top.
    for (QGroupBox *group : fAstuce)
        if (!group->isHidden()) {
            m_groups->setFixedHeight(group->sizeHint().height());
            break;
        }
}

void TokenPane::setMetadataValue(int index, const QString &text) {
    if (index >= 0 && index < MetadataValueCount)
        lblExif[size_t(index)]->setText(text);
}

void TokenPane::setToolText(const QString &text) {
    lblExitToolUsed->setText(text);
}

void TokenPane::loadBuilders(const Settings &s) {
    if (s.optRepPos >= 0 && s.optRepPos < 3)
        optRepPos[s.optRepPos]->setChecked(true);
    for (int i = 0; i < 4; ++i)
        txtRepPos[i]->setText(s.txtRepPos[i]);
    if (s.optRepPosDebutFin >= 0 && s.optRepPosDebutFin < 2)
        optRepPosDebutFin[s.optRepPosDebutFin]->setChecked(true);
    txtRemplacerPos->setText(s.txtRemplacerPos);
    if (s.optRepStr >= 0 && s.optRepStr < 3)
        optRepStr[s.optRepStr]->setChecked(true);
    txtRechercher->setText(s.RechercherChaine);
    txtRemplacer->setText(s.RemplacerChaine);
}

void TokenPane::storeInto(Settings &s) const {
    s.optRepPos = checkedOf(optRepPos);
    for (int i = 0; i < 4; ++i)
        s.txtRepPos[i] = txtRepPos[i]->text();
    s.optRepPosDebutFin = optRepPosDebutFin[1]->isChecked() ? 1 : 0;
    s.txtRemplacerPos = txtRemplacerPos->text();
    s.optRepStr = checkedOf(optRepStr);
    s.RechercherChaine = txtRechercher->text();
    s.RemplacerChaine = txtRemplacer->text();
    if (lstAstuce->currentItem())
        s.Astuce = lstAstuce->currentItem()->text();
}

} // namespace tav
