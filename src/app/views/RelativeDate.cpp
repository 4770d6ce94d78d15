#include "app/views/RelativeDate.h"

#include <unicode/ureldatefmt.h>
#include <unicode/ustring.h>

#include <array>
#include <memory>

namespace tivela::RelativeDate {
namespace {

struct Distance {
    qint64 amount = 0;
    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
};

// The calendar distance between two moments, in its largest unit that is not zero; whole
// units, as a calendar counts them (a month is a month whatever its days).
Distance distance(const QDateTime& from, const QDateTime& to) {
    const QDate start = from.date();
    const QDate end = to.date();
    int months = (end.year() - start.year()) * 12 + (end.month() - start.month());
    while (months > 0 && from.addMonths(months) > to)
        --months;
    if (months >= 12)
        return {months / 12, UDAT_REL_UNIT_YEAR};
    if (months > 0)
        return {months, UDAT_REL_UNIT_MONTH};
    qint64 days = 0;
    while (days < 31 && from.addDays(days + 1) <= to)
        ++days;
    if (days >= 7)
        return {days / 7, UDAT_REL_UNIT_WEEK};
    if (days > 0)
        return {days, UDAT_REL_UNIT_DAY};
    const qint64 seconds = from.secsTo(to);
    if (seconds >= 3600)
        return {seconds / 3600, UDAT_REL_UNIT_HOUR};
    if (seconds >= 60)
        return {seconds / 60, UDAT_REL_UNIT_MINUTE};
    return {seconds, UDAT_REL_UNIT_SECOND};
}

struct FormatterDeleter {
    void operator()(URelativeDateTimeFormatter* formatter) const { ureldatefmt_close(formatter); }
};

} // namespace

QString relative(const QDateTime& date, const QDateTime& now) {
    if (!date.isValid() || !now.isValid())
        return {};
    const bool past = date < now;
    const QDateTime a = date.toLocalTime();
    const QDateTime b = now.toLocalTime();
    const Distance d = past ? distance(a, b) : distance(b, a);

    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<URelativeDateTimeFormatter, FormatterDeleter> formatter(
        ureldatefmt_open("en", nullptr, UDAT_STYLE_SHORT, UDISPCTX_CAPITALIZATION_NONE, &status));
    if (U_FAILURE(status))
        return {};
    std::array<UChar, 128> buffer{};
    const double offset = past ? -double(d.amount) : double(d.amount);
    const int32_t length = ureldatefmt_formatNumeric(formatter.get(), offset, d.unit, buffer.data(),
                                                     int32_t(buffer.size()), &status);
    if (U_FAILURE(status) || length < 0)
        return {};
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.data()),
                              std::min<qsizetype>(length, qsizetype(buffer.size())));
}

QString relative(const QDateTime& date) {
    return relative(date, QDateTime::currentDateTime());
}

} // namespace tivela::RelativeDate
