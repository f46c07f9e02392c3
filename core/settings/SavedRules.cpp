#include "core/settings/SavedRules.h"

#include "core/base/FrontEnd.h"
#include "core/i18n/Language.h"
#include "core/settings/ValueText.h"

namespace tav::savedRules {

namespace {

// A rule whose fields are all empty or 0, the base of a rule read from text.
Rule zeroRule() {
    Rule r;
    r.DebutPas = 0;
    r.Pas = 0;
    r.ModifieExtension = 0;
    r.RemplacerCaractereInterdit = 0;
    r.IncrementeFichierIdentique = 0;
    r.EffaceEspace = 0;
    r.PremierCaractereEnMajuscule = 0;
    r.PremierCaractereEnMajusculePourChaqueMot = 0;
    r.Extension.clear();
    return r;
}

} // namespace

QString toText(const Rule &r) {
    return QStringList{r.Regle,
                       r.Commentaire,
                       r.Extension,
                       QString::number(r.IncrementeFichierIdentique),
                       QString::number(r.RemplacerCaractereInterdit),
                       r.ModifieExtensionValeur,
                       QString::number(r.ModifieExtension),
                       QString::number(r.Pas),
                       QString::number(r.PremierCaractereEnMajuscule),
                       QString::number(r.PremierCaractereEnMajusculePourChaqueMot),
                       QString::number(r.DebutPas),
                       QString::number(r.EffaceEspace)}
        .join(Separator);
}

Rule fromText(const QString &text) {
    const QStringList f = text.split(Separator);
    Rule r = zeroRule();
    const auto n = f.size();
    r.Regle = f[0];
    if (n > 1)
        r.Commentaire = f[1];
    if (n > 2)
        r.Extension = f[2];
    if (n > 3)
        r.IncrementeFichierIdentique = valueText::toInt32(f[3]);
    if (n > 4)
        r.RemplacerCaractereInterdit = valueText::toInt32(f[4]);
    if (n > 5)
        r.ModifieExtensionValeur = f[5];
    if (n > 6)
        r.ModifieExtension = valueText::toInt32(f[6]);
    if (n > 7)
        r.Pas = valueText::toInt16(f[7]);
    if (n > 8)
        r.PremierCaractereEnMajuscule = valueText::toInt32(f[8]);
    if (n > 9)
        r.PremierCaractereEnMajusculePourChaqueMot = valueText::toInt32(f[9]);
    if (n > 10)
        r.DebutPas = valueText::toInt32(f[10]);
    if (n > 11)
        r.EffaceEspace = valueText::toInt32(f[11]);
    return r;
}

Rule fromOldText(const QString &text) {
    const QStringList f = text.split(Separator);
    Rule r = zeroRule();
    r.DebutPas = 1;
    r.Pas = 1;
    const auto n = f.size();
    r.Regle = f[0];
    if (n > 1)
        r.DebutPas = valueText::toInt32(f[1]);
    if (n > 2)
        r.Pas = valueText::toInt16(f[2]);
    if (n > 3)
        r.ModifieExtension = valueText::toInt32(f[3]);
    if (n > 4)
        r.ModifieExtensionValeur = f[4];
    if (n > 5)
        r.RemplacerCaractereInterdit = valueText::toInt32(f[5]);
    return r;
}

QString ecrireCommentaire(const QString &comment, const QString &fileTypes) {
    return (comment.isEmpty() ? i18n::Message(93) : comment) + QStringLiteral(" (") +
           (fileTypes.isEmpty() ? QStringLiteral("*") : fileTypes) + QChar(u')');
}

CommentParts getCommentaire(const QString &label) {
    if (label.count(u'(') != 1)
        return {i18n::Message(95), QStringLiteral("*")};
    const qsizetype open = label.indexOf(u'(');
    QString types = label.mid(open + 1);
    types.remove(u')');
    return {label.left(open).trimmed(), types};
}

bool isCommentPrompt(const QString &text) {
    return text == i18n::Message(93) || text == i18n::Message(95);
}

std::optional<CommentParts> acceptCommentDialog(const QString &comment, const QString &fileTypes) {
    // "(" and ")" delimit the file types in the label; "|" separates the
    // fields of a saved rule.
    for (const QString &t : {comment, fileTypes}) {
        if (t.contains(u'(') || t.contains(u')') || t.contains(Separator)) {
            frontEnd().msgBox(i18n::Message(99), StyleInformation, i18n::Message(2));
            return std::nullopt;
        }
    }
    const QString c = comment.trimmed();
    const QString f = fileTypes.trimmed();
    return CommentParts{c.isEmpty() ? i18n::Message(95) : c, f.isEmpty() ? QStringLiteral("*") : f};
}

int indexOf(const Settings &s, const QString &pattern) {
    for (int i = 0; i < s.regles.size(); ++i)
        if (!s.regles[i].Regle.isEmpty() && s.regles[i].Regle == pattern)
            return i;
    return -1;
}

std::optional<Rule> findSavedRule(const Settings &s, const QString &pattern) {
    const int i = indexOf(s, pattern);
    if (i < 0)
        return std::nullopt;
    return s.regles[i];
}

QStringList savedRulePatterns(const Settings &s) {
    QStringList out;
    for (const Rule &r : s.regles)
        if (!r.Regle.isEmpty())
            out << r.Regle;
    return out;
}

QStringList savedRulesAsTabLines(const Settings &s) {
    QStringList out;
    for (const Rule &r : s.regles)
        if (!r.Regle.isEmpty())
            out << toText(r).split(Separator).join(u'\t');
    return out;
}

void applyFields(const Rule &saved, Rule &current) {
    current.DebutPas = saved.DebutPas;
    current.Pas = saved.Pas;
    current.ModifieExtension = saved.ModifieExtension;
    current.ModifieExtensionValeur = saved.ModifieExtensionValeur;
    current.RemplacerCaractereInterdit = saved.RemplacerCaractereInterdit;
    current.Commentaire = saved.Commentaire;
    current.Extension = saved.Extension.isEmpty() ? QStringLiteral("*") : saved.Extension;
    current.IncrementeFichierIdentique = saved.IncrementeFichierIdentique;
    current.PremierCaractereEnMajuscule = saved.PremierCaractereEnMajuscule;
    current.PremierCaractereEnMajusculePourChaqueMot = saved.PremierCaractereEnMajusculePourChaqueMot;
    current.EffaceEspace = saved.EffaceEspace;
}

bool chooseSavedRule(const Settings &s, const QString &pattern, Rule &current,
                     const std::function<void(bool)> &setUpdatesEnabled, const std::function<void()> &patternChanged) {
    const int i = indexOf(s, pattern);
    if (i < 0)
        return false;
    if (setUpdatesEnabled)
        setUpdatesEnabled(false);
    applyFields(s.regles[i], current);
    if (setUpdatesEnabled)
        setUpdatesEnabled(true);
    if (patternChanged)
        patternChanged();
    return true;
}

void takeCommentOfMatchingRule(Settings &s) {
    for (const Rule &r : s.regles) {
        if (r.Regle.isEmpty() || r.Regle != s.regle.Regle)
            continue;
        s.regle.Commentaire = r.Commentaire;
        s.regle.Extension = r.Extension.isEmpty() ? QStringLiteral("*") : r.Extension;
    }
}

} // namespace tav::savedRules
