#pragma once
// The order of file names as people read them: a run of digits counts as one
// number ("file2" before "file10"), letters compare without regard to case
// ("File3" between "file2" and "file10"), and names still equal after that
// ("IMG01" and "img1") compare by their UTF-8 bytes, so the order is total
// and the same on every run and every machine. Only the ASCII digits 0 to 9
// make numbers; a number may have any length.

#include <QString>
#include <QStringList>
#include <QStringView>

namespace tav {

// Below zero, zero or above zero as a sorts before, with or after b.
int naturalCompare(QStringView a, QStringView b);
inline bool naturalLess(QStringView a, QStringView b) {
    return naturalCompare(a, b) < 0;
}

// The order of the code points, which is the order of the UTF-8 bytes.
int codePointCompare(QStringView a, QStringView b);

// Sorts names in natural order. Each name is folded to lower case once, so a
// large list sorts much faster than with naturalLess.
void sortNaturally(QStringList &names);
// The indexes of names in the order sortNaturally gives them.
QList<qsizetype> naturalOrderOf(const QStringList &names);

} // namespace tav
