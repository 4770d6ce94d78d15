#pragma once

#include "Evidence.h"

namespace tivela::packbuild {

class English;

// A line of terms without a part of speech ("water: 1. aquatique 2. eau 3. abreuver") would
// put a verb among the noun's senses: the dictionary the other way, a numbered line of verbs,
// or Apertium tell which part of speech the pair is, when they name only one that the English
// word has.
void takePartsOfSpeech(Evidence& evidence, const English& english);

// Where no dictionary names a pair's part of speech, the analysers' readings of the term and
// of the English word decide: a reading both share, else the English one. Without an English
// reading, the part of speech in which WordNet's corpus uses the English word most: "rood" is
// a noun and an adjective, "red" mostly the latter. An English word outside WordNet is read
// only as a part of speech WordNet lacks ("his" as a determiner, "when" as a conjunction),
// also where a dictionary names another; without such a reading its part of speech stays.
QString readPartOfSpeech(const Pair& pair, const Evidence& evidence, const English& english);

} // namespace tivela::packbuild
