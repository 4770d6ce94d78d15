#include "core/Gzip.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

namespace tivela {
namespace {

constexpr uchar magic1 = 0x1f;
constexpr uchar magic2 = 0x8b;
constexpr int flagsOffset = 3;
constexpr uchar flagHeaderCrc = 2;
// DEFLATE cannot expand a byte into more than this many (258 bytes from two bits at best), so
// neither a trailer that lies nor a bomb can ask for more memory than the input allows.
constexpr qint64 maxExpansion = 1032;
constexpr qint64 firstCapacity = 1 << 16;
// zlib counts in 32-bit units; feed it slices well below that.
constexpr qsizetype zlibSlice = qsizetype(1) << 30;
constexpr qsizetype countingWindow = 1 << 18;

quint32 littleEndian32(const uchar* p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

std::optional<qint64> streamed(QByteArrayView data, qint64 limit, const Gzip::Grow& grow) {
    Gzip::Stream stream(limit, grow);
    if (!stream.add(data))
        return std::nullopt;
    return stream.finish();
}

} // namespace

QByteArray Gzip::compress(QByteArrayView text, int level) {
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(std::clamp(level, 1, 12)));
    if (!compressor)
        return {};
    QByteArray out(qsizetype(libdeflate_gzip_compress_bound(compressor.get(), size_t(text.size()))),
                   Qt::Uninitialized);
    const size_t written = libdeflate_gzip_compress(
        compressor.get(), text.data(), size_t(text.size()), out.data(), size_t(out.size()));
    out.truncate(qsizetype(written));
    return out;
}

std::optional<qint64> Gzip::decompress(QByteArrayView data, qint64 limit, const Grow& grow) {
    const auto* in = reinterpret_cast<const uchar*>(data.data());
    const qsizetype size = data.size();
    const qint64 ceiling = std::min(limit, qint64(size) * maxExpansion);
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (!decompressor)
        return std::nullopt;
    // The last member's size field: the whole text when there is one member, as there usually
    // is; more members grow the memory as they need.
    qint64 capacity = size >= 4 ? std::min<qint64>(littleEndian32(in + size - 4), ceiling) : 0;
    char* out = grow(qsizetype(capacity));
    if (!out)
        return std::nullopt;
    qsizetype position = 0;
    qint64 total = 0;
    do {
        // libdeflate skips a header's own checksum, which zlib checks.
        if (size - position > flagsOffset && (in[position + flagsOffset] & flagHeaderCrc))
            return streamed(data, ceiling, grow);
        size_t consumed = 0;
        size_t produced = 0;
        const libdeflate_result result = libdeflate_gzip_decompress_ex(
            decompressor.get(), in + position, size_t(size - position), out + total,
            size_t(capacity - total), &consumed, &produced);
        if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
            if (capacity >= ceiling)
                return std::nullopt;
            capacity = std::min(std::max(capacity * 2, firstCapacity), ceiling);
            out = grow(qsizetype(capacity));
            if (!out)
                return std::nullopt;
            // The same member again (its header was whole), into the larger memory.
            continue;
        }
        if (result != LIBDEFLATE_SUCCESS)
            return std::nullopt;
        total += qint64(produced);
        position += qsizetype(consumed);
    } while (size - position >= 2 && in[position] == magic1 && in[position + 1] == magic2);
    return total;
}

struct Gzip::Stream::State {
    enum class Phase { Member, Between, Ignored, Failed };

    // Takes input of the member under way until it ends or the input runs out; how much.
    qsizetype inflateSome(const uchar* data, qsizetype size) {
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = uInt(size);
        while (true) {
            uchar* window = nullptr;
            qsizetype room = 0;
            if (!makeRoom(window, room)) {
                phase = Phase::Failed;
                return 0;
            }
            stream.next_out = window;
            stream.avail_out = uInt(room);
            const int status = inflate(&stream, Z_NO_FLUSH);
            total += room - qsizetype(stream.avail_out);
            if (total > limit ||
                (status != Z_OK && status != Z_BUF_ERROR && status != Z_STREAM_END)) {
                phase = Phase::Failed;
                return 0;
            }
            if (status == Z_STREAM_END) {
                ++members;
                phase = Phase::Between;
                break;
            }
            if (stream.avail_in == 0 && stream.avail_out > 0)
                break;
        }
        return size - qsizetype(stream.avail_in);
    }

