#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace tivela {

// Apertium's text stream format, as a pipeline in null-flush mode reads and writes it. A
// request starts with a numbered block the answer must start with too, so that an answer
// can never be taken for another one, and ends with a sentence end in a block of its own, so
// that the stages let go of the last word before the NUL that ends the record.
namespace ApertiumStream {

// The record for one text, without the NUL that ends it.
QByteArray request(QStringView text, quint64 number);
// The text of an answer record; nothing when the record does not carry the request's number
// and sentence end (a cut-off or foreign answer).
std::optional<QString> answer(QByteArrayView record, quint64 number);

// Text as stream: NUL characters dropped, the stream's special characters escaped, and line
// breaks, runs of white space, white space at either end and the text's verbatim runs (links,
// paths, code: core/Verbatim.h) kept as they stand in blocks; a block that breaks a paragraph
// follows a sentence end of its own, so no word moves across it.
QString escape(QStringView text);
// Stream as text: escapes and blocks resolved; the marks of unknown words, the sentence ends
// that escaping added and the spaces that dropped words left behind (beside another space, at
// a line's or the text's ends) dropped. The text's own spacing is in blocks and stays.
QString unescape(QStringView stream);

} // namespace ApertiumStream

} // namespace tivela
