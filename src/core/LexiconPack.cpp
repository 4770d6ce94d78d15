#include "core/LexiconPack.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

constexpr uchar gzipMagic1 = 0x1f;
constexpr uchar gzipMagic2 = 0x8b;
constexpr uchar gzipDeflate = 8;
constexpr int flagHeaderCrc = 2;
constexpr int flagExtra = 4;
constexpr int flagName = 8;
constexpr int flagComment = 16;
constexpr qsizetype trailerSize = 8;
// Names and comments of real packs are short; a header that runs on for this long is junk,
// and refusing it keeps the streaming check from buffering a whole file.
constexpr qsizetype maxHeaderSize = 1 << 20;
// DEFLATE cannot expand a byte into more than this many (258 bytes from two bits at best).
constexpr qint64 maxExpansion = 1032;
constexpr qsizetype readChunk = 1 << 20;
// zlib counts in 32-bit units; feed it slices well below that.
constexpr qsizetype zlibSlice = qsizetype(1) << 30;

quint32 littleEndian32(const uchar* p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

enum class HeaderStatus { Complete, NeedMore, Invalid };

struct Header {
    HeaderStatus status;
    qsizetype length = 0;
};

// The header walk of one gzip member over the bytes that have arrived so far.
Header parseHeader(const uchar* p, qsizetype n) {
    if ((n >= 1 && p[0] != gzipMagic1) || (n >= 2 && p[1] != gzipMagic2) ||
        (n >= 3 && p[2] != gzipDeflate))
        return {HeaderStatus::Invalid};
    const Header needMore{n > maxHeaderSize ? HeaderStatus::Invalid : HeaderStatus::NeedMore};
    if (n < 10)
        return needMore;
    const int flags = p[3];
    qsizetype position = 10;
    if (flags & flagExtra) {
        if (n < 12)
            return needMore;
        position = 12 + (qsizetype(p[10]) | qsizetype(p[11]) << 8);
    }
    for (const int flag : {flagName, flagComment}) {
        if (!(flags & flag))
            continue;
        if (position >= n)
            return needMore;
        const void* zero = std::memchr(p + position, 0, size_t(n - position));
        if (!zero)
            return needMore;
        position = static_cast<const uchar*>(zero) - p + 1;
    }
    if (flags & flagHeaderCrc)
        position += 2;
    if (position > n)
        return needMore;
    return {HeaderStatus::Complete, position};
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

enum class FastResult { Done, Failed, Fallback };

// The common case in one pass: a single member whose trailer says how big the text is.
// Anything unusual (several members, trailing bytes, a size that cannot be right) falls back
// to the streaming inflater, which decides.
FastResult inflateFast(QByteArrayView data, qint64 limit, LexiconPack::Text& text) {
    const auto* p = reinterpret_cast<const uchar*>(data.data());
    const qsizetype n = data.size();
    if (n < 10 + 2 + trailerSize)
        return FastResult::Fallback;
    const Header header = parseHeader(p, n);
    if (header.status != HeaderStatus::Complete || header.length > n - trailerSize)
        return FastResult::Fallback;
    const qint64 size = littleEndian32(p + n - 4);
    if (size > limit || size > qint64(n) * maxExpansion)
        return FastResult::Fallback;

    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (!decompressor)
        return FastResult::Fallback;
    if (!text.resize(qsizetype(size)))
        return FastResult::Failed;
    size_t consumed = 0;
    size_t produced = 0;
    const auto result = libdeflate_deflate_decompress_ex(decompressor.get(), p + header.length,
                                                         size_t(n - header.length), text.data(),
                                                         size_t(size), &consumed, &produced);
    if (result == LIBDEFLATE_BAD_DATA)
        return FastResult::Failed;
    if (result != LIBDEFLATE_SUCCESS)
        return FastResult::Fallback;
    const qsizetype trailer = header.length + qsizetype(consumed);
    if (trailer + trailerSize != n)
        return FastResult::Fallback;
    const quint32 crc = libdeflate_crc32(0, text.data(), produced);
    if (crc != littleEndian32(p + trailer) ||
        quint32(produced) != littleEndian32(p + trailer + 4) || qint64(produced) != size)
        return FastResult::Failed;
    return FastResult::Done;
}

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

std::optional<QStringList> strings(const QJsonArray& array) {
    QStringList list;
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isString())
            return std::nullopt;
        list << element.toString();
    }
    return list;
}

QString withKind(char16_t kind, QStringView key) {
    QString wanted;
    wanted.reserve(key.size() + 1);
    wanted.append(QChar(kind));
    wanted.append(key);
    return wanted;
}

} // namespace

