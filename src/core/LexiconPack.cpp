#include "core/LexiconPack.h"

#include "core/JsonFields.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr qsizetype readChunk = 1 << 20;

struct Decoded {
    char16_t units[2];
    int count;
};

// One code point of UTF-8 as UTF-16; an ill-formed sequence becomes one U+FFFD for each
// maximal subpart, as Unicode recommends.
Decoded decodeUtf8(const char*& cursor, const char* end) {
    const auto* p = reinterpret_cast<const uchar*>(cursor);
    const uchar lead = p[0];
    if (lead < 0x80) {
        ++cursor;
        return {{char16_t(lead), 0}, 1};
    }
    int length = 0;
    char32_t point = 0;
    uchar low = 0x80;
    uchar high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        point = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        point = lead & 0x0f;
        if (lead == 0xe0)
            low = 0xa0;
        else if (lead == 0xed)
            high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        point = lead & 0x07;
        if (lead == 0xf0)
            low = 0x90;
        else if (lead == 0xf4)
            high = 0x8f;
    } else {
        ++cursor;
        return {{0xfffd, 0}, 1};
    }
    const qsizetype available = reinterpret_cast<const uchar*>(end) - p;
    for (int i = 1; i < length; ++i) {
        const uchar byte = i < available ? p[i] : 0;
        const bool fits =
            i < available && (i == 1 ? byte >= low && byte <= high : byte >= 0x80 && byte <= 0xbf);
        if (!fits) {
            cursor += i;
            return {{0xfffd, 0}, 1};
        }
        point = point << 6 | (byte & 0x3f);
    }
    cursor += length;
    if (point < 0x10000)
        return {{char16_t(point), 0}, 1};
    return {{QChar::highSurrogate(point), QChar::lowSurrogate(point)}, 2};
}

struct Probe {
    int order;
    const char* keyEnd;
};

// Compares the key of the line at p with wanted, code unit by code unit in UTF-16, without
// building a string; a proper prefix sorts first.
Probe compareKey(const char* p, const char* end, QStringView wanted) {
    const char16_t* w = wanted.utf16();
    const qsizetype n = wanted.size();
    qsizetype i = 0;
    while (p < end && *p != '\t' && *p != '\n') {
        const Decoded decoded = decodeUtf8(p, end);
        for (int k = 0; k < decoded.count; ++k, ++i) {
            if (i == n)
                return {1, nullptr};
            if (decoded.units[k] != w[i])
                return {decoded.units[k] < w[i] ? -1 : 1, nullptr};
        }
    }
    return {i == n ? 0 : -1, p};
}

std::optional<QJsonDocument> parse(const std::optional<QByteArray>& value) {
    if (!value)
        return std::nullopt;
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(*value, &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return document;
}

QString withKind(char16_t kind, QStringView key) {
    QString wanted;
    wanted.reserve(key.size() + 1);
    wanted.append(QChar(kind));
    wanted.append(key);
    return wanted;
}

} // namespace

LexiconPack::Validator::Validator(qint64 limit)
    : m_limit(limit) {
}

LexiconPack::Validator::~Validator() = default;

bool LexiconPack::Validator::add(QByteArrayView chunk) {
    if (m_failed || chunk.isEmpty())
        return !m_failed;
    if (m_seen == 0) {
        m_plain = chunk.front() == '#';
        if (!m_plain)
            m_gzip = std::make_unique<Gzip::Stream>(m_limit, Gzip::Grow(), Gzip::Trailing::Refused);
    }
    m_seen += chunk.size();
    if (m_plain)
        m_failed = m_seen > m_limit;
    else
        m_failed = !m_gzip->add(chunk);
    return !m_failed;
}

bool LexiconPack::Validator::finish() {
    if (m_failed || m_seen == 0)
        return false;
    return m_plain || m_gzip->finish().has_value();
}

