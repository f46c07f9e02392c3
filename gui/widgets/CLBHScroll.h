#pragma once
// CLBHScroll: lets the lines of a list box scroll horizontally, so that long
// lines (full paths, for instance) can be read whole instead of being cut.
//
// Usage:
//     CLBHScroll scroll;
//     scroll.attach(listWidget);        // once; the extent starts at 0
//     scroll.add(QStringLiteral("..."));// appends the line, widens the extent
//
// The horizontal extent follows the widest line added so far (in pixels of
// the list's font); adding a shorter line never narrows it. After each add the
// list is scrolled back to its left edge. clear() empties the list and resets
// the extent to 0.

#include <QPointer>
#include <QString>

#include <QListWidget> // complete: the inline list() converts the QPointer

class CLBHScroll {
public:
    CLBHScroll() = default;
    explicit CLBHScroll(QListWidget *list) { attach(list); }

    // Serves this list from now on; sets it up for horizontal scrolling.
    void attach(QListWidget *list);
    QListWidget *list() const { return m_list; }

    // Appends text as a new line and widens the horizontal extent when needed.
    void add(const QString &text);
    // Widens the extent for a text already in the list (no line is added).
    void measure(const QString &text);
    // Empties the list and resets the extent to 0.
    void clear();

    // Widest line seen so far, in pixels (0 before any add).
    int widest() const { return m_widest; }

private:
    void applyExtent();
    int lineHeight() const;

    QPointer<QListWidget> m_list;
    int m_widest = 0;
};
