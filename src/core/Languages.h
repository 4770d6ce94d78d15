#pragma once

#include "core/Json.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace tivela {

// The tables around language codes: popularity order, dictionary-pack languages, display
// names, menu order and the mapping to and from platform locale identifiers.
namespace Languages {

const QStringList& popularity();
// A code's index in `popularity`; codes not in it rank after all that are.
qsizetype popularityRank(const QString& code);
const QSet<QString>& lexicon();

// The parts of a language tag, BCP 47 or POSIX style ("zh-Hant-TW", "pt_BR", "en_US.UTF-8",
// "en-gb-x-rp"), each in its canonical case: the language in lower case, a script (four letters
// right after it) in title case, a region (two letters or three digits, after the language or
// the script) in upper case, and the subtags after those in lower case. A POSIX encoding or
// modifier is dropped, and so are empty subtags. QLocale is not used on purpose: it invents
// likely subtags and turns codes it does not know into "C".
struct Tag {
    QString language;
    QString script;
    QString region;
    QStringList rest;

    // The parts that are there, joined by "-".
    QString toString() const;
};
Tag tag(const QString& text);

// A platform locale or language identifier ("en-US", "zh-Hant-TW", "pt_BR") to the system's code.
QString code(const QString& identifier);
// The identifier handed to platform language services for a code.
QString platformIdentifier(const QString& code);
QString name(const QString& code);
// Whether a text is a language code as the system keeps one ("en", "zh-TW", "ast"): a language
// that the tables here, Qt's or ICU's name, in the system's own form ("nb", not "no" or "nb-NO").
bool isCode(const QString& text);
// The code under which a language's dictionary pack is filed ("zh-TW" files under "zh").
QString lexiconCode(const QString& code);
// Without duplicates, the popular codes first in their order, the rest by English name.
QStringList sorted(const QStringList& codes);
// The first of the user's preferred languages that is supported, else "en".
QString systemLanguage(const QSet<QString>& supported);
QString systemLanguage(const QSet<QString>& supported, const QStringList& preferred);
// The user's preferred languages as platform identifiers, most preferred first.
QStringList preferredLanguages();

} // namespace Languages

struct Language {
    QString code;

    QString id() const { return code; }
    QString name() const { return Languages::name(code); }
    QString lexiconCode() const { return Languages::lexiconCode(code); }

    friend bool operator==(const Language&, const Language&) = default;
};

inline size_t qHash(const Language& language, size_t seed = 0) {
    return qHash(language.code, seed);
}

QJsonObject toJson(const Language& language);
template <>
std::optional<Language> fromJson<Language>(const QJsonObject& object);

} // namespace tivela