    // Where the next output goes: the collected text's free end, grown when full, or the
    // counting window.
    bool makeRoom(uchar*& window, qsizetype& room) {
        if (!grow) {
            window = counting.data();
            room = qsizetype(counting.size());
            return true;
        }
        if (total == capacity) {
            if (capacity > limit)
                return false;
            const qint64 wanted = std::min(std::max(capacity * 2, firstCapacity), limit + 1);
            out = grow(qsizetype(wanted));
            if (!out)
                return false;
            capacity = wanted;
        }
        window = reinterpret_cast<uchar*>(out) + total;
        room = qsizetype(std::min<qint64>(capacity - total, zlibSlice));
        return true;
    }

    // Bytes that begin no member end the data: ignored, or the data is refused.
    void ignoreRest() { phase = trailing == Trailing::Ignored ? Phase::Ignored : Phase::Failed; }

    qint64 limit;
    Trailing trailing = Trailing::Ignored;
    Grow grow;
    z_stream stream{};
    bool ready = false;
    Phase phase = Phase::Member;
    // The first magic byte of what may be another member, its second not yet seen.
    bool heldMagic = false;
    int members = 0;
    qint64 total = 0;
    qint64 capacity = 0;
    char* out = nullptr;
    std::vector<uchar> counting;
};

Gzip::Stream::Stream(qint64 limit, Grow grow, Trailing trailing)
    : m_state(std::make_unique<State>()) {
    m_state->limit = limit;
    m_state->trailing = trailing;
    m_state->grow = std::move(grow);
    if (!m_state->grow)
        m_state->counting.resize(countingWindow);
    m_state->ready = inflateInit2(&m_state->stream, 16 + MAX_WBITS) == Z_OK;
    if (!m_state->ready)
        m_state->phase = State::Phase::Failed;
}

Gzip::Stream::~Stream() {
    if (m_state->ready)
        inflateEnd(&m_state->stream);
}

bool Gzip::Stream::add(QByteArrayView chunk) {
    State& s = *m_state;
    const auto* data = reinterpret_cast<const uchar*>(chunk.data());
    qsizetype size = chunk.size();
    while (size > 0) {
        switch (s.phase) {
        case State::Phase::Failed:
            return false;
        case State::Phase::Ignored:
            return true;
        case State::Phase::Between:
            if (!s.heldMagic) {
                if (data[0] != magic1) {
                    s.ignoreRest();
                    return s.phase != State::Phase::Failed;
                }
                s.heldMagic = true;
                ++data;
                --size;
                break;
            }
            if (data[0] != magic2) {
                s.ignoreRest();
                return s.phase != State::Phase::Failed;
            }
            s.heldMagic = false;
            if (inflateReset(&s.stream) != Z_OK) {
                s.phase = State::Phase::Failed;
                return false;
            }
            s.phase = State::Phase::Member;
            s.inflateSome(&magic1, 1);
            break;
        case State::Phase::Member: {
            const qsizetype used = s.inflateSome(data, std::min(size, zlibSlice));
            data += used;
            size -= used;
            break;
        }
        }
    }
    return s.phase != State::Phase::Failed;
}

std::optional<qint64> Gzip::Stream::finish() {
    const State& s = *m_state;
    if (s.members == 0 || s.phase == State::Phase::Member || s.phase == State::Phase::Failed ||
        (s.heldMagic && s.trailing == Trailing::Refused))
        return std::nullopt;
    return s.total;
}

} // namespace tivela
