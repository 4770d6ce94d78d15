#pragma once

#include "FreeDict.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>

namespace tivela::packbuild {

// How the dictionaries' words become a pack's: keys, parts of speech, labels, and which terms
// a card can show. Shared by every stage of a pack.

constexpr qsizetype maxWordsInTerm = 4;

// The lookup key of a word, as the application's reader forms it.
QString key(const QString& word, const QString& lang);
int wordCount(const QString& text);
// The part of speech of FreeDict's angle-bracket notes ("n, masc", "vt", "adj").
QString posName(const QString& notes);
// Whether a term's labels mark a special use: a trade, a region or a register. A label of the
// thing itself beside them ("[zool.] [agr.] horse") keeps the term a common one.
bool specialLabels(const QStringList& labels);
// The parts of speech WordNet has senses of.
bool isWordNetPos(const QString& pos);
// An English translation as a dictionary writes it, made into a headword: "to run" is "run",
// "possess sth." is "possess", parenthesised notes go.
QString englishHeadword(QString text);
// A term that a dictionary wrote without the space of a two-word English phrase ("humanbeing",
// "northamerica"), given back with it where exactly one place to split it makes a phrase and
// the term is no word as written; any other term as it is. Both tests take lower-case text.
QString spacedTerm(const QString& term, const std::function<bool(const QString&)>& isWord,
                   const std::function<bool(const QString&)>& isPhrase);
// The key that an English word and a spelling of it in another language share: the letters
// that English writes in two ways ("k", "c"; "z", "s"), doubled ones written once, and a final
// silent "e" of a longer word dropped.
QString cognateKey(const QString& latin);
// A term a card can show: a few words, no ellipsis, quotation or reference.
bool usableTerm(const QString& text);
// Some small dictionaries lost the words of multiword headwords and kept only the first: their
// transcription, of the whole phrase, gives them away.
bool garbled(const FreeDict::Entry& entry);
// German letters without their umlauts, to compare a plural with its singular.
QString folded(const QString& word);
// Parentheses in a definition would end the part that a gloss hides from its terms.
QString bracketed(QString definition);
// A JSON array or object on one line.
QByteArray compact(const QJsonValue& value);
// Appends an item that the list lacks while it is shorter than limit.
void appendUnique(QStringList& list, const QString& item, qsizetype limit);
// Hands freed memory back to the system between the steps of a large language, so that the
// next step does not start from the previous one's peak. With TIVELA_PACKBUILD_MEMORY set it
// prints the memory in use and the peak so far, naming the line it was called from.
void releaseMemory(int line = __builtin_LINE());

} // namespace tivela::packbuild
