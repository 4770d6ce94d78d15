#pragma once

#include "Ding.h"
#include "English.h"
#include "Evidence.h"
#include "PackLines.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace tivela::packbuild {

struct LanguageSources;
class SecondRoute;

// Where the data of the packs comes from.
struct Sources {
    // WordNet's "dict" folder (index.noun, data.noun, noun.exc, ...).
    QString wordnet;
    // The folder of the dictd files (freedict-eng-spa.index, freedict-eng-spa.dict.dz, ...).
    QString dictd;
    // Apertium's data folder; empty to use no Apertium data.
    QString apertium;
    // The folder of the word lists of /usr/share/dict (american-english, spanish, ...).
    QString wordLists;
};

// Builds dictionary packs: the English pack from WordNet, and a pack for each other language
// whose translations are attached to WordNet's English senses. A language's pack is made in
// stages: its sources' evidence (Evidence, ApertiumPairs, Ding), the senses its pairs attach to
// (Senses), its words' own entries (Entries), the order of its terms (Ranking), its forms
// (Forms) and its lines (PackLines), written by PackWriter.
class PackBuilder {
public:
    explicit PackBuilder(Sources sources);

    // The languages a pack can be made for, with the dictionaries each one reads.
    static QStringList languages();

    // Reads WordNet and the English forms; false with a message when WordNet is missing or a
    // language has no dictionaries.
    bool load(const QStringList& langs, QString* error);

    // Writes <folder>/<lang>.lex.gz, reading the language's dictionaries first; false with a
    // message when it cannot. English, whose transcriptions come from the other languages'
    // dictionaries, is best written last.
    bool write(const QString& lang, const QString& folder, QString* error);

private:
    bool loadLanguage(const LanguageSources& sources, QString* error);
    void readFreeDict(const LanguageSources& sources, Evidence& evidence);
    // Routes through German with the dictionaries with German of these names, read into the
    // evidence already; the second route confirms senses of ambiguous German words.
    void readGerman(const LanguageSources& sources, const QStringList& names, Evidence& evidence,
                    const SecondRoute& second);
    bool readSecondRoute(const LanguageSources& sources, Evidence& evidence, SecondRoute& route,
                         QString* error);
    Lines lines(const QString& lang, QStringList* header, QString* error);
    Lines languageLines(const LanguageSources& sources, Evidence& evidence, Tally* tally);
    QStringList languageHeader(const LanguageSources& sources, const Evidence& evidence,
                               const Tally& tally, qsizetype lineCount) const;

    Sources m_sources;
    English m_english;
    Ding m_ding;
    QHash<QString, Evidence> m_languages;
};

} // namespace tivela::packbuild