std::optional<LexiconPack::Text> LexiconPack::gunzip(QByteArrayView data, Inflater inflater,
                                                     qint64 limit) {
    Text text;
    const Gzip::Grow grow = [&text](qsizetype capacity) {
        return text.resize(capacity) ? text.data() : nullptr;
    };
    std::optional<qint64> size;
    if (inflater == Inflater::Fastest) {
        size = Gzip::decompress(data, limit, grow);
    } else {
        Gzip::Stream stream(limit, grow);
        if (stream.add(data))
            size = stream.finish();
    }
    if (!size || !text.resize(qsizetype(*size)))
        return std::nullopt;
    return text;
}

std::shared_ptr<const LexiconPack> LexiconPack::load(const QString& path, const QString& lang) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const qint64 size = file.size();
    Text content;
    if (size <= 0 || size > maxFileSize || !content.resize(qsizetype(size)) ||
        file.read(content.data(), size) != size)
        return nullptr;
    file.close();

    if (content.data()[0] == '#') {
        if (content.size() > maxTextSize)
            return nullptr;
        return std::shared_ptr<const LexiconPack>(new LexiconPack(lang, std::move(content)));
    }
    auto text = gunzip(content.view());
    content = Text();
    if (!text)
        return nullptr;
    return std::shared_ptr<const LexiconPack>(new LexiconPack(lang, std::move(*text)));
}

bool LexiconPack::validate(const QString& path, qint64 limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    Validator validator(limit);
    QByteArray chunk(readChunk, Qt::Uninitialized);
    while (true) {
        const qint64 read = file.read(chunk.data(), chunk.size());
        if (read < 0)
            return false;
        if (read == 0)
            break;
        if (!validator.add(QByteArrayView(chunk.constData(), read)))
            return false;
    }
    return validator.finish();
}

