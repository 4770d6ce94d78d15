#include "platform/engine/ApertiumCatalogue.h"

#include "core/Languages.h"

#include <QLocale>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::ApertiumCatalogue {

QString identifier(const QString& side) {
    // Codes that the platform's language table does not know under Apertium's name.
    static const QHash<QString, QString> aliases{{u"zlm"_s, u"ms"_s}, {u"nor"_s, u"no"_s}};
    if (const auto it = aliases.constFind(side); it != aliases.cend())
        return *it;
    const QLocale::Language language = QLocale::codeToLanguage(side, QLocale::AnyLanguageCode);
    if (language == QLocale::AnyLanguage || language == QLocale::C)
        return side;
    return QLocale::languageToCode(language);
}

std::optional<Mode> mode(const QString& name) {
    const QStringList sides = name.split(u'-');
    const auto plain = [](const QString& side) {
        return side.size() >= 2 && side.size() <= 3 &&
               std::all_of(side.begin(), side.end(),
                           [](QChar c) { return c >= u'a' && c <= u'z'; });
    };
    if (sides.size() != 2 || !plain(sides[0]) || !plain(sides[1]))
        return std::nullopt;
    Mode mode;
    mode.name = name;
    mode.sourceIdentifier = identifier(sides[0]);
    mode.targetIdentifier = identifier(sides[1]);
    mode.direction = {Languages::code(mode.sourceIdentifier),
                      Languages::code(mode.targetIdentifier)};
    if (mode.direction.source == mode.direction.target)
        return std::nullopt;
    mode.exact = mode.direction.source == mode.sourceIdentifier &&
                 mode.direction.target == mode.targetIdentifier;
    return mode;
}

QHash<Direction, Mode> directions(QStringList names) {
    std::sort(names.begin(), names.end());
    QHash<Direction, Mode> found;
    for (const QString& name : std::as_const(names)) {
        const auto candidate = mode(name);
        if (!candidate)
            continue;
        const auto it = found.constFind(candidate->direction);
        if (it == found.cend() || (candidate->exact && !it->exact))
            found.insert(candidate->direction, *candidate);
    }
    return found;
}

const QList<Package>& packages() {
    // The plain modes in /usr/share/apertium/modes of each package of Debian 12 (bookworm).
    // Several pairs translate one way only; transitional packages that only pull in a renamed
    // one are left out.
    static const QList<Package> table{
        {u"apertium-afr-nld"_s, {u"afr-nld"_s, u"nld-afr"_s}},
        {u"apertium-arg-cat"_s, {u"arg-cat"_s, u"cat-arg"_s}},
        {u"apertium-bel-rus"_s, {u"bel-rus"_s, u"rus-bel"_s}},
        {u"apertium-br-fr"_s, {u"br-fr"_s}},
        {u"apertium-cat-ita"_s, {u"cat-ita"_s, u"ita-cat"_s}},
        {u"apertium-cat-srd"_s, {u"cat-srd"_s}},
        {u"apertium-dan-nor"_s, {u"dan-nno"_s, u"dan-nob"_s, u"nno-dan"_s, u"nob-dan"_s}},
        {u"apertium-en-gl"_s, {u"en-gl"_s, u"gl-en"_s}},
        {u"apertium-eng-cat"_s, {u"cat-eng"_s, u"eng-cat"_s}},
        {u"apertium-eng-spa"_s, {u"eng-spa"_s, u"spa-eng"_s}},
        {u"apertium-eo-ca"_s, {u"ca-eo"_s}},
        {u"apertium-eo-en"_s, {u"en-eo"_s, u"eo-en"_s}},
        {u"apertium-eo-es"_s, {u"es-eo"_s}},
        {u"apertium-eo-fr"_s, {u"fr-eo"_s}},
        {u"apertium-es-gl"_s, {u"es-gl"_s, u"gl-es"_s}},
        {u"apertium-es-pt"_s, {u"es-pt"_s, u"pt-es"_s}},
        {u"apertium-es-ro"_s, {u"ro-es"_s}},
        {u"apertium-eu-en"_s, {u"eu-en"_s}},
        {u"apertium-eu-es"_s, {u"eu-es"_s}},
        {u"apertium-fr-es"_s, {u"es-fr"_s, u"fr-es"_s}},
        {u"apertium-fra-cat"_s, {u"cat-fra"_s, u"fra-cat"_s}},
        {u"apertium-fra-frp"_s, {u"fra-frp"_s, u"frp-fra"_s}},
        {u"apertium-hbs-eng"_s, {u"eng-hbs"_s, u"hbs-eng"_s}},
        {u"apertium-hbs-mkd"_s, {u"hbs-mkd"_s}},
        {u"apertium-hbs-slv"_s, {u"hbs-slv"_s, u"slv-hbs"_s}},
        {u"apertium-ind-zlm"_s, {u"ind-zlm"_s, u"zlm-ind"_s}},
        {u"apertium-isl-eng"_s, {u"isl-eng"_s}},
        {u"apertium-isl-swe"_s, {u"isl-swe"_s, u"swe-isl"_s}},
        {u"apertium-mkd-bul"_s, {u"bul-mkd"_s, u"mkd-bul"_s}},
        {u"apertium-mkd-eng"_s, {u"mkd-eng"_s}},
        {u"apertium-nno-nob"_s, {u"nno-nob"_s, u"nob-nno"_s}},
        {u"apertium-oc-ca"_s, {u"ca-oc"_s, u"oc-ca"_s}},
        {u"apertium-oc-es"_s, {u"es-oc"_s, u"oc-es"_s}},
        {u"apertium-oci-fra"_s, {u"fra-oci"_s, u"oci-fra"_s}},
        {u"apertium-pol-szl"_s, {u"pol-szl"_s, u"szl-pol"_s}},
        {u"apertium-por-cat"_s, {u"cat-por"_s, u"por-cat"_s}},
        {u"apertium-pt-gl"_s, {u"gl-pt"_s, u"pt-gl"_s}},
        {u"apertium-rus-ukr"_s, {u"rus-ukr"_s, u"ukr-rus"_s}},
        {u"apertium-spa-arg"_s, {u"arg-spa"_s, u"spa-arg"_s}},
        {u"apertium-spa-ast"_s, {u"spa-ast"_s}},
        {u"apertium-spa-cat"_s, {u"cat-spa"_s, u"spa-cat"_s}},
        {u"apertium-spa-ita"_s, {u"ita-spa"_s, u"spa-ita"_s}},
        {u"apertium-srd-ita"_s, {u"ita-srd"_s}},
        {u"apertium-swe-dan"_s, {u"dan-swe"_s, u"swe-dan"_s}},
        {u"apertium-swe-nor"_s, {u"nno-swe"_s, u"nob-swe"_s, u"swe-nno"_s, u"swe-nob"_s}},
        {u"apertium-urd-hin"_s, {u"hin-urd"_s, u"urd-hin"_s}},
    };
    return table;
}

QString package(const QString& from, const QString& to) {
    static const QHash<Direction, QString> providers = [] {
        QHash<Direction, QString> table;
        for (const Package& candidate : packages())
            for (const Direction& direction : directions(candidate.modes).keys())
                table.insert(direction, candidate.name);
        return table;
    }();
    return providers.value({Languages::code(from), Languages::code(to)});
}

} // namespace tivela::ApertiumCatalogue
