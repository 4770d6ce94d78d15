#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tivela {

// Writing systems and the languages that use them: the one table that the script check, the
// language detector and speech all decide by.
namespace Voices {

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

} // namespace Voices

inline size_t qHash(Voices::Script script, size_t seed = 0) {
    return ::qHash(static_cast<int>(script), seed);
}

} // namespace tivela
