#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

namespace tivela {

// gzip data of one or more members, as gzip writes them and cat joins them. Every member's
// header, CRC and size are checked. Bytes after a member that do not begin another one (gzip's
// two magic bytes) are ignored, as gzip does, unless a stream is told to refuse them; bytes that
// do must make a whole member.
class Gzip {
public:
    // Memory for the text: grows it to at least the capacity given, keeping what was written,
    // and gives its start; nullptr when the memory is not there.
    using Grow = std::function<char*(qsizetype capacity)>;

    // One member holding the text, compressed at a level from 1 (fastest) to 12 (smallest);
    // the same text and level always give the same bytes (no name, no time in the header).
    // Empty when the memory is not there.
    static QByteArray compress(QByteArrayView text, int level = 9);

    // The whole input at once, member by member. The size of the text written through grow;
    // nothing for damaged data, a text longer than limit, or memory that is not there.
    static std::optional<qint64> decompress(QByteArrayView data, qint64 limit, const Grow& grow);

    // What a stream makes of bytes after the last member.
    enum class Trailing { Ignored, Refused };

    // The input as it arrives. With grow the text is collected, without it only counted.
    class Stream {
    public:
        explicit Stream(qint64 limit, Grow grow = {}, Trailing trailing = Trailing::Ignored);
        ~Stream();
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;

        // False once the bytes seen so far cannot be gzip data of a text within the limit.
        bool add(QByteArrayView chunk);
        // The size of the text when everything added was whole gzip data; nothing otherwise.
        std::optional<qint64> finish();

    private:
        struct State;
        std::unique_ptr<State> m_state;
    };
};

} // namespace tivela
