#include "core/Languages.h"

#include <QHash>
#include <QLocale>

#include <unicode/uloc.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::Languages {
namespace {

bool isAlpha(QStringView s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    });
}

bool isDigits(QStringView s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

const QStringList& popularity() {
    static const QStringList table{u"en"_s, u"zh"_s, u"zh-TW"_s, u"es"_s, u"hi"_s, u"ar"_s, u"pt"_s,
                                   u"fr"_s, u"de"_s, u"ja"_s,    u"ko"_s, u"it"_s, u"tr"_s, u"vi"_s,
                                   u"id"_s, u"th"_s, u"nl"_s,    u"sv"_s, u"da"_s, u"nb"_s, u"fi"_s,
                                   u"el"_s, u"he"_s, u"ms"_s,    u"ro"_s, u"hu"_s, u"ca"_s, u"cs"_s,
                                   u"sk"_s, u"pl"_s, u"ru"_s,    u"uk"_s, u"bg"_s};
    return table;
}

qsizetype popularityRank(const QString& code) {
    static const QHash<QString, qsizetype> ranks = [] {
        QHash<QString, qsizetype> table;
        for (qsizetype i = 0; i < popularity().size(); ++i)
            table.insert(popularity()[i], i);
        return table;
    }();
    return ranks.value(code, popularity().size());
}

const QSet<QString>& lexicon() {
    static const QSet<QString> table{u"en"_s, u"es"_s, u"fr"_s, u"de"_s, u"it"_s, u"pt"_s, u"ru"_s,
                                     u"uk"_s, u"pl"_s, u"nl"_s, u"sv"_s, u"da"_s, u"nb"_s, u"fi"_s,
                                     u"cs"_s, u"sk"_s, u"ro"_s, u"hu"_s, u"el"_s, u"tr"_s, u"ar"_s,
                                     u"he"_s, u"hi"_s, u"ja"_s, u"ko"_s, u"zh"_s, u"vi"_s, u"th"_s,
                                     u"id"_s, u"ms"_s, u"bg"_s, u"ca"_s};
    return table;
}

QString Tag::toString() const {
    QStringList parts;
    for (const QString* part : {&language, &script, &region})
        if (!part->isEmpty())
            parts << *part;
    return (parts + rest).join(u'-');
}

Tag tag(const QString& text) {
    QString bare = text;
    for (const QChar stop : {u'@', u'.'}) {
        const auto at = bare.indexOf(stop);
        if (at >= 0)
            bare.truncate(at);
    }
    QStringList subtags = bare.replace(u'_', u'-').split(u'-', Qt::SkipEmptyParts);
    Tag parsed;
    if (subtags.isEmpty())
        return parsed;
    parsed.language = subtags.takeFirst().toLower();
    if (!subtags.isEmpty() && subtags.first().size() == 4 && isAlpha(subtags.first())) {
        const QString script = subtags.takeFirst();
        parsed.script = script.left(1).toUpper() + script.mid(1).toLower();
    }
    if (!subtags.isEmpty() && ((subtags.first().size() == 2 && isAlpha(subtags.first())) ||
                               (subtags.first().size() == 3 && isDigits(subtags.first()))))
        parsed.region = subtags.takeFirst().toUpper();
    for (QString& subtag : subtags)
        parsed.rest << subtag.toLower();
    return parsed;
}

QString code(const QString& identifier) {
    Tag parsed = tag(identifier);
    // Only a language subtag of two or three letters names a language.
    const bool known =
        (parsed.language.size() >= 2 && parsed.language.size() <= 3 && isAlpha(parsed.language)) ||
        parsed.language == u"root";
    if (!known)
        parsed = Tag{identifier.left(2), {}, {}, {}};
    const QString& base = parsed.language;
    if (base == u"no" || base == u"nn")
        return u"nb"_s;
    if (base == u"iw")
        return u"he"_s;
    if (base == u"in")
        return u"id"_s;
    if (base == u"zh") {
        const bool traditional = parsed.script == u"Hant" || parsed.region == u"TW" ||
                                 parsed.region == u"HK" || parsed.region == u"MO";
        return traditional ? u"zh-TW"_s : u"zh"_s;
    }
    return base;
}

QString platformIdentifier(const QString& code) {
    if (code == u"zh")
        return u"zh-Hans"_s;
    if (code == u"zh-TW")
        return u"zh-Hant"_s;
    return code;
}

QString name(const QString& code) {
    // Norwegian and Chinese by the system's own names; Serbo-Croatian by its macrolanguage
    // code, which the engine uses and ICU knows only as "sh".
    static const QHash<QString, QString> overrides{{u"zh"_s, u"Chinese (Simplified)"_s},
                                                   {u"zh-TW"_s, u"Chinese (Traditional)"_s},
                                                   {u"nb"_s, u"Norwegian"_s},
                                                   {u"pt"_s, u"Portuguese"_s},
                                                   {u"ms"_s, u"Malay"_s},
                                                   {u"he"_s, u"Hebrew"_s},
                                                   {u"hbs"_s, u"Serbo-Croatian"_s}};
    if (const auto it = overrides.constFind(code); it != overrides.cend())
        return *it;
    const QLocale::Language language = QLocale::codeToLanguage(code);
    if (language != QLocale::AnyLanguage && language != QLocale::C)
        return QLocale::languageToString(language);
    // Qt's tables hold only the languages it has locales for; ICU's names reach further
    // ("frp" is Arpitan, "szl" Silesian).
    const bool plain = !code.isEmpty() && std::all_of(code.cbegin(), code.cend(), [](QChar c) {
        return c.isDigit() || (c.toLatin1() >= 'a' && c.toLatin1() <= 'z') ||
               (c.toLatin1() >= 'A' && c.toLatin1() <= 'Z') || c == u'-' || c == u'_';
    });
    if (!plain)
        return code;
    const QByteArray identifier = code.toLatin1();
    UChar buffer[128];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uloc_getDisplayLanguage(identifier.constData(), "en", buffer,
                                                   int32_t(std::size(buffer)), &status);
    if (U_SUCCESS(status) && status != U_USING_DEFAULT_WARNING && length > 0 &&
        length < int32_t(std::size(buffer)))
        return QString(reinterpret_cast<const QChar*>(buffer), length);
    return code;
}

bool isCode(const QString& text) {
    if (text == u"zh-TW")
        return true;
    const bool shaped =
        (text.size() == 2 || text.size() == 3) &&
        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'a' && c <= u'z'; });
    if (!shaped || code(text) != text)
        return false;
    return popularityRank(text) < popularity().size() || lexicon().contains(text) ||
           name(text) != text;
}

