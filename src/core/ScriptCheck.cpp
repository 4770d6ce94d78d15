#include "core/ScriptCheck.h"

#include <QChar>

namespace tivela::ScriptCheck {
namespace {

bool within(char32_t c, char32_t first, char32_t last) {
    return c >= first && c <= last;
}

bool isLetter(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

} // namespace

bool Test::accepts(char32_t c) const {
    using Voices::Script;
    switch (script) {
    case Script::latin:
        // Latin Extended Additional carries Vietnamese vowels; combining marks are how
        // decomposed text writes accents.
        return within(c, 0x0041, 0x024F) || within(c, 0x1E00, 0x1EFF) || within(c, 0x0300, 0x036F);
    case Script::cyrillic:
        return within(c, 0x0400, 0x04FF);
    case Script::han:
    case Script::japanese:
        return within(c, 0x3040, 0x30FF) || within(c, 0x4E00, 0x9FFF);
    case Script::hangul:
        return within(c, 0xAC00, 0xD7AF) || within(c, 0x1100, 0x11FF);
    case Script::thai:
        return within(c, 0x0E00, 0x0E7F);
    case Script::arabic:
        return within(c, 0x0600, 0x06FF);
    case Script::hebrew:
        return within(c, 0x0590, 0x05FF);
    case Script::devanagari:
        return within(c, 0x0900, 0x097F);
    case Script::greek:
        return within(c, 0x0370, 0x03FF);
    default:
        return Voices::script(c) == script;
    }
}

Test script(const QString& language) {
    // Codes compare exactly: only the Chinese variants share a prefix rule.
    if (language.startsWith(u"zh"))
        return {Voices::Script::han};
    return {Voices::scriptOfLanguage().value(language, Voices::Script::latin)};
}

bool fits(QStringView text, const QString& language) {
    const Test test = script(language);
    qsizetype letters = 0;
    qsizetype accepted = 0;
    for (const uint scalar : text.toUcs4()) {
        if (!isLetter(scalar))
            continue;
        ++letters;
        if (test.accepts(scalar))
            ++accepted;
    }
    if (letters < 4)
        return true;
    return double(accepted) / double(letters) >= 0.6;
}

} // namespace tivela::ScriptCheck
