#include "core/Gzip.h"
#include "support/PackFiles.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QList>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

constexpr qint64 noLimit = std::numeric_limits<qint32>::max();

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffff;
    for (const char byte : bytes) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xedb88320 : crc >> 1;
    }
    return ~crc;
}

// gzip -n writes a bare ten-byte header; this rebuilds it with every optional field set,
// its own checksum included (wrong when asked).
QByteArray withAllHeaderFields(const QByteArray& bare, bool rightChecksum = true) {
    QByteArray header = bare.first(10);
    header[3] = char(2 | 4 | 8 | 16);
    header += QByteArray("\x05\x00", 2) + "extra";
    header += QByteArray("name.txt", 9);
    header += QByteArray("a comment", 10);
    const quint32 crc = crc32(header) ^ (rightChecksum ? 0 : 1);
    header += char(crc & 0xff);
    header += char(crc >> 8 & 0xff);
    return header + bare.sliced(10);
}

QByteArray flipped(QByteArray bytes, qsizetype index) {
    bytes[index] = char(bytes[index] ^ 0x01);
    return bytes;
}

struct Case {
    const char* what;
    QByteArray data;
    // Nothing: refused.
    std::optional<QByteArray> text;
    qint64 limit = noLimit;
};

// What each way of reading makes of the data, and the most memory it asked for.
struct Outcome {
    std::optional<QByteArray> text;
    qint64 largestRequest = 0;
};

Outcome collect(const std::function<std::optional<qint64>(const Gzip::Grow&)>& run) {
    QByteArray memory;
    Outcome outcome;
    const auto size = run([&](qsizetype capacity) {
        outcome.largestRequest = std::max<qint64>(outcome.largestRequest, capacity);
        memory.resize(capacity);
        return memory.data();
    });
    if (size)
        outcome.text = memory.first(qsizetype(*size));
    return outcome;
}

Outcome inOnePiece(const Case& c) {
    return collect([&](const Gzip::Grow& grow) { return Gzip::decompress(c.data, c.limit, grow); });
}

Outcome streamed(const Case& c, qsizetype step) {
    return collect([&](const Gzip::Grow& grow) -> std::optional<qint64> {
        Gzip::Stream stream(c.limit, grow);
        bool ok = true;
        for (qsizetype at = 0; at < c.data.size(); at += step)
            ok =
                stream.add(QByteArrayView(c.data).sliced(at, std::min(step, c.data.size() - at))) &&
                ok;
        const auto size = stream.finish();
        return ok ? size : std::nullopt;
    });
}

} // namespace

