#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace tivela {

// Writing systems and the languages that use them: the one table that the script check, the
// language detector and speech all decide by. Speech adds the choice of a spoken language for a
// text and of the best voice for it, on plain records so the rules run without a synthesiser.
namespace Voices {
Q_NAMESPACE

// A system voice as the speech platform lists it.
struct Voice {
    QString identifier;
    QString name;
    // The voice's locale as the platform gives it ("en-US", "zh-TW", "pt_BR").
    QString language;
    // Higher is better; the ranking tells apart 3 or more, 2, and anything lower.
    int quality = 0;
    // Novelty voices are never chosen or listed.
    bool isNovelty = false;

    friend bool operator==(const Voice&, const Voice&) = default;
};

enum class Script {
    latin,
    cyrillic,
    greek,
    hebrew,
    arabic,
    devanagari,
    bengali,
    gurmukhi,
    gujarati,
    tamil,
    telugu,
    kannada,
    malayalam,
    sinhala,
    thai,
    lao,
    khmer,
    myanmar,
    georgian,
    armenian,
    ethiopic,
    japanese,
    hangul,
    han,
};
Q_ENUM_NS(Script)

// The case name, the script's raw value.
QString name(Script script);

// The script of one Unicode scalar; nothing for digits, punctuation, spaces, symbols.
std::optional<Script> script(char32_t scalar);
// The dominant script of a text's first 400 scalars; any kana makes it Japanese.
std::optional<Script> script(QStringView text);
// The main script of each language that is not written in Latin.
const QHash<QString, Script>& scriptOfLanguage();
// The scripts a language is written in, main script first.
QList<Script> scripts(const QString& language);
// The language a text in a script is spoken in when nothing else says; empty for Latin and
// Cyrillic, which many languages share.
QString defaultLanguage(Script script);
// A voice or platform locale ("zh_HK", "nb-NO", "fil-PH") to the system's language code.
QString code(const QString& voiceLanguage);

// The voice locale preferred for a language ("en" speaks "en-US" when it can).
const QHash<QString, QString>& preferredRegion();
// The text's dominant script is one the language is written in, or the text has none.
bool scriptFits(QStringView text, const QString& language);
// The language to speak a text in: the stated one when its script fits, else one the text's
// script and the hints settle; nothing for a Latin text stated in a language of another script.
std::optional<QString> speechLanguage(QStringView text, const QString& language,
                                      const QStringList& hints);
// The best voice for a language; systemDefault is the identifier of the platform's default
// voice for it.
std::optional<Voice> pick(const QList<Voice>& voices, const QString& code,
                          const std::optional<QString>& systemDefault);

} // namespace Voices

inline size_t qHash(Voices::Script script, size_t seed = 0) {
    return ::qHash(static_cast<int>(script), seed);
}

} // namespace tivela
