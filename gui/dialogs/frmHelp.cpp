#include "gui/dialogs/frmHelp.h"

#include "core/i18n/HelpFile.h"
#include "gui/i18n/Translate.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tav {

namespace {

constexpr int AnchorRole = Qt::UserRole;
constexpr int SectionTextRole = Qt::UserRole + 1;
constexpr int PositionRole = Qt::UserRole + 2;

// Lower case without accents, so that "ecran" finds "Écran".
QString plain(const QString &text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_D).toCaseFolded();
    QString out;
    out.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out;
}

QStringList wordsOf(const QString &text) {
    return plain(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The first anchor name carried by the text of a block.
QString anchorOf(const QTextBlock &block) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QStringList names = it.fragment().charFormat().anchorNames();
        if (!names.isEmpty())
            return names.first();
    }
    return {};
}

QToolButton *toolButton(QWidget *parent, const char *name, QStyle::StandardPixmap icon, const QString &tip) {
    auto *b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    return b;
}

} // namespace

frmHelp::frmHelp(QWidget *parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Aide de Travoline"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    cmdPrecedent = toolButton(this, "cmdPrecedent", QStyle::SP_ArrowBack, QStringLiteral("Page précédente"));
    cmdSuivant = toolButton(this, "cmdSuivant", QStyle::SP_ArrowForward, QStringLiteral("Page suivante"));
    cmdSommaire = toolButton(this, "cmdSommaire", QStyle::SP_DirHomeIcon, QStringLiteral("Début du manuel"));
    lblRecherche = new QLabel(QStringLiteral("Rechercher :"), this);
    lblRecherche->setObjectName(QStringLiteral("lblRecherche"));
    txtRecherche = new QLineEdit(this);
    txtRecherche->setObjectName(QStringLiteral("txtRecherche"));
    txtRecherche->setClearButtonEnabled(true);
    txtRecherche->setToolTip(QStringLiteral("Mots à chercher ; Entrée passe au suivant"));
    lblRecherche->setBuddy(txtRecherche);

    lstSommaire = new QTreeWidget(this);
    lstSommaire->setObjectName(QStringLiteral("lstSommaire"));
    lstSommaire->setHeaderHidden(true);
    lstSommaire->setToolTip(QStringLiteral("Sommaire du manuel"));
    lblNote = new QLabel(this);
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->setFrameShape(QFrame::StyledPanel);
    lblNote->setMargin(6);
    lblNote->setBackgroundRole(QPalette::ToolTipBase);
    lblNote->setForegroundRole(QPalette::ToolTipText);
    lblNote->setAutoFillBackground(true);
    lblNote->hide();
    txtPage = new QTextBrowser(this);
    txtPage->setObjectName(QStringLiteral("txtPage"));
    txtPage->setOpenExternalLinks(true);

    auto *bar = new QHBoxLayout;
    bar->addWidget(cmdPrecedent);
    bar->addWidget(cmdSuivant);
    bar->addWidget(cmdSommaire);
    bar->addSpacing(12);
    bar->addWidget(lblRecherche);
    bar->addWidget(txtRecherche, 1);

    m_split = new QSplitter(this);
    m_split->addWidget(lstSommaire);
    m_split->addWidget(txtPage);
    m_split->setStretchFactor(1, 1);
    m_split->setSizes({240, 740});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(lblNote);
    layout->addWidget(m_split, 1);
    resize(1000, 720);

    connect(cmdPrecedent, &QToolButton::clicked, txtPage, &QTextBrowser::backward);
    connect(cmdSuivant, &QToolButton::clicked, txtPage, &QTextBrowser::forward);
    connect(cmdSommaire, &QToolButton::clicked, this, [this] { goTo(QString()); });
    connect(txtPage, &QTextBrowser::backwardAvailable, this, &frmHelp::updateButtons);
    connect(txtPage, &QTextBrowser::forwardAvailable, this, &frmHelp::updateButtons);
    connect(txtPage, &QTextBrowser::sourceChanged, this, [this](const QUrl &url) {
        m_anchor = url.fragment();
        if (url.adjusted(QUrl::RemoveFragment) != QUrl::fromLocalFile(m_file)) {
            m_file = url.adjusted(QUrl::RemoveFragment).toLocalFile();
            buildContents();
        }
    });
    connect(lstSommaire, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *item) {
        const QString anchor = item->data(0, AnchorRole).toString();
        if (!anchor.isEmpty()) {
            goTo(anchor);
            return;
        }
        QTextCursor c(txtPage->document());
        c.setPosition(item->data(0, PositionRole).toInt());
        txtPage->setTextCursor(c);
        txtPage->ensureCursorVisible();
    });
    connect(txtRecherche, &QLineEdit::textChanged, this, &frmHelp::search);
    connect(txtRecherche, &QLineEdit::returnPressed, this, &frmHelp::findNext);

    i18n::translateForm(this);
    updateButtons();
}

void frmHelp::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::LanguageChange)
        return;
    i18n::translateForm(this);
    // The manual of the new language, at the same place.
    const QString file = help::currentHelpFile();
    if (!m_file.isEmpty() && file != m_file && QFileInfo::exists(file)) {
        const QString anchor = m_anchor;
        open(file, 0);
        if (!anchor.isEmpty())
            goTo(anchor);
    }
}

