#pragma once

#include "Draft.h"

#include <functional>

namespace tivela::packbuild {

class Ding;
class English;
struct Evidence;

// The weights of the ranking. A term's score says how surely it is the common translation
// of its English sense; higher comes first.
struct Weights {
    // Both directions give the pair: the dictionary from English and the one into it.
    double agreement = 4.0;
    // The term's own first meaning is the English word.
    double firstMeaning = 3.0;
    // Per doubling of how often the dictionaries use the term.
    double mentions = 0.5;
    // A second kind of source gives the pair, and each further one.
    double secondSource = 1.0;
    double furtherSource = 0.5;
    // Per dictionary with German whose German word Ding gives for the English word.
    double german = 3.0;
    // A special use (a trade, a region, a register), or a form of another word that
    // translates a form of another English word ("glättend" for "evening").
    double special = 5.0;
    // Per step that the dictionary from English puts the term nearer its article's head,
    // where no dictionary into English agrees or disagrees.
    double place = 2.0;
    // A phrase describes a use more than it translates the word ("ir a buscar a" for "meet").
    double phrase = 2.0;
    // Only a route through another language gives it: it goes after what a dictionary gives.
    double routed = 8.0;

    // A meaning of a word's own entry that another source gives back.
    double backedMeaning = 3.0;
    // Per meaning of the same word before it, so the dictionary's order decides between
    // equals.
    double laterMeaning = 0.25;
    // Per position of the word among its sense's terms, for the senses of a word that only
    // other dictionaries know.
    double termPosition = 2.0;
};

// One word as a translation of one English sense, as the sources describe it.
struct Candidate {
    bool agreeing = false;
    bool firstMeaning = false;
    int mentions = 0;
    // The kinds of source that give it (Source bits set).
    int sourceKinds = 1;
    // The dictionaries with German that confirm it (0, 1 or 2).
    int germanConfirmations = 0;
    bool special = false;
    bool formOfOther = false;
    // Where the dictionary from English puts it: 0 first, 1 in the first sense, 2 later.
    int place = 2;
    // Whether that place counts: there is no dictionary into English.
    bool ordered = false;
    bool phrase = false;
    bool routed = false;
};

double score(const Candidate& candidate, const Weights& weights = {});

// One meaning of a word's own entry, as the dictionary into English writes it.
struct MeaningCandidate {
    // How common the first few English words of the meaning are on average, each special one
    // counting as much less common.
    double commonness = 0;
    // Another source gives one of its English words for the word.
    bool backed = false;
    // The meanings of the word before it.
    qsizetype earlier = 0;
};

double score(const MeaningCandidate& meaning, const Weights& weights = {});

// One English sense among those a word translates, for a word without entries of its own.
struct SenseCandidate {
    double commonness = 0;
    // The word's position among the sense's terms (3 when it is not among the first three).
    qsizetype position = 3;
    // How often WordNet's corpus used the sense.
    int count = 0;
    bool special = false;
    int place = 2;
    bool ordered = false;
    bool routed = false;
};

double score(const SenseCandidate& sense, const Weights& weights = {});

// Scores every vote, puts each sense's terms in order and keeps the best of them in the
// sense; the best terms of an English word and part of speech lead its first sense, so that a
// rare first sense cannot push them off the card. formOfOther tells whether a term is a form
// of another word that translates a form of another English word.
void rankVotes(Draft& draft, const Evidence& evidence, const Ding& ding,
               const std::function<bool(const QString&, const QString&)>& formOfOther,
               const Weights& weights = {});

} // namespace tivela::packbuild
