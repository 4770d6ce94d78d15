#pragma once

#include <QDateTime>
#include <QString>

namespace tivela {

// How long ago, or how far ahead, a moment lies, as short English text ("2 hr. ago",
// "in 3 days"), whatever the user's language: the largest calendar unit that is not zero.
namespace RelativeDate {

QString relative(const QDateTime& date, const QDateTime& now);
QString relative(const QDateTime& date);

} // namespace RelativeDate

} // namespace tivela