void frmHelp::open(const QString &file, int topic) {
    const QString anchor = topic > 0 ? help::topicAnchor(topic) : QString();
    if (file == m_file) {
        goTo(anchor);
        return;
    }
    // Another manual (the language changed): its history starts here.
    m_file = file;
    QUrl url = QUrl::fromLocalFile(file);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    txtPage->setSource(url);
    txtPage->clearHistory();
    m_anchor = anchor;
    buildContents();
    search(txtRecherche->text());
}

QString frmHelp::file() const {
    return m_file;
}

QString frmHelp::anchor() const {
    return m_anchor;
}

void frmHelp::setNote(const QString &text) {
    lblNote->setText(text);
    lblNote->setVisible(!text.isEmpty());
}

QString frmHelp::note() const {
    return lblNote->isHidden() ? QString() : lblNote->text();
}

void frmHelp::goTo(const QString &anchor) {
    QUrl url = QUrl::fromLocalFile(m_file);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    if (txtPage->source() == url) {
        // The same place again (the user scrolled away): back to its top.
        if (anchor.isEmpty())
            txtPage->verticalScrollBar()->setValue(0);
        else
            txtPage->scrollToAnchor(anchor);
        return;
    }
    txtPage->setSource(url);
    m_anchor = anchor;
}

void frmHelp::buildContents() {
    lstSommaire->clear();
    QTreeWidgetItem *top = nullptr;
    QTreeWidgetItem *current = nullptr;
    QString text;
    auto close = [&] {
        if (current)
            current->setData(0, SectionTextRole, plain(current->text(0) + QLatin1Char(' ') + text));
        text.clear();
    };
    for (QTextBlock b = txtPage->document()->begin(); b.isValid(); b = b.next()) {
        const int level = b.blockFormat().headingLevel();
        if (level < 2 || level > 3) {
            text += b.text() + QLatin1Char(' ');
            continue;
        }
        close();
        auto *item = (level == 2 || !top) ? new QTreeWidgetItem(lstSommaire) : new QTreeWidgetItem(top);
        if (level == 2)
            top = item;
        item->setText(0, b.text().trimmed());
        item->setData(0, AnchorRole, anchorOf(b));
        item->setData(0, PositionRole, b.position());
        current = item;
    }
    close();
    lstSommaire->expandAll();
}

void frmHelp::search(const QString &text) {
    const QStringList words = wordsOf(text);
    // A section shows when it holds every word; a chapter also shows when
    // one of its sections does.
    for (int i = 0; i < lstSommaire->topLevelItemCount(); ++i) {
        QTreeWidgetItem *chapter = lstSommaire->topLevelItem(i);
        auto holds = [&words](const QTreeWidgetItem *item) {
            const QString section = item->data(0, SectionTextRole).toString();
            for (const QString &w : words)
                if (!section.contains(w))
                    return false;
            return true;
        };
        bool anyChild = false;
        for (int k = 0; k < chapter->childCount(); ++k) {
            const bool shown = holds(chapter->child(k));
            chapter->child(k)->setHidden(!shown);
            anyChild = anyChild || shown;
        }
        chapter->setHidden(!(anyChild || holds(chapter)));
    }

    QList<QTextEdit::ExtraSelection> marks;
    QTextCharFormat mark;
    mark.setBackground(QColor(255, 230, 120));
    for (const QString &w : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QTextCursor c(txtPage->document());
        while (!(c = txtPage->document()->find(w, c)).isNull())
            marks.append({c, mark});
    }
    txtPage->setExtraSelections(marks);
}

void frmHelp::findNext() {
    const QStringList words = txtRecherche->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return;
    if (!txtPage->find(words.first())) {
        txtPage->moveCursor(QTextCursor::Start);
        txtPage->find(words.first());
    }
}

QStringList frmHelp::visibleContents() const {
    QStringList titles;
    for (int i = 0; i < lstSommaire->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *chapter = lstSommaire->topLevelItem(i);
        if (chapter->isHidden())
            continue;
        titles << chapter->text(0);
        for (int k = 0; k < chapter->childCount(); ++k)
            if (!chapter->child(k)->isHidden())
                titles << chapter->child(k)->text(0);
    }
    return titles;
}

void frmHelp::placeBeside(const QWidget *other) {
    if (!other)
        return;
    const QRect o = other->frameGeometry();
    const QScreen *screen = other->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const int w = qMin(width(), room.width() / 2);
    const int h = qMin(qMax(o.height(), 480), room.height());
    int x = o.right() + 1;
    if (x + w > room.right() + 1)
        x = (o.left() - w >= room.left()) ? o.left() - w : room.right() + 1 - w;
    const int y = qBound(room.top(), o.top(), room.bottom() + 1 - h);
    resize(w, h);
    move(x, y);
}

void frmHelp::updateButtons() {
    cmdPrecedent->setEnabled(txtPage->isBackwardAvailable());
    cmdSuivant->setEnabled(txtPage->isForwardAvailable());
}

} // namespace tav