// Inflates a sequence of gzip members as their bytes arrive, checks each member against its
// trailer and either collects the text or only counts it. Bytes after the last member that do
// not begin another member are ignored, as gzip does.
class GzipStream {
public:
    GzipStream(qint64 limit, LexiconPack::Text* collect, qsizetype expected = 0)
        : limit_(limit)
        , out_(collect) {
        if (!out_)
            scratch_.resize(1 << 18);
        else if (!out_->resize(
                     qsizetype(std::min(std::max<qint64>(expected, 1 << 16), limit_ + 1))))
            state_ = State::Failed;
    }

    ~GzipStream() {
        if (zlibReady_)
            inflateEnd(&z_);
    }

    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    bool add(const uchar* data, qsizetype size) {
        while (size > 0) {
            qsizetype used = 0;
            switch (state_) {
            case State::Header:
                used = header(data, size);
                break;
            case State::Body:
                used = body(data, std::min(size, zlibSlice));
                break;
            case State::Trailer:
                used = trailer(data, size);
                break;
            case State::Ignored:
                used = size;
                break;
            case State::Failed:
                return false;
            }
            if (state_ == State::Failed)
                return false;
            data += used;
            size -= used;
        }
        return state_ != State::Failed;
    }

    bool finish() {
        bool complete = false;
        if (members_ > 0) {
            if (state_ == State::Ignored)
                complete = true;
            else if (state_ == State::Header)
                complete = pending_.size() < 2; // nothing, or one byte of junk
        }
        if (out_)
            complete = out_->resize(complete ? qsizetype(total_) : 0) && complete;
        return complete;
    }

private:
    enum class State { Header, Body, Trailer, Ignored, Failed };

    qsizetype fail() {
        state_ = State::Failed;
        return 0;
    }

    qsizetype header(const uchar* data, qsizetype size) {
        const qsizetype before = pending_.size();
        const qsizetype taken = std::min<qsizetype>(size, 4096);
        pending_.append(reinterpret_cast<const char*>(data), taken);
        const auto* p = reinterpret_cast<const uchar*>(pending_.constData());
        if (members_ > 0 && (p[0] != gzipMagic1 || (pending_.size() > 1 && p[1] != gzipMagic2))) {
            state_ = State::Ignored;
            return size;
        }
        const Header parsed = parseHeader(p, pending_.size());
        if (parsed.status == HeaderStatus::Invalid)
            return fail();
        if (parsed.status == HeaderStatus::NeedMore)
            return taken;
        pending_.clear();
        crc_ = 0;
        memberSize_ = 0;
        const int status = zlibReady_ ? inflateReset(&z_) : inflateInit2(&z_, -MAX_WBITS);
        if (status != Z_OK)
            return fail();
        zlibReady_ = true;
        state_ = State::Body;
        return parsed.length - before;
    }

    qsizetype body(const uchar* data, qsizetype size) {
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = uInt(size);
        while (true) {
            uchar* window = nullptr;
            qsizetype room = 0;
            if (out_) {
                if (total_ == out_->size()) {
                    if (out_->size() > limit_ ||
                        !out_->resize(std::min<qint64>(qint64(out_->size()) * 2, limit_ + 1)))
                        return fail();
                }
                window = reinterpret_cast<uchar*>(out_->data()) + total_;
                room = std::min<qsizetype>(out_->size() - qsizetype(total_), zlibSlice);
            } else {
                window = scratch_.data();
                room = qsizetype(scratch_.size());
            }
            z_.next_out = window;
            z_.avail_out = uInt(room);
            const int status = inflate(&z_, Z_NO_FLUSH);
            const qsizetype produced = room - qsizetype(z_.avail_out);
            crc_ = libdeflate_crc32(crc_, window, size_t(produced));
            memberSize_ += produced;
            total_ += produced;
            if (total_ > limit_)
                return fail();
            if (status == Z_STREAM_END) {
                state_ = State::Trailer;
                break;
            }
            if (status == Z_BUF_ERROR && z_.avail_in == 0)
                break;
            if (status != Z_OK && status != Z_BUF_ERROR)
                return fail();
            if (z_.avail_in == 0 && z_.avail_out > 0)
                break;
        }
        return size - qsizetype(z_.avail_in);
    }

    qsizetype trailer(const uchar* data, qsizetype size) {
        const qsizetype taken = std::min(size, trailerSize - pending_.size());
        pending_.append(reinterpret_cast<const char*>(data), taken);
        if (pending_.size() < trailerSize)
            return taken;
        const auto* p = reinterpret_cast<const uchar*>(pending_.constData());
        if (littleEndian32(p) != crc_ || littleEndian32(p + 4) != quint32(memberSize_))
            return fail();
        pending_.clear();
        ++members_;
        state_ = State::Header;
        return taken;
    }

    qint64 limit_;
    LexiconPack::Text* out_;
    std::vector<uchar> scratch_;
    State state_ = State::Header;
    QByteArray pending_;
    z_stream z_{};
    bool zlibReady_ = false;
    quint32 crc_ = 0;
    qint64 memberSize_ = 0;
    qint64 total_ = 0;
    int members_ = 0;
};

