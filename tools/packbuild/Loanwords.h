#pragma once

#include <QString>
#include <QStringList>

namespace tivela::packbuild {

class English;
struct Evidence;

// Words a language took from English after its dictionaries were written ("сервер",
// "итерация", "интерактивный"): no dictionary translates them, and each is spelt after the
// English word it means.
namespace Loanwords {

// The Latin spellings of the English word a Russian noun, adjective or verb ("noun", "adj",
// "verb") may be spelt after: letter by letter, its suffix as English writes it ("-ция":
// "-tion", "-ический": "-ic", "-изировать": "-ize"). None for the kinds of word that mostly
// are Russian's own ("-ка", "-ик", a soft sign at the end), whatever their letters spell.
QStringList russianSpellings(const QString& word, const QString& pos);

// Pairs, after every dictionary's, for the nouns, adjectives and verbs of a generator that no
// pair translates yet and whose spelling is an ordinary English word's of their part of speech
// (one that the word list writes in lower case), that word's alone. False with a message when
// lt-paradigm fails.
bool addPairs(const QString& generator, QStringList (*spellings)(const QString&, const QString&),
              const English& english, Evidence& evidence, QString* error);

} // namespace Loanwords

} // namespace tivela::packbuild
