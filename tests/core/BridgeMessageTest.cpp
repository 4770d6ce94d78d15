#include "core/BridgeMessage.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

// A pipe whose ends close with the test.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0); }
    ~Pipe() {
        closeWrite();
        if (fds[0] >= 0)
            ::close(fds[0]);
    }
    int in() const { return fds[0]; }
    int out() const { return fds[1]; }
    void closeWrite() {
        if (fds[1] >= 0)
            ::close(fds[1]);
        fds[1] = -1;
    }
    void put(const QByteArray& bytes) {
        ASSERT_EQ(::write(out(), bytes.data(), bytes.size()), bytes.size());
    }
};

QByteArray header(quint32 length) {
    return QByteArray(reinterpret_cast<const char*>(&length), 4);
}

} // namespace

TEST(BridgeMessageTest, RoundTripThroughAPipe) {
    Pipe pipe;
    const QJsonObject request{{u"type"_s, u"hello"_s}, {u"id"_s, 7}, {u"text"_s, u"Grüße 👋"_s}};
    ASSERT_TRUE(BridgeMessage::write(request, pipe.out()));
    ASSERT_TRUE(BridgeMessage::write(QJsonObject{}, pipe.out()));
    EXPECT_EQ(BridgeMessage::read(pipe.in()), request);
    EXPECT_EQ(BridgeMessage::read(pipe.in()), QJsonObject{});
    pipe.closeWrite();
    EXPECT_EQ(BridgeMessage::read(pipe.in()), std::nullopt);
}

TEST(BridgeMessageTest, FrameIsLengthThenCompactBody) {
    const QByteArray bytes = BridgeMessage::frame(QJsonObject{{u"ok"_s, true}});
    EXPECT_EQ(bytes, header(11) + QByteArray(R"({"ok":true})"));
}

TEST(BridgeMessageTest, RefusedLengthsEndTheInput) {
    {
        Pipe pipe;
        pipe.put(header(0) + BridgeMessage::frame(QJsonObject{{u"a"_s, 1}}));
        EXPECT_EQ(BridgeMessage::read(pipe.in()), std::nullopt);
    }
    {
        // Refused before any body byte is read: the body is still in the pipe.
        Pipe pipe;
        pipe.put(header(BridgeMessage::maxLength) + QByteArray("{}"));
        EXPECT_EQ(BridgeMessage::read(pipe.in()), std::nullopt);
        char rest[2];
        EXPECT_EQ(::read(pipe.in(), rest, 2), 2);
    }
    {
        // The largest accepted length waits for its body; here the input ends early.
        Pipe pipe;
        pipe.put(header(BridgeMessage::maxLength - 1) + QByteArray("{}"));
        pipe.closeWrite();
        EXPECT_EQ(BridgeMessage::read(pipe.in()), std::nullopt);
    }
}

TEST(BridgeMessageTest, ShortInputGivesNothing) {
    {
        Pipe pipe;
        pipe.put(QByteArray("\x05\x00\x00", 3));
        pipe.closeWrite();
        EXPECT_EQ(BridgeMessage::read(pipe.in()), std::nullopt);
    }
    {
        Pipe pipe;
        pipe.put(header(10) + QByteArray("{\"a"));
        pipe.closeWrite();
        EXPECT_EQ(BridgeMessage::read(pipe.in()), std::nullopt);
    }
}

TEST(BridgeMessageTest, PiecesAcrossWritesAreAssembled) {
    Pipe pipe;
    const QByteArray bytes = BridgeMessage::frame(QJsonObject{{u"type"_s, u"phrases"_s}});
    std::thread writer([&] {
        for (const char byte : bytes) {
            ASSERT_EQ(::write(pipe.out(), &byte, 1), 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto object = BridgeMessage::read(pipe.in());
    writer.join();
    ASSERT_TRUE(object);
    EXPECT_EQ(object->value(u"type"_s), u"phrases"_s);
}

TEST(BridgeMessageTest, BodiesThatAreNotObjectsAreRefused) {
    for (const QByteArray& body : {QByteArray("[1,2]"), QByteArray("\"hello\""), QByteArray("12"),
                                   QByteArray("{oops}"), QByteArray("{\"a\":\"\xff\xfe\"}")}) {
        Pipe pipe;
        pipe.put(header(quint32(body.size())) + body);
        EXPECT_EQ(BridgeMessage::read(pipe.in()), std::nullopt) << body.toStdString();
    }
}

TEST(BridgeMessageTest, TakeAssemblesFramesByteByByteAndRefusesWhatReadRefuses) {
    const QJsonObject first{{u"id"_s, 1}, {u"text"_s, u"Grüße"_s}};
    const QByteArray bytes = BridgeMessage::frame(first) + BridgeMessage::frame(QJsonObject{});
    QByteArray buffer;
    QList<QJsonObject> taken;
    for (const char byte : bytes) {
        buffer += byte;
        const BridgeMessage::Taken result = BridgeMessage::take(buffer);
        ASSERT_NE(result.status, BridgeMessage::Taken::Status::refused);
        if (result.status == BridgeMessage::Taken::Status::frame)
            taken.append(result.object);
    }
    EXPECT_EQ(taken, (QList<QJsonObject>{first, QJsonObject{}}));
    EXPECT_TRUE(buffer.isEmpty());

    for (const QByteArray& refused :
         {QByteArray(header(0) + "{}"), header(BridgeMessage::maxLength),
          QByteArray(header(5) + "[1,2]")}) {
        QByteArray rest = refused;
        EXPECT_EQ(BridgeMessage::take(rest).status, BridgeMessage::Taken::Status::refused)
            << refused.toHex().toStdString();
    }
}

TEST(BridgeMessageTest, WriteToAClosedPipeFailsWithoutKillingTheProcess) {
    std::signal(SIGPIPE, SIG_IGN);
    Pipe pipe;
    ::close(pipe.fds[0]);
    pipe.fds[0] = -1;
    EXPECT_FALSE(BridgeMessage::write(QJsonObject{{u"ok"_s, true}}, pipe.out()));
}

TEST(BridgeMessageTest, EntryDictLeavesAbsentOptionalsOut) {
    DictionaryEntry entry;
    entry.word = u"casa"_s;
    entry.from = u"es"_s;
    entry.to = u"en"_s;
    entry.groups = {{u"noun"_s, {{u"house"_s, std::nullopt, u"dwelling"_s}}}};
    const QJsonObject dict = BridgeMessage::entryDict(entry);
    EXPECT_FALSE(dict.contains(u"lemma"_s));
    EXPECT_FALSE(dict.contains(u"ipa"_s));
    EXPECT_FALSE(dict.contains(u"roman"_s));
    const QJsonObject term = dict[u"groups"_s][0][u"terms"_s][0].toObject();
    EXPECT_EQ(term, (QJsonObject{{u"text"_s, u"house"_s}, {u"sense"_s, u"dwelling"_s}}));
}
