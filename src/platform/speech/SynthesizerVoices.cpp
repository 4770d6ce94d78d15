#include "platform/speech/SynthesizerVoices.h"

using namespace Qt::StringLiterals;

namespace tivela::SynthesizerVoices {
namespace {

bool isEspeak(const QString& module) {
    return module.startsWith(u"espeak", Qt::CaseInsensitive);
}

bool allOf(const QString& text, bool (*test)(QChar)) {
    for (const QChar c : text)
        if (!test(c))
            return false;
    return true;
}

bool isLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

QString identifier(const QString& module, const QString& name) {
    return module + u'/' + name;
}

std::optional<std::pair<QString, QString>> split(const QString& identifier) {
    const qsizetype slash = identifier.indexOf(u'/');
    if (slash <= 0 || slash == identifier.size() - 1)
        return std::nullopt;
    return std::pair{identifier.left(slash), identifier.mid(slash + 1)};
}

QString languageTag(const QString& raw) {
    QStringList parts = QString(raw).replace(u'_', u'-').split(u'-', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    QString primary = parts.takeFirst().toLower();
    QString impliedRegion;
    if (primary == u"cmn") {
        primary = u"zh"_s;
    } else if (primary == u"yue") {
        primary = u"zh"_s;
        impliedRegion = u"TW"_s;
    }
    QStringList tag{primary};
    qsizetype next = 0;
    if (next < parts.size() && parts[next].size() == 4 && allOf(parts[next], isLetter)) {
        tag << parts[next].left(1).toUpper() + parts[next].mid(1).toLower();
        ++next;
    }
    const bool hasRegion =
        next < parts.size() && ((parts[next].size() == 2 && allOf(parts[next], isLetter)) ||
                                (parts[next].size() == 3 && allOf(parts[next], isDigit)));
    if (hasRegion)
        tag << parts[next++].toUpper();
    else if (!impliedRegion.isEmpty())
        tag << impliedRegion;
    for (; next < parts.size(); ++next)
        tag << parts[next].toLower();
    return tag.join(u'-');
}

int quality(const QString& module) {
    const QString name = module.toLower();
    static const QStringList neural{u"piper"_s, u"mimic3"_s, u"coqui"_s, u"larynx"_s};
    if (neural.contains(name))
        return 3;
    if (name.contains(u"mbrola") || name.contains(u"pico") || name == u"rhvoice")
        return 2;
    return 1;
}

Voices::Voice voice(const QString& module, const QString& name, const QString& tag,
                    const QString& variant) {
    // espeak-ng lists every voice again with each of its variants ("English (America)+whisper",
    // variant "whisper"); those are the novelty voices. Other modules use the variant field
    // for plain distinctions such as gender.
    const bool variantVoice =
        name.contains(u'+') || (!variant.isEmpty() && variant.compare(u"none") != 0);
    return {identifier(module, name), name, languageTag(tag), quality(module),
            isEspeak(module) && variantVoice};
}

} // namespace tivela::SynthesizerVoices