QString lexiconCode(const QString& code) {
    return code.startsWith(u"zh") ? u"zh"_s : code;
}

QStringList sorted(const QStringList& codes) {
    QStringList unique;
    QSet<QString> seen;
    for (const QString& code : codes) {
        if (!seen.contains(code)) {
            seen.insert(code);
            unique << code;
        }
    }
    struct Key {
        qsizetype rank;
        QString name;
        QString code;
    };
    const qsizetype unranked = popularity().size();
    QList<Key> keys;
    keys.reserve(unique.size());
    for (const QString& code : unique) {
        const qsizetype rank = popularity().indexOf(code);
        keys.append({rank < 0 ? unranked : rank, name(code), code});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        return a.name < b.name;
    });
    QStringList result;
    result.reserve(keys.size());
    for (const Key& key : keys)
        result << key.code;
    return result;
}

QStringList preferredLanguages() {
    return QLocale::system().uiLanguages();
}

QString systemLanguage(const QSet<QString>& supported) {
    return systemLanguage(supported, preferredLanguages());
}

QString systemLanguage(const QSet<QString>& supported, const QStringList& preferred) {
    for (const QString& identifier : preferred) {
        const QString candidate = code(identifier);
        if (supported.contains(candidate))
            return candidate;
    }
    return u"en"_s;
}

} // namespace tivela::Languages

namespace tivela {

QJsonObject toJson(const Language& language) {
    return QJsonObject{{QStringLiteral("code"), language.code}};
}

template <>
std::optional<Language> fromJson<Language>(const QJsonObject& object) {
    const QJsonValue code = object.value(QLatin1String("code"));
    if (!code.isString())
        return std::nullopt;
    return Language{code.toString()};
}

} // namespace tivela
