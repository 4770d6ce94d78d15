#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace tivela::packbuild {

struct Evidence;

// The verbs of a Slavic language come in pairs of aspects with the same English words, and its
// dictionaries from English write the imperfective one ("finish": "заканчивать"), while texts
// tell of what was done in the perfective ("закончил").
namespace VerbPartners {

// The spellings that the imperfective partner of a Russian perfective verb may take, most
// likely first: the stem's consonant and root vowel alternate before the suffix ("закончить":
// "заканчивать", "приблизиться": "приближаться", "показать": "показывать", "кивнуть":
// "кивать").
QStringList russianImperfectives(const QString& perfective);

// Points every form of each perfective verb of a generator that no pair translates at its one
// imperfective partner that pairs do translate (terms, by key): the partner a generator lists
// as an imperfective verb among those the rule spells. A perfective with several such partners,
// or a partner that several perfectives lead to, stays without. False with a message when
// lt-paradigm fails.
bool linkPerfectives(const QString& generator, const QSet<QString>& terms,
                     QStringList (*imperfectives)(const QString&), Evidence& evidence,
                     QString* error);

} // namespace VerbPartners

} // namespace tivela::packbuild
