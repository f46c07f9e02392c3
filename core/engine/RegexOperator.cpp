#include "core/engine/RegexOperator.h"

#include "core/engine/TokenTable.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace tav {

namespace {

QString pcreMessage(int code) {
    char16_t buffer[256];
    const int n = pcre2_get_error_message(code, reinterpret_cast<PCRE2_UCHAR16 *>(buffer), 256);
    return n < 0 ? QStringLiteral("error %1").arg(code) : QString::fromUtf16(buffer, n);
}

bool isGroupDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A replacement cut into literal texts and group numbers.
struct Part {
    QString literal;
    int group = -1;
};

QList<Part> replacementParts(const QString &replacement) {
    QList<Part> parts;
    QString literal;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c != u'\\' || i + 1 == replacement.size()) {
            literal += c;
            continue;
        }
        const QChar next = replacement[++i];
        if (isGroupDigit(next)) {
            if (!literal.isEmpty())
                parts.append({std::exchange(literal, QString()), -1});
            parts.append({QString(), next.unicode() - u'0'});
        } else {
            literal += next;
        }
    }
    if (!literal.isEmpty())
        parts.append({literal, -1});
    return parts;
}

} // namespace

struct RegexReplacer::Compiled {
    pcre2_code_16 *code = nullptr;
    pcre2_match_context_16 *context = nullptr;
    QList<Part> parts;
    QString error;
    qsizetype errorOffset = 0;

    ~Compiled() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

RegexReplacer::RegexReplacer() = default;
RegexReplacer::~RegexReplacer() = default;
RegexReplacer::RegexReplacer(const RegexReplacer &) = default;
RegexReplacer &RegexReplacer::operator=(const RegexReplacer &) = default;

RegexReplacer::RegexReplacer(const QString &pattern, const QString &replacement, bool ignoreCase) {
    auto c = std::make_shared<Compiled>();
    // Unicode text with Unicode classes ("\w" takes "é"); a name that is not
    // valid UTF-16 is matched, never refused.
    uint32_t options = PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF;
    if (ignoreCase)
        options |= PCRE2_CASELESS;
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    c->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR16>(pattern.utf16()), PCRE2_SIZE(pattern.size()), options,
                            &errorCode, &errorOffset, nullptr);
    if (!c->code) {
        c->error = pcreMessage(errorCode);
        c->errorOffset = qsizetype(errorOffset);
    } else {
        c->context = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(c->context, MatchLimit);
        pcre2_set_depth_limit(c->context, DepthLimit);
        c->parts = replacementParts(replacement);
    }
    m_compiled = std::move(c);
}

bool RegexReplacer::isValid() const {
    return m_compiled && m_compiled->code;
}

QString RegexReplacer::errorText() const {
    return m_compiled ? m_compiled->error : QString();
}

qsizetype RegexReplacer::errorOffset() const {
    return m_compiled ? m_compiled->errorOffset : 0;
}

RegexReplacer::Result RegexReplacer::apply(const QString &subject) const {
    Result result;
    if (!isValid()) {
        result.failure = m_compiled ? errorText() : QStringLiteral("not an operator");
        return result;
    }
    const Compiled &c = *m_compiled;
    std::unique_ptr<pcre2_match_data_16, decltype(&pcre2_match_data_free_16)> data(
        pcre2_match_data_create_from_pattern(c.code, nullptr), &pcre2_match_data_free_16);
    if (!data) {
        result.failure = pcreMessage(PCRE2_ERROR_NOMEMORY);
        return result;
    }
    const auto text = reinterpret_cast<PCRE2_SPTR16>(subject.utf16());
    const PCRE2_SIZE length = PCRE2_SIZE(subject.size());
    const uint32_t pairs = pcre2_get_ovector_count(data.get());
    QString &out = result.text;
    PCRE2_SIZE offset = 0, copied = 0;
    uint32_t options = 0;
    while (offset <= length) {
        const int rc = pcre2_match(c.code, text, length, offset, options, data.get(), c.context);
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (options == 0)
                break;
            // No match that is not empty here: move on by one character.
            options = 0;
            offset +=
                offset + 1 < length && QChar::isHighSurrogate(text[offset]) && QChar::isLowSurrogate(text[offset + 1])
                    ? 2
                    : 1;
            continue;
        }
        if (rc < 0) {
            result.text.clear();
            result.failure = pcreMessage(rc);
            return result;
        }
        const PCRE2_SIZE *ov = pcre2_get_ovector_pointer(data.get());
        // "\K" may end a match before its start: nothing is then replaced twice.
        const PCRE2_SIZE start = std::max(ov[0], copied), end = std::max(ov[1], start);
        out += QStringView(subject).mid(qsizetype(copied), qsizetype(start - copied));
        for (const Part &p : c.parts) {
            if (p.group < 0) {
                out += p.literal;
            } else if (uint32_t(p.group) < pairs && ov[2 * p.group] != PCRE2_UNSET) {
                out += QStringView(subject).mid(qsizetype(ov[2 * p.group]),
                                                qsizetype(ov[2 * p.group + 1] - ov[2 * p.group]));
            }
        }
        copied = end;
        // After an empty match, the next one must not be empty at the same place.
        options = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
        offset = ov[1];
    }
    out += QStringView(subject).mid(qsizetype(copied));
    return result;
}