TEST(GzipTest, EveryWayOfReadingAgreesOnWhatIsWholeAndWithinItsLimit) {
    const QByteArray text = test::packText({{u"wapfel"_s, uR"({"e":[]})"_s}});
    const QByteArray bare = test::gzip(text);
    ASSERT_EQ(bare.first(4), QByteArray("\x1f\x8b\x08\x00", 4));
    const QByteArray first = test::gzip("#\nwa\t1\n");
    const QByteArray second = test::gzip("wb\t2\n");
    const QByteArray empty = test::gzip("");
    const QByteArray joined = "#\nwa\t1\nwb\t2\n";
    const QByteArray x5000(5000, 'x');
    const QByteArray single = test::gzip(x5000);
    const QByteArray split = test::gzip(x5000.first(4000)) + test::gzip(x5000.sliced(4000));
    QByteArray unfinishedName = bare.first(10);
    unfinishedName[3] = char(8);
    unfinishedName += QByteArray(40, 'n');
    QByteArray reservedFlag = bare;
    reservedFlag[3] = char(0x20);
    QByteArray otherMethod = bare;
    otherMethod[2] = char(7);
    QByteArray lyingSize = single;
    lyingSize[lyingSize.size() - 1] = char(0x7f);
    const QByteArray zeros = test::gzip(QByteArray(1 << 20, '\0'));

    const QList<Case> cases{
        {"one member", bare, text},
        {"every header field", withAllHeaderFields(bare), text},
        {"members, an empty one among them", first + second + empty, joined},
        {"an empty member in the middle", first + empty + second, joined},
        {"zeros after the last member", first + second + QByteArray(100, '\0'), joined},
        {"junk after the last member", first + second + "trailing junk", joined},
        {"one byte after the last member", first + second + "\x1f", joined},
        {"a text as long as the limit", single, x5000, 5000},
        {"members as long as the limit", split, x5000, 5000},
        {"a header whose checksum is wrong", withAllHeaderFields(bare, false), {}},
        {"a reserved header flag", reservedFlag, {}},
        {"another compression method", otherMethod, {}},
        {"a name that never ends", unfinishedName, {}},
        {"a header and no body", bare.first(18), {}},
        {"a wrong CRC", flipped(bare, bare.size() - 8), {}},
        {"a wrong size", flipped(bare, bare.size() - 2), {}},
        {"a damaged body", flipped(bare, 14), {}},
        {"a byte short", bare.first(bare.size() - 1), {}},
        {"no trailer", bare.first(bare.size() - 8), {}},
        {"cut in the body", bare.first(30), {}},
        {"a damaged second member", first + flipped(second, second.size() - 5), {}},
        {"a second member cut short", first + second.first(12), {}},
        {"only the magic of a second member", first + second.first(2), {}},
        {"a text one byte over the limit", single, {}, 4999},
        {"members one byte over the limit", split, {}, 4999},
        {"a size field beyond what DEFLATE can expand to", lyingSize, {}},
        {"a bomb over the limit", zeros, {}, 1 << 19},
        {"nothing", {}, {}},
        {"no gzip at all", "<html>not found</html>", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Never more memory than the limit allows, nor than the input can expand to.
        const Outcome whole = inOnePiece(c);
        EXPECT_EQ(whole.text, c.text);
        EXPECT_LE(whole.largestRequest, std::min(c.limit, qint64(c.data.size()) * 1032) + 1);
        for (const qsizetype step : {qsizetype(1), qsizetype(7), qsizetype(c.data.size() + 1)}) {
            const Outcome pieces = streamed(c, step);
            EXPECT_EQ(pieces.text, c.text) << step;
            EXPECT_LE(pieces.largestRequest, c.limit + 1);
        }
        Gzip::Stream counting(c.limit);
        const bool added = counting.add(c.data);
        const auto counted = counting.finish();
        EXPECT_EQ(added ? counted : std::nullopt,
                  c.text ? std::optional<qint64>(c.text->size()) : std::nullopt);
    }
}

TEST(GzipTest, ALargeTextWithAWrongSizeFieldStillComesWhole) {
    // Several members: the last one's size field tells nothing of the whole, so the memory
    // grows as the members come.
    QByteArray text;
    QByteArray data;
    for (int member = 0; member < 5; ++member) {
        const QByteArray part = QByteArray::number(member).repeated(300000);
        text += part;
        data += test::gzip(part);
    }
    data += test::gzip("end");
    text += "end";
    const Case c{"", data, text};
    EXPECT_EQ(inOnePiece(c).text, text);
    EXPECT_EQ(streamed(c, 1 << 16).text, text);
}

TEST(GzipTest, CompressedTextReadsBackWholeAndTheSameTextGivesTheSameBytes) {
    QByteArray mixed;
    for (int i = 0; i < 20000; ++i)
        mixed += "w" + QByteArray::number(i * 7919 % 10007) + "\t{\"s\":[\"käse\"]}\n";
    for (const QByteArray& text : {QByteArray(), QByteArray("#\n"), mixed}) {
        SCOPED_TRACE(text.size());
        const QByteArray data = Gzip::compress(text);
        // A bare header: no name and no time, so a pack built twice is the same file.
        ASSERT_GE(data.size(), 18);
        EXPECT_EQ(data.first(8), QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8));
        EXPECT_EQ(Gzip::compress(text), data);
        const Case c{"", data, text};
        EXPECT_EQ(inOnePiece(c).text, text);
        EXPECT_EQ(streamed(c, 1000).text, text);
    }
    EXPECT_LT(Gzip::compress(mixed, 12).size(), Gzip::compress(mixed, 1).size());
}
