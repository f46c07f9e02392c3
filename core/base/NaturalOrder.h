#pragma once
// The order of file names as people read them: a run of digits counts as one
// number ("file2" before "file10"), letters compare without regard to case
// ("File3" between "file2" and "file10"), and names still equal after that
// ("IMG01" and "img1") compare by their UTF-8 bytes, so the order is total
// and the same on every run and every machine. Only the ASCII digits 0 to 9
// make numbers; a number may have any length.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <memory>
#include <vector>

namespace tav {

// Below zero, zero or above zero as a sorts before, with or after b.
int naturalCompare(QStringView a, QStringView b);
inline bool naturalLess(QStringView a, QStringView b) {
    return naturalCompare(a, b) < 0;
}

// The order of the code points, which is the order of the UTF-8 bytes.
int codePointCompare(QStringView a, QStringView b);

// The names of a list, each turned once into a key whose bytes compare as
// the natural order does, so that sorting many names costs a byte comparison
// per pair. The names must outlive the keys.
class NaturalKeys {
public:
    NaturalKeys(qsizetype count, const std::function<QStringView(qsizetype)> &nameAt);
    explicit NaturalKeys(const QStringList &names);
    // naturalCompare of names i and j.
    int compare(qsizetype i, qsizetype j) const;
    // The indexes of the names in natural order.
    std::vector<qsizetype> order() const;
    // The same, sorted even when the names stand in order already.
    std::vector<qsizetype> sortedOrder() const;

private:
    struct Key {
        quint64 head[2]; // the key's first 16 bytes, big-endian, zero-padded
        quint32 begin;   // the whole key in m_bytes
        quint32 length;
    };
    template <class NameAt> void build(qsizetype count, const NameAt &nameAt);
    int compareKeys(const Key &a, const Key &b, qsizetype i, qsizetype j) const;

    std::unique_ptr<char[]> m_bytes;
    std::vector<Key> m_keys;
    std::vector<QStringView> m_names;
};

// Sorts names in natural order, through their keys. True when the names are
// known to be all different (each compared with its neighbour), false when
// they may not be.
bool sortNaturally(QStringList &names);
// The indexes of names in the order sortNaturally gives them.
QList<qsizetype> naturalOrderOf(const QStringList &names);

} // namespace tav