LexiconPack::Text::Text(Text&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_mapped(std::exchange(other.m_mapped, 0)) {
}

LexiconPack::Text& LexiconPack::Text::operator=(Text&& other) noexcept {
    if (this != &other) {
        if (m_data)
            munmap(m_data, m_mapped);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapped = std::exchange(other.m_mapped, 0);
    }
    return *this;
}

LexiconPack::Text::~Text() {
    if (m_data)
        munmap(m_data, m_mapped);
}

bool LexiconPack::Text::resize(qsizetype size) {
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    constexpr size_t hugePage = size_t(2) << 20;
    if (size < 0)
        return false;
    const size_t wanted = std::max(page, (size_t(size) + page - 1) / page * page);
    if (wanted != m_mapped) {
        void* memory = m_data ? mremap(m_data, m_mapped, wanted, MREMAP_MAYMOVE)
                              : mmap(nullptr, wanted, PROT_READ | PROT_WRITE,
                                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return false;
        m_data = static_cast<char*>(memory);
        m_mapped = wanted;
        if (wanted >= hugePage)
            madvise(m_data, m_mapped, MADV_HUGEPAGE);
    }
    m_size = size;
    return true;
}

LexiconPack::LexiconPack(QString lang, Text text)
    : m_lang(std::move(lang))
    , m_text(std::move(text)) {
    const char* begin = m_text.data();
    const char* end = begin + m_text.size();
    m_starts.reserve(size_t(m_text.size() / 40));
    const char* line = begin;
    while (line < end) {
        const auto* feed = static_cast<const char*>(std::memchr(line, '\n', size_t(end - line)));
        if (!feed)
            break;
        if (line < feed && *line != '#')
            m_starts.push_back(qint32(line - begin));
        line = feed + 1;
    }
    m_starts.shrink_to_fit();

    // The header stands at the top; the credit is one of its lines.
    static constexpr QByteArrayView creditMark = "# credit: ";
    for (const char* at = begin; at < end && *at == '#';) {
        const auto* feed = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
        const QByteArrayView headerLine(at, (feed ? feed : end) - at);
        if (headerLine.startsWith(creditMark))
            m_credit = QString::fromUtf8(headerLine.sliced(creditMark.size())).trimmed();
        if (!feed)
            break;
        at = feed + 1;
    }
    if (const auto rules = parse(raw(u"f")); rules && rules->isArray()) {
        for (const QJsonValue& rule : rules->array()) {
            const QJsonArray parts = rule.toArray();
            if (parts.size() < 2 || !parts[0].isString() || !parts[1].isString() ||
                (parts.size() > 2 && !parts[2].isString()))
                continue;
            FormRule formRule{parts[0].toString(), parts[1].toString(), parts.at(2).toString()};
            if (!formRule.ending.isEmpty() || !formRule.prefix.isEmpty())
                m_formRules.append(formRule);
        }
    }
}

std::optional<QByteArray> LexiconPack::raw(QStringView key) const {
    const char* text = m_text.data();
    const char* end = text + m_text.size();
    qsizetype low = 0;
    qsizetype high = qsizetype(m_starts.size()) - 1;
    while (low <= high) {
        const qsizetype middle = low + (high - low) / 2;
        const Probe probe = compareKey(text + m_starts[size_t(middle)], end, key);
        if (probe.order == 0) {
            // A line without a TAB has no value; the next line's is not this one's.
            if (probe.keyEnd == end || *probe.keyEnd != '\t')
                return std::nullopt;
            const char* value = probe.keyEnd + 1;
            const auto* feed = static_cast<const char*>(std::memchr(value, '\n', end - value));
            return QByteArray(value, (feed ? feed : end) - value);
        }
        if (probe.order < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return std::nullopt;
}

std::optional<LexiconPack::WordRecord> LexiconPack::word(const QString& key) const {
    const auto document = parse(raw(withKind(u'w', key)));
    if (!document || !document->isObject())
        return std::nullopt;
    const QJsonObject object = document->object();
    WordRecord record;
    const QJsonValue entries = object.value("e"_L1);
    if (!entries.isUndefined() && !entries.isNull()) {
        if (!entries.isArray())
            return std::nullopt;
        QList<QJsonArray> list;
        for (const QJsonValue& entry : entries.toArray()) {
            if (!entry.isArray())
                return std::nullopt;
            list << entry.toArray();
        }
        record.e = std::move(list);
    }
    JsonFields fields(object);
    record.lm = fields.optionalStrings("lm"_L1);
    record.s = fields.optionalStrings("s"_L1);
    if (!fields.ok())
        return std::nullopt;
    return record;
}

std::optional<LexiconPack::Sense> LexiconPack::sense(const QString& id) const {
    const auto document = parse(raw(withKind(u's', id)));
    if (!document || !document->isArray())
        return std::nullopt;
    const QJsonArray array = document->array();
    if (array.size() < 4)
        return std::nullopt;
    Sense sense{array[0].toString(), array[1].toString(), array[2].toString(), {}};
    for (const QJsonValue& term : array[3].toArray()) {
        if (!term.isArray())
            continue;
        QStringList texts;
        for (const QJsonValue& text : term.toArray()) {
            if (text.isString())
                texts << text.toString();
        }
        sense.terms << texts;
    }
    return sense;
}

QStringList LexiconPack::englishSenses(const QString& word) const {
    const auto document = parse(raw(withKind(u'x', word)));
    if (!document || !document->isArray())
        return {};
    return JsonFields::allStrings(document->array()).value_or(QStringList());
}

std::vector<LexiconPack::Line> LexiconPack::lines(char kind) const {
    std::vector<Line> result;
    const char* text = m_text.data();
    const char* end = text + m_text.size();
    for (const qint32 start : m_starts) {
        const char* line = text + start;
        if (*line != kind)
            continue;
        const auto* tab = static_cast<const char*>(std::memchr(line, '\t', size_t(end - line)));
        const auto* feed = static_cast<const char*>(std::memchr(line, '\n', size_t(end - line)));
        const char* lineEnd = feed ? feed : end;
        const bool valued = tab && tab < lineEnd;
        const char* keyEnd = valued ? tab : lineEnd;
        if (keyEnd - line > 1)
            result.push_back(
                {QByteArrayView(line + 1, keyEnd - line - 1),
                 valued ? QByteArrayView(tab + 1, lineEnd - tab - 1) : QByteArrayView()});
    }
    return result;
}

} // namespace tivela
