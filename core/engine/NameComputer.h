#pragma once
// The computation of one new name: from the naming options and a file to the
// name the file is to have. It keeps no list: the caller says at which
// position (1-based) of the counter the file stands, and numbers identical
// names itself.

#include "core/base/MetadataRecord.h"
#include "core/base/Wildcard.h"
#include "core/engine/NamingOptions.h"
#include "core/engine/Normalise.h"
#include "core/engine/RegexOperator.h"
#include "core/engine/TokenTable.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <functional>
#include <vector>

namespace tav {

class NameComputer {
public:
    using Clock = std::function<QDateTime()>;

    struct Result {
        QString newName;
        bool makesFolders = false;
        bool stop = false;   // replace-by-position without a usable position
        bool marker = false; // newName is a marker text (never renamed, type not selected)
        // Why no new name could be made for this file (newName is then
        // empty): a regular expression that stopped at its limits.
        QString problem;
    };

    explicit NameComputer(const NamingOptions &options = NamingOptions());

    const NamingOptions &options() const { return m_options; }
    void setOptions(const NamingOptions &options);

    // Null: every record is empty. Not owned.
    void setMetadataSource(MetadataSource *source) { m_metadata = source; }
    // Tells the metadata source which files come next, so that it can read
    // them in one batch; nothing when the pattern needs no photo metadata.
    void expect(const QStringList &paths) const;
    // The clock of the current-date tokens (read once per file); empty: the system's.
    void setClock(Clock clock);

    // Between the two, the folders the continue mode reads are read once
    // (the disk does not change under one recomputation of a list).
    void beginRun();
    void endRun();

    // The new name of the file at path standing at position. Throws TavError
    // for a counter out of range; reading a folder lets events run.
    Result compute(const QString &path, int position);
    // The same with the path already cut into its folder and name.
    Result compute(const QString &path, const QString &oldName, const QString &folder, int position);

private:
    // One new name, step by step, in the order the pattern language fixes.
    // The name is written into two texts in turn, kept from one file to the
    // next with their room, so that a step makes no text of its own.
    struct Build {
        QString path;
        // The caller's texts, for the length of one computation.
        const QString *oldName = nullptr, *folder = nullptr;
        QString name;               // the name being built, from the pattern
        QString spare;              // where a step writes the name it makes
        QStringView base, ext;      // of oldName, or ext of extText
        QString extText;            // the extension the options give
        bool folderPattern = false; // $MKDIR: name holds folder-level marks
        bool absolute = false;      // a folder pattern from the root
        unsigned tokens = 0;        // the kinds of "$" tokens name holds now
        // The file's full path (made from its folder and name when not given).
        const QString &filePath();
        // Reads the kinds of tokens again after a step changed the name.
        void rescan();
        // Every occurrence of token (never empty) replaced by value, left to
        // right, as QString::replace does.
        void replace(QStringView token, QStringView value);
        // spare becomes the name.
        void takeSpare() { name.swap(spare); }
    };
    // Files never renamed and types the rule does not select get a marker
    // text (true); otherwise prepares the folder pattern, base name and extension.
    bool markerName(Build &b, Result &out);
    void replaceClockTokens(Build &b) const;    // the current date
    void replaceFileTokens(Build &b) const;     // $P$, $t$, the modification date
    void replaceMetadataTokens(Build &b) const; // the metadata record
    bool applyOperators(Build &b) const;        // $REPC, $REPP; true: no usable position
    // $REGEX: each operator's result where it stands; false with out's
    // problem set when one could not be applied to this file.
    bool applyRegexOperators(Build &b, Result &out) const;
    // The rule's $REGEX operators compiled once, the rule's text kept with a
    // placeholder for each, so that no token is replaced inside them; and
    // what every name of the rule starts from.
    void prepareRule();
    // What the options give for every file: the type filter, the lengths of
    // the names never renamed.
    void prepareOptions();
    // The rule's start with its old-name tokens replaced, in one pass;
    // false when the name then holds a "$" or a "#" (or the rule a step
    // that runs whatever the name holds): the token steps must look.
    bool fillStart(Build &b) const;
    void finishName(Build &b, Result &out) const; // options, extension, forbidden characters, levels
    void applyCounter(Build &b, int position);
    // The continue mode's counter: after the highest number of the folder.
    QString continueCounter(const QString &name, const QString &folder, bool folderPattern, bool absolute);
    Result computeWith(Build &b, const QString &path, const QString &oldName, const QString &folder, int position);
    qint64 continueModeHighest(const QString &folder, const QString &prefix, int width, const QString &suffix);
    // The value of a date token for when.
    QString datePartText(const QDateTime &when, DatePart part) const;
    QString photoFieldText(const MetadataRecord &rec, int field, DatePart part) const;
    // The Qt date formats of the year and month settings.
    QString yearPattern() const;
    QString monthPattern() const;
    // Digits in plain ASCII, month names in the locale's language.
    QString dateText(QDate date, const QString &pattern) const;
    QString yearText(const QString &year) const;
    QString monthText(const QString &month) const;

    NamingOptions m_options;
    ForbiddenCharReplacer m_replacer;
    QSet<QString> m_neverRenamedSet;
    WildcardList m_typeFilter;
    MetadataSource *m_metadata = nullptr;
    Clock m_clock;
    bool m_inRun = false;
    QHash<QString, QStringList> m_folderCache; // continue mode, during a run
    QString m_regexSource;                     // the rule the operators below come from
    QList<RegexReplacer> m_regexes;            // one per placeholder, in order
    // Every name starts from the same text: the rule with the operators'
    // placeholders and its folder marks.
    QString m_startName;
    bool m_folderPattern = false, m_absolute = false;
    bool m_hasDigitsToken = false, m_hasBaseToken = false;
    // The start cut at its old-name tokens: text of m_startName (slot None)
    // or the value of a token.
    enum class Slot : quint8 { None, Digits, Base };
    struct Piece {
        qsizetype begin, length;
        Slot slot;
    };
    QList<Piece> m_pieces;
    // Beside the old-name tokens the rule brings nothing the token steps,
    // the operators or the counter act on.
    bool m_plainStart = false;
    // The lengths of the names never renamed: most names need no look-up.
    std::vector<bool> m_neverRenamedLengths;
    Build m_build;            // its texts' room kept between files
    bool m_computing = false; // a computation runs (events may start another)
};

} // namespace tav