QList<RegexSpan> findRegexOperators(const QString &text) {
    static const QString head = tokenText(TokenValue::ReplaceRegex);
    QList<RegexSpan> spans;
    const qsizetype n = text.size();
    qsizetype from = 0, p;
    while ((p = text.indexOf(head, from)) >= 0) {
        RegexSpan span;
        span.begin = p;
        qsizetype i = p + head.size();
        if (i < n && text[i] == u'/') {
            span.patternAt = ++i;
            QString field;
            while (i < n) {
                const QChar c = text[i];
                if (c == u'\\' && i + 1 < n) {
                    field += c;
                    field += text[i + 1];
                    i += 2;
                } else if (c == u'/') {
                    span.fields << std::exchange(field, QString());
                    ++i;
                } else if (c == u'$') {
                    span.closed = true;
                    ++i;
                    break;
                } else {
                    field += c;
                    ++i;
                }
            }
            span.fields << field;
        } else {
            span.patternAt = i;
            if (i < n && text[i] == u'$') {
                span.closed = true;
                ++i;
            }
        }
        span.end = i;
        spans.append(span);
        from = i;
    }
    return spans;
}

bool regexSpanWellFormed(const RegexSpan &span) {
    const qsizetype n = span.fields.size();
    return span.closed && (n == 2 || n == 3) && !span.fields[0].isEmpty() &&
           (n == 2 || span.fields[2].isEmpty() || span.fields[2] == u"i");
}

RegexReplacer replacerOf(const RegexSpan &span) {
    if (!regexSpanWellFormed(span))
        return RegexReplacer();
    return RegexReplacer(span.fields[0], span.fields[1], span.fields.size() == 3 && span.fields[2] == u"i");
}

QString replacementLiteralText(const QString &replacement) {
    QString out;
    for (const Part &p : replacementParts(replacement))
        out += p.literal;
    return out;
}

QString regexOperatorText(const QString &pattern, const QString &replacement, bool ignoreCase) {
    QString p;
    bool inClass = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == u'\\' && i + 1 < pattern.size()) {
            p += c;
            p += pattern[++i];
        } else if (c == u'/') {
            p += QStringLiteral("\\/");
        } else if (c == u'$') {
            p += inClass ? QStringLiteral("\\$") : QStringLiteral("\\z");
        } else if (!inClass && c == u'[') {
            inClass = true;
            p += c;
            // A "]" first in the class (after a "^") is one of its characters.
            if (i + 1 < pattern.size() && pattern[i + 1] == u'^')
                p += pattern[++i];
            if (i + 1 < pattern.size() && pattern[i + 1] == u']')
                p += pattern[++i];
        } else if (inClass && c == u'[' && i + 1 < pattern.size() && pattern[i + 1] == u':') {
            // A named class such as [:digit:] inside the brackets.
            const qsizetype close = pattern.indexOf(QLatin1String(":]"), i + 2);
            const qsizetype stop = close < 0 ? i : close + 1;
            p += pattern.mid(i, stop - i + 1);
            i = stop;
        } else {
            if (inClass && c == u']')
                inClass = false;
            p += c;
        }
    }
    QString r;
    for (qsizetype i = 0; i < replacement.size(); ++i) {
        const QChar c = replacement[i];
        if (c == u'\\' && i + 1 < replacement.size()) {
            r += c;
            r += replacement[++i];
        } else if (c == u'/' || c == u'$') {
            r += u'\\';
            r += c;
        } else {
            r += c;
        }
    }
    return tokenText(TokenValue::ReplaceRegex) + u'/' + p + u'/' + r +
           (ignoreCase ? QStringLiteral("/i$") : QStringLiteral("$"));
}

RegexFields regexFieldsOf(const RegexSpan &span) {
    RegexFields f;
    const auto unescape = [](const QString &field, bool dollar) {
        QString out;
        for (qsizetype i = 0; i < field.size(); ++i) {
            if (field[i] == u'\\' && i + 1 < field.size() && (field[i + 1] == u'/' || (dollar && field[i + 1] == u'$')))
                ++i;
            out += field[i];
        }
        return out;
    };
    f.pattern = unescape(span.fields.value(0), false);
    f.replacement = unescape(span.fields.value(1), true);
    f.ignoreCase = span.fields.value(2) == u"i";
    return f;
}

QString ruleWithRegexOperator(const QString &rule, const QString &operatorText) {
    const QList<RegexSpan> spans = findRegexOperators(rule);
    if (spans.isEmpty())
        return operatorText;
    const RegexSpan &first = spans.first();
    return rule.left(first.begin) + operatorText + rule.mid(first.end);
}

} // namespace tav
