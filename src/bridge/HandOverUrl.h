#pragma once

#include <QString>

#include <optional>

namespace tivela {

// The application's URLs for the requests that hand work over to it ("open", "download"). The
// host hands them to the desktop's handler as one program argument each.
namespace HandOverUrl {

// Linux refuses a single program argument of this many bytes.
inline constexpr qsizetype maxArgumentBytes = 128 * 1024;

// `cut`: the text is the beginning of a longer one.
QString translate(const std::optional<QString>& text, bool cut = false);
QString download(const QString& from, const QString& to);
// The "translate" URL of as much of the text, cut between characters, as one argument
// carries; `cut` is set when the text had to be shortened.
QString translateFitting(QString text, bool& cut);

} // namespace HandOverUrl

} // namespace tivela
