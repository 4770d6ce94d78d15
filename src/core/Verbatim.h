#pragma once

#include <QList>
#include <QStringView>

namespace tivela {

// Parts of a text that translation must leave as they stand: links of any scheme, e-mail
// addresses, file paths (absolute, "~/", "./", "../", drive letters), tokens that are plainly
// code (snake_case, camelCase, "--options", dot-joined names like "config.yaml") and tokens
// longer than any word. An engine would translate the words inside them ("report" in a path,
// "world" in a query) and break them in the person's document.
namespace Verbatim {

// A run of text, by position and length in UTF-16 units.
struct Span {
    qsizetype start = 0;
    qsizetype length = 0;

    friend bool operator==(const Span&, const Span&) = default;
};

// A run of this many characters without a space is no word of any language.
inline constexpr qsizetype longestWord = 200;

// The verbatim runs of a text, in order and apart. Punctuation around a token ("(", "," or the
// full stop that ends a sentence) stays outside its run.
QList<Span> spans(QStringView text);

// True when no letter of the text lies outside its verbatim runs: a text of such tokens alone,
// or one without letters ("1234567", "😀😀😀", blank).
bool nothingToTranslate(QStringView text);

} // namespace Verbatim

} // namespace tivela