LexiconPack::Validator::Validator(qint64 limit)
    : limit_(limit) {
}

LexiconPack::Validator::~Validator() = default;

bool LexiconPack::Validator::add(QByteArrayView chunk) {
    if (failed_ || chunk.isEmpty())
        return !failed_;
    if (seen_ == 0) {
        plain_ = chunk.front() == '#';
        if (!plain_)
            gzip_ = std::make_unique<GzipStream>(limit_, nullptr);
    }
    seen_ += chunk.size();
    if (plain_)
        failed_ = seen_ > limit_;
    else
        failed_ = !gzip_->add(reinterpret_cast<const uchar*>(chunk.data()), chunk.size());
    return !failed_;
}

bool LexiconPack::Validator::finish() {
    if (failed_ || seen_ == 0)
        return false;
    return plain_ || gzip_->finish();
}

namespace {

bool inflate(QByteArrayView data, LexiconPack::Inflater inflater, qint64 limit,
             LexiconPack::Text& text) {
    if (inflater == LexiconPack::Inflater::Fastest) {
        switch (inflateFast(data, limit, text)) {
        case FastResult::Done:
            return true;
        case FastResult::Failed:
            return false;
        case FastResult::Fallback:
            break;
        }
    }
    qint64 expected = 0;
    if (data.size() >= 4) {
        expected = littleEndian32(reinterpret_cast<const uchar*>(data.data()) + data.size() - 4);
        expected = std::min(expected, qint64(data.size()) * maxExpansion);
    }
    GzipStream stream(limit, &text, qsizetype(expected));
    return stream.add(reinterpret_cast<const uchar*>(data.data()), data.size()) && stream.finish();
}

} // namespace

std::optional<LexiconPack::Text> LexiconPack::gunzip(QByteArrayView data, Inflater inflater,
                                                     qint64 limit) {
    Text text;
    if (!inflate(data, inflater, limit, text))
        return std::nullopt;
    return text;
}

std::shared_ptr<const LexiconPack> LexiconPack::load(const QString& path, const QString& lang) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    const qint64 size = file.size();
    Text content;
    if (size <= 0 || !content.resize(qsizetype(size)) || file.read(content.data(), size) != size)
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
    : data_(std::exchange(other.data_, nullptr))
    , size_(std::exchange(other.size_, 0))
    , mapped_(std::exchange(other.mapped_, 0)) {
}

LexiconPack::Text& LexiconPack::Text::operator=(Text&& other) noexcept {
    if (this != &other) {
        if (data_)
            munmap(data_, mapped_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

LexiconPack::Text::~Text() {
    if (data_)
        munmap(data_, mapped_);
}

bool LexiconPack::Text::resize(qsizetype size) {
    static const size_t page = size_t(sysconf(_SC_PAGESIZE));
    constexpr size_t hugePage = size_t(2) << 20;
    if (size < 0)
        return false;
    const size_t wanted = std::max(page, (size_t(size) + page - 1) / page * page);
    if (wanted != mapped_) {
        void* memory = data_ ? mremap(data_, mapped_, wanted, MREMAP_MAYMOVE)
                             : mmap(nullptr, wanted, PROT_READ | PROT_WRITE,
                                    MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            return false;
        data_ = static_cast<char*>(memory);
        mapped_ = wanted;
        if (wanted >= hugePage)
            madvise(data_, mapped_, MADV_HUGEPAGE);
    }
    size_ = size;
    return true;
}

LexiconPack::LexiconPack(QString lang, Text text)
    : lang_(std::move(lang))
    , text_(std::move(text)) {
    const char* begin = text_.data();
    const char* end = begin + text_.size();
    starts_.reserve(size_t(text_.size() / 40));
    const char* line = begin;
    while (line < end) {
        const auto* feed = static_cast<const char*>(std::memchr(line, '\n', size_t(end - line)));
        if (!feed)
            break;
        if (line < feed && *line != '#')
            starts_.push_back(qint32(line - begin));
        line = feed + 1;
    }
    starts_.shrink_to_fit();
}

std::optional<QByteArray> LexiconPack::raw(QStringView key) const {
    const char* text = text_.data();
    const char* end = text + text_.size();
    qsizetype low = 0;
    qsizetype high = qsizetype(starts_.size()) - 1;
    while (low <= high) {
        const qsizetype middle = low + (high - low) / 2;
        const Probe probe = compareKey(text + starts_[size_t(middle)], end, key);
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
    for (const auto& [name, field] :
         {std::pair{"lm"_L1, &record.lm}, std::pair{"s"_L1, &record.s}}) {
        const QJsonValue value = object.value(name);
        if (value.isUndefined() || value.isNull())
            continue;
        if (!value.isArray())
            return std::nullopt;
        *field = strings(value.toArray());
        if (!*field)
            return std::nullopt;
    }
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
    return strings(document->array()).value_or(QStringList());
}

} // namespace tivela
