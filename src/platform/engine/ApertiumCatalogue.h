#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tivela {

// Apertium's directions as the system sees them: mode names ("eng-spa", "nno-nob") turned
// into language pairs, and the Debian packages that install each direction.
namespace ApertiumCatalogue {

// An ordered pair of the system's language codes.
struct Direction {
    QString source;
    QString target;

    friend bool operator==(const Direction&, const Direction&) = default;
};

inline size_t qHash(const Direction& direction, size_t seed = 0) {
    return qHashMulti(seed, direction.source, direction.target);
}

// A mode of a direction and what each side of it is called on the platform.
struct Mode {
    QString name;
    Direction direction;
    QString sourceIdentifier;
    QString targetIdentifier;
    // Both sides already are the system's codes, so no side was folded into another
    // language ("nob" is Norwegian, "nno" only folds into it).
    bool exact = false;
};

struct Package {
    QString name;
    QStringList modes;
};

// The platform identifier of one side of a mode name: "eng" is "en", "nno" is "nn", "zlm" is
// "ms"; a code without a shorter form stays as it is ("ast", "hbs").
QString identifier(const QString& side);

// The direction of a mode name. Nothing for variant and helper modes ("spa-eng_US",
// "eo-en-bytecode") and for modes whose two sides fold into one language ("nno-nob").
std::optional<Mode> mode(const QString& name);

// The directions of a set of mode names. When several modes give one direction, a mode whose
// sides need no folding wins, then the first name in alphabetical order.
QHash<Direction, Mode> directions(QStringList names);

// Debian 12's Apertium pair packages and the plain modes each installs.
const QList<Package>& packages();

// The package that installs the direction between two of the system's language codes; empty
// when no package does.
QString package(const QString& from, const QString& to);

} // namespace ApertiumCatalogue

} // namespace tivela
