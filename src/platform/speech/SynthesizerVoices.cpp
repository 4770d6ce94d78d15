#include "platform/speech/SynthesizerVoices.h"

#include "core/Languages.h"

using namespace Qt::StringLiterals;

namespace tivela::SynthesizerVoices {
namespace {

bool isEspeak(const QString& module) {
    return module.startsWith(u"espeak", Qt::CaseInsensitive);
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
    Languages::Tag tag = Languages::tag(raw);
    if (tag.language == u"cmn") {
        tag.language = u"zh"_s;
    } else if (tag.language == u"yue") {
        tag.language = u"zh"_s;
        if (tag.region.isEmpty())
            tag.region = u"TW"_s;
    }
    return tag.toString();
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
