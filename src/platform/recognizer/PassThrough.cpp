#include "platform/recognizer/PassThrough.h"

#include "core/Verbatim.h"
#include "platform/recognizer/Morphology.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela {

bool PassThrough::leftUntranslated(Morphology& morphology, const QString& text,
                                   const QString& answer, const QString& from) {
    // Most answers differ from their text: they cost one comparison.
    const QString asked = text.trimmed();
    if (answer.trimmed().compare(asked, Qt::CaseInsensitive) != 0)
        return false;
    // Links, paths and code are meant to come back as they stand.
    if (Verbatim::nothingToTranslate(asked))
        return false;
    // A word of marks alone (an accent on a digit) has no letter to be known or not.
    QStringList words = Morphology::words(asked);
    words.removeIf([](const QString& word) {
        const QList<uint> characters = word.toUcs4();
        return std::none_of(characters.cbegin(), characters.cend(),
                            [](uint c) { return QChar::isLetter(c); });
    });
    if (words.isEmpty())
        return false;
    const QHash<QString, QList<bool>> known = morphology.known(words, {from});
    const auto it = known.constFind(from);
    if (it == known.cend())
        return false;
    return std::none_of(it->cbegin(), it->cend(), [](bool knows) { return knows; });
}

TranslateError PassThrough::failure() {
    return TranslateError::failed(u"left untranslated"_s);
}

} // namespace tivela
