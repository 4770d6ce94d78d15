#include "core/Voices.h"

#include "core/EnumText.h"

using namespace Qt::StringLiterals;

namespace tivela::Voices {
namespace {

bool within(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

bool containsAny(QStringView text, QStringView letters) {
    for (const QChar c : text)
        if (letters.contains(c))
            return true;
    return false;
}

// Locale tags compare without regard to case or the separator ("pt_BR" is "pt-br").
QString comparableLocale(const QString& locale) {
    return QString(locale).replace(u'_', u'-').toLower();
}

int score(const Voice& voice, const std::optional<QString>& systemDefault,
          const QString& preferred) {
    int result;
    if (voice.identifier.contains(u".eloquence."))
        result = voice.quality >= 3 ? -80 : voice.quality == 2 ? -90 : -100;
    else
        result = voice.quality >= 3 ? 20 : voice.quality == 2 ? 10 : 0;
    if (systemDefault && *systemDefault == voice.identifier)
        result += 7;
    if (!preferred.isEmpty() && preferred == comparableLocale(voice.language))
        result += 5;
    return result;
}

} // namespace

QString name(Script script) {
    return EnumText::text(script);
}

std::optional<Script> script(char32_t c) {
    if (within(c, 0x1E00, 0x1EFF) || within(c, 0x00C0, 0x024F) || within(c, U'A', U'Z') ||
        within(c, U'a', U'z'))
        return Script::latin;
    if (within(c, 0x0400, 0x052F))
        return Script::cyrillic;
    if (within(c, 0x0370, 0x03FF) || within(c, 0x1F00, 0x1FFF))
        return Script::greek;
    if (within(c, 0x0590, 0x05FF))
        return Script::hebrew;
    if (within(c, 0xFE70, 0xFEFF) || within(c, 0xFB50, 0xFDFF) || within(c, 0x0600, 0x06FF) ||
        within(c, 0x0750, 0x077F))
        return Script::arabic;
    if (within(c, 0x0900, 0x17FF)) {
        switch ((c - 0x0900) / 0x80) {
        case 0:
            return Script::devanagari;
        case 1:
            return Script::bengali;
        case 2:
            return Script::gurmukhi;
        case 3:
            return Script::gujarati;
        case 5:
            return Script::tamil;
        case 6:
            return Script::telugu;
        case 7:
            return Script::kannada;
        case 8:
            return Script::malayalam;
        case 9:
            return Script::sinhala;
        case 10:
            return Script::thai;
        case 11:
            return Script::lao;
        case 29:
            return Script::khmer;
        default:
            break;
        }
    }
    if (within(c, 0x1000, 0x109F))
        return Script::myanmar;
    if (within(c, 0x10A0, 0x10FF))
        return Script::georgian;
    if (within(c, 0x0530, 0x058F))
        return Script::armenian;
    if (within(c, 0x1200, 0x137F))
        return Script::ethiopic;
    if (within(c, 0x3040, 0x30FF))
        return Script::japanese;
    if (within(c, 0x3130, 0x318F) || within(c, 0xAC00, 0xD7AF) || within(c, 0x1100, 0x11FF))
        return Script::hangul;
    if (within(c, 0x3400, 0x4DBF) || within(c, 0x4E00, 0x9FFF) || within(c, 0xF900, 0xFAFF))
        return Script::han;
    return std::nullopt;
}

std::optional<Script> script(QStringView text) {
    constexpr int scriptCount = static_cast<int>(Script::han) + 1;
    int counts[scriptCount] = {};
    int seen = 0;
    bool any = false;
    for (const uint scalar : text.left(800).toUcs4()) {
        if (seen++ == 400)
            break;
        if (const auto s = script(char32_t(scalar))) {
            if (*s == Script::japanese)
                return Script::japanese;
            ++counts[static_cast<int>(*s)];
            any = true;
        }
    }
    if (!any)
        return std::nullopt;
    std::optional<Script> best;
    for (int i = 0; i < scriptCount; ++i) {
        const auto candidate = static_cast<Script>(i);
        if (counts[i] == 0)
            continue;
        if (!best || counts[i] > counts[static_cast<int>(*best)] ||
            (counts[i] == counts[static_cast<int>(*best)] && name(candidate) < name(*best)))
            best = candidate;
    }
    return best;
}

const QHash<QString, Script>& scriptOfLanguage() {
    static const QHash<QString, Script> table = [] {
        QHash<QString, Script> t;
        for (const char* code : {"ru", "uk", "bg", "be", "mk", "kk", "ky", "mn", "sr"})
            t.insert(QString::fromLatin1(code), Script::cyrillic);
        t.insert(u"el"_s, Script::greek);
        for (const char* code : {"he", "yi"})
            t.insert(QString::fromLatin1(code), Script::hebrew);
        for (const char* code : {"ar", "fa", "ur", "ug", "ps"})
            t.insert(QString::fromLatin1(code), Script::arabic);
        for (const char* code : {"hi", "mr", "ne"})
            t.insert(QString::fromLatin1(code), Script::devanagari);
        const std::pair<const char*, Script> single[] = {
            {"bn", Script::bengali},   {"gu", Script::gujarati}, {"pa", Script::gurmukhi},
            {"ta", Script::tamil},     {"te", Script::telugu},   {"kn", Script::kannada},
            {"ml", Script::malayalam}, {"si", Script::sinhala},  {"th", Script::thai},
            {"lo", Script::lao},       {"km", Script::khmer},    {"my", Script::myanmar},
            {"ka", Script::georgian},  {"hy", Script::armenian}, {"am", Script::ethiopic},
            {"zh", Script::han},       {"zh-TW", Script::han},   {"ja", Script::japanese},
            {"ko", Script::hangul}};
        for (const auto& [code, s] : single)
            t.insert(QString::fromLatin1(code), s);
        return t;
    }();
    return table;
}

QList<Script> scripts(const QString& language) {
    const QString normalised = code(language);
    QList<Script> result{scriptOfLanguage().value(normalised, Script::latin)};
    if (normalised == u"sr")
        result << Script::latin;
    else if (normalised == u"ja")
        result << Script::han;
    return result;
}

QString defaultLanguage(Script script) {
    static const QHash<Script, QString> table{
        {Script::greek, u"el"_s},      {Script::hebrew, u"he"_s},    {Script::arabic, u"ar"_s},
        {Script::devanagari, u"hi"_s}, {Script::bengali, u"bn"_s},   {Script::gujarati, u"gu"_s},
        {Script::gurmukhi, u"pa"_s},   {Script::tamil, u"ta"_s},     {Script::telugu, u"te"_s},
        {Script::kannada, u"kn"_s},    {Script::malayalam, u"ml"_s}, {Script::sinhala, u"si"_s},
        {Script::thai, u"th"_s},       {Script::lao, u"lo"_s},       {Script::khmer, u"km"_s},
        {Script::myanmar, u"my"_s},    {Script::georgian, u"ka"_s},  {Script::armenian, u"hy"_s},
        {Script::ethiopic, u"am"_s},   {Script::japanese, u"ja"_s},  {Script::hangul, u"ko"_s},
        {Script::han, u"zh"_s}};
    return table.value(script);
}

QString code(const QString& voiceLanguage) {
    const QString text = QString(voiceLanguage).replace(u'_', u'-').toLower();
    if (text.startsWith(u"zh")) {
        for (const char* mark : {"hant", "tw", "hk", "mo"})
            if (text.contains(QLatin1String(mark)))
                return u"zh-TW"_s;
        return u"zh"_s;
    }
    QString first;
    for (const QString& part : text.split(u'-')) {
        if (!part.isEmpty()) {
            first = part;
            break;
        }
    }
    if (first == u"no" || first == u"nn")
        return u"nb"_s;
    if (first == u"iw")
        return u"he"_s;
    if (first == u"in")
        return u"id"_s;
    if (first == u"fil")
        return u"tl"_s;
    return first;
}

const QHash<QString, QString>& preferredRegion() {
    static const QHash<QString, QString> table{
        {u"en"_s, u"en-US"_s},    {u"pt"_s, u"pt-BR"_s},  {u"es"_s, u"es-ES"_s},
        {u"fr"_s, u"fr-FR"_s},    {u"de"_s, u"de-DE"_s},  {u"zh"_s, u"zh-CN"_s},
        {u"zh-TW"_s, u"zh-TW"_s}, {u"ar"_s, u"ar-001"_s}, {u"nl"_s, u"nl-NL"_s}};
    return table;
}

bool scriptFits(QStringView text, const QString& language) {
    const auto found = script(text);
    return !found || scripts(language).contains(*found);
}

std::optional<QString> speechLanguage(QStringView text, const QString& language,
                                      const QStringList& hints) {
    const auto found = script(text);
    if (!found || scripts(language).contains(*found))
        return language;
    if (*found == Script::latin)
        return std::nullopt;
    if (*found == Script::cyrillic) {
        if (containsAny(text, u"іїєґІЇЄҐ"))
            return u"uk"_s;
        if (containsAny(text, u"ыэъёЫЭЪЁ"))
            return u"ru"_s;
        static const QStringList cyrillicLanguages{u"ru"_s, u"uk"_s, u"bg"_s,
                                                   u"be"_s, u"sr"_s, u"mk"_s};
        for (const QString& hint : hints)
            if (cyrillicLanguages.contains(hint))
                return hint;
        return u"ru"_s;
    }
    for (const QString& hint : hints)
        if (scripts(hint).contains(*found))
            return hint;
    const QString fallback = defaultLanguage(*found);
    if (fallback.isEmpty())
        return std::nullopt;
    return fallback;
}

std::optional<Voice> pick(const QList<Voice>& voices, const QString& requested,
                          const std::optional<QString>& systemDefault) {
    const QString wanted = code(requested);
    const QString preferred = comparableLocale(preferredRegion().value(wanted));
    const Voice* best = nullptr;
    int bestScore = 0;
    for (const Voice& voice : voices) {
        if (voice.isNovelty || code(voice.language) != wanted)
            continue;
        const int candidate = score(voice, systemDefault, preferred);
        // Earlier voices win full ties, as a stable sort would leave them.
        if (!best || candidate > bestScore || (candidate == bestScore && voice.name < best->name)) {
            best = &voice;
            bestScore = candidate;
        }
    }
    if (!best)
        return std::nullopt;
    return *best;
}

} // namespace tivela::Voices
