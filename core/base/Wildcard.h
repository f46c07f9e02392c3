#pragma once
// Wildcard patterns of the file-type filter and the display filter:
// "*" any run of characters, "?" any one character, "#" any one digit,
// "[abc]" / "[a-z]" one character of the set, "[!abc]" one character outside it;
// a "[" without its "]" is an ordinary character.
// Matching is exact; callers that want to ignore case upper-case both sides.

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tav {

class WildcardPattern {
public:
    WildcardPattern() = default;
    explicit WildcardPattern(QStringView pattern);
    bool matches(QStringView text) const;

private:
    enum class Kind { Literal, AnyOne, AnyRun, Digit, Set };
    struct Item {
        Kind kind = Kind::Literal;
        QChar ch;
        bool negated = false;
        QList<std::pair<char16_t, char16_t>> ranges; // inclusive ranges of a set
    };
    bool itemMatches(const Item &item, QChar c) const;
    QList<Item> m_items;
};

bool likeMatch(QStringView text, QStringView pattern);

// A list of patterns cut at every single space (empty pieces kept: an empty
// piece matches only the empty text), matched ignoring case.
class WildcardList {
public:
    WildcardList() = default;
    explicit WildcardList(const QString &spaceSeparated);
    const QString &source() const { return m_source; }
    // True when text, upper-cased, matches one of the upper-cased pieces.
    bool matchesAny(QStringView text) const;

private:
    QString m_source;
    QList<WildcardPattern> m_patterns;
    bool m_everything = false;
};

// The display filter of file names (the folder contents list, adding a folder
// tree): patterns separated by spaces, empty pieces ignored, matched ignoring
// case. "*" and "*.*" match every name, also one without a dot, and so does a
// filter without any pattern.
class NameFilter {
public:
    explicit NameFilter(const QString &spaceSeparated = QString());
    bool matches(const QString &name) const;
    bool matchesEverything() const { return m_all; }

private:
    QList<WildcardPattern> m_patterns;
    bool m_all = false;
};

} // namespace tav
