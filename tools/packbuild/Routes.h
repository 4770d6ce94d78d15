#pragma once

#include "Evidence.h"

namespace tivela::packbuild {

class Ding;
class English;
class SecondRoute;

// Translations into English through German, for the words that the dictionaries into English
// lack: a word's German translations (FreeDict's dictionaries with German) and the senses
// Ding's articles of each give. A route stands only where two of the word's German words lead
// to the same English word, or where it is unambiguous: a German word of one sense, or of one
// sense far more common than its others, or the sense whose English word is the word's own in
// another spelling. A German word of several senses ("Hund": a dog and a
// mine car) would lend the word senses it lacks: only its common one leads.
// Whether a word and an English word are one word in two spellings ("perspektiv" and
// "perspective", "teologi" and "theology", "funktie" and "function"): among the senses of a
// German word, the one its own word shares with English is the word's.
bool cognate(const QString& wordKey, const QString& englishKey);

// A sense of an ambiguous German word stands too where a second route reaches its English word
// ("våld": "Gewalt" is power, force and violence; Danish "vold" is violence and force).
QList<Pair> routesThroughGerman(const GermanWords& words, const Ding& ding, const English& english,
                                int firstRank, const SecondRoute* second = nullptr);
// The pairs of a second route of its own: where it reaches one English word only, or the one
// that is the word's own in another spelling.
QList<Pair> routesThroughSecond(const SecondRoute& second, const English& english, int firstRank);

} // namespace tivela::packbuild
