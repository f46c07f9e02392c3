#include "gui/shellbrowser/TVExplorer.h"

#include "core/base/Trap.h"
#include "gui/shellbrowser/FolderTreeModel.h"
#include "gui/widgets/ModSubClassing.h"
#include "gui/widgets/cPopupMenu.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QTimer>
#include <QUrl>

using namespace tav::shell;

TVExplorer::TVExplorer(QWidget *parent) : QTreeView(parent) {
    setProperty("CurrentPath", QString());
    setProperty("UseContextMenu", 0);
}

TVExplorer::~TVExplorer() = default;

bool TVExplorer::isAttached() const {
    return registry::contains(this);
}

bool TVExplorer::attach(int /*reserved*/, const QString &path, bool useContextMenu) {
    if (!registry::add(this))
        return false;
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIndentation(19);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setProperty("UseContextMenu", useContextMenu ? 1 : 0);
    ModSubClassing::subclass(this, this);
    if (!m_model) {
        m_model = new FolderTreeModel(this);
        m_model->setNaturalOrder(m_natural);
        setModel(m_model);
    } else {
        m_model->reload();
    }
    if (!path.isEmpty())
        setTVPath(path);
    return true;
}

void TVExplorer::setNaturalOrder(bool on) {
    m_natural = on;
    if (m_model)
        m_model->setNaturalOrder(on);
}

void TVExplorer::refresh() {
    const QString path = TVPath();
    if (m_model)
        m_model->reload();
    setProperty("CurrentPath", QString());
    if (!path.isEmpty())
        setTVPath(path);
}

bool TVExplorer::setTVPath(const QString &path) {
    bool complete = false;
    tav::trap(QStringLiteral("TVPath (Module de classe TVExplorer)"), [&] {
        if (!m_model || path.isEmpty())
            return;
        const QModelIndex target = m_model->indexForPath(path, &complete);
        if (!target.isValid())
            return;
        for (QModelIndex up = target.parent(); up.isValid(); up = up.parent())
            expand(up);
        if (currentIndex() == target) {
            selectedFolderChanged(target);
        } else {
            setCurrentIndex(target);
        }
        scrollTo(target);
        // The tree may still be taking its final size (a path opened at
        // start-up): once it has, the folder is brought into view again.
        QTimer::singleShot(0, this, [this] {
            if (currentIndex().isValid())
                scrollTo(currentIndex());
        });
        // A path naming a file: its folder is shown, the file selected in the list.
        if (!complete) {
            const QFileInfo info(path);
            if (info.isFile() && QDir::cleanPath(info.absolutePath()) == m_model->pathOf(target))
                emit fileNamed(info.fileName());
        }
    });
    return complete;
}

QString TVExplorer::TVPath() const {
    return property("CurrentPath").toString();
}

void TVExplorer::goToParent() {
    const QString path = TVPath();
    if (path.isEmpty() || path == QLatin1String("/"))
        return;
    setTVPath(QFileInfo(path).path());
}

void TVExplorer::setUseContextMenu(bool on) {
    setProperty("UseContextMenu", on ? 1 : 0);
}

bool TVExplorer::UseContextMenu() const {
    return property("UseContextMenu").toInt() != 0;
}

void TVExplorer::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    QTreeView::currentChanged(current, previous);
    tav::trap(QStringLiteral("TV_Notify (Module ModSubClassing)"), [&] { selectedFolderChanged(current); });
}

void TVExplorer::selectedFolderChanged(const QModelIndex &current) {
    if (!current.isValid() || !m_model)
        return;
    const QString path = m_model->pathOf(current);
    const bool changed = path != TVPath();
    setProperty("CurrentPath", path);
    emit folderSelected(path);
    if (changed)
        emit folderChanged(path);
}

bool TVExplorer::eventFilter(QObject *watched, QEvent *event) {
    if (watched == viewport() && event->type() == QEvent::ContextMenu) {
        bool handled = false;
        tav::trap(QStringLiteral("TVWndProc (Module ModSubClassing)"), [&] {
            if (!UseContextMenu())
                return;
            showContextMenu(static_cast<QContextMenuEvent *>(event)->globalPos());
            handled = true;
        });
        return handled;
    }
    return QTreeView::eventFilter(watched, event);
}

void TVExplorer::showContextMenu(const QPoint &globalPos) {
    const QModelIndex at = indexAt(viewport()->mapFromGlobal(globalPos));
    if (!at.isValid())
        return;
    const QString path = m_model->pathOf(at);
    enum { Open = 1, Refresh = 2 };
    cPopupItem items;
    items.add(QStringLiteral("Ouvrir"), Open);
    items.add(QStringLiteral("-"));
    items.add(QStringLiteral("Actualiser"), Refresh);
    cPopupMenu menu;
    menu.CreateMenuPere(items);
    switch (menu.ShowMenu(this, globalPos)) {
    case Open:
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        break;
    case Refresh:
        refresh();
        break;
    default:
        break;
    }
}
