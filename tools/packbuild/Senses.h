#pragma once

#include "Draft.h"
#include "Evidence.h"
#include "WordNet.h"

namespace tivela::packbuild {

class English;

// The sense id of an English word's numbered sense of a part of speech ("dog.n01"); number 0
// for a sense of its own outside WordNet.
QString senseId(const QString& english, const QString& pos, int number);

// Attaches each pair to one English sense: the pair's part of speech, and among several
// senses the one whose synonyms or definition share the other English words of the term,
// weighed by how often WordNet's corpus used it. Every pair then votes for its term in its
// sense. The pairs are used up.
class SenseAttacher {
public:
    SenseAttacher(const English& english, Evidence& evidence, Draft& draft);

    void attachAll();

private:
    // Keys, facts and contexts of every pair, in the order of their ranks.
    void index();
    // The sense id a pair is attached to, empty when no sense takes it.
    QString attach(const Pair& pair);
    // Among several senses, the one the term's other English words point to.
    qsizetype bestSense(const Pair& pair, const QList<WordNet::Sense>& candidates);

    const English& m_english;
    Evidence& m_evidence;
    Draft& m_draft;
};

} // namespace tivela::packbuild
