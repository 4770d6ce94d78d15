#include "app/StoreNotices.h"

#include <QFileInfo>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::StoreNotices {
namespace {

// Long enough to tell the text, short enough for one line.
constexpr qsizetype quotedLength = 40;

QString quoted(const QString& text) {
    QString line = text.simplified();
    if (line.size() > quotedLength)
        line = line.left(quotedLength - 1).trimmed() + u'\u2026';
    return u'\u201C' + line + u'\u201D';
}

QString what(const StoreWrite& write) {
    const QString text = quoted(write.item.text);
    switch (write.kind) {
    case StoreWrite::Kind::addHistory:
        return u"add "_s + text + u" to the history"_s;
    case StoreWrite::Kind::deleteHistory:
        return u"delete "_s + text + u" from the history"_s;
    case StoreWrite::Kind::clearHistory:
        return u"clear the history"_s;
    case StoreWrite::Kind::addPhrase:
        return u"save "_s + text + u" to the phrasebook"_s;
    case StoreWrite::Kind::deletePhrase:
        return u"remove "_s + text + u" from the phrasebook"_s;
    case StoreWrite::Kind::answer:
        return u"save your answer to "_s + text;
    }
    return {};
}

QString why(WriteResult::Status status) {
    switch (status) {
    case WriteResult::Status::written:
        break;
    case WriteResult::Status::diskFull:
        return u"the disk is full"_s;
    case WriteResult::Status::readOnly:
        return u"its database can\u2019t be written to"_s;
    case WriteResult::Status::damaged:
        return u"its database is damaged"_s;
    case WriteResult::Status::failed:
        return u"its database refused the change"_s;
    case WriteResult::Status::abandoned:
        return u"another program kept its database locked until Tivela quit"_s;
    }
    return {};
}

} // namespace

QString failed(const StoreWrite& write, const WriteResult& result) {
    return u"Tivela couldn\u2019t "_s + what(write) + u": "_s + why(result.status) + u'.';
}

QString setAside(const QString& kept) {
    return u"Tivela\u2019s database was damaged and a new one was started; the old one is kept "
           "beside it as \u201C"_s +
           QFileInfo(kept).fileName() + u"\u201D."_s;
}

void print(const QString& line, const QString& detail) {
    const QString full = detail.isEmpty() ? line : line + u" ("_s + detail + u')';
    std::fprintf(stderr, "tivela: %s\n", full.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace tivela::StoreNotices
