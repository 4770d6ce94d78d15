// Pack files as the writer leaves them: one gzip member the application's reader loads and
// finds every line in, the same bytes for the same lines, and an index of what is there.
#include "PackWriter.h"

#include "core/Gzip.h"
#include "core/LexiconDownloader.h"
#include "core/LexiconPack.h"
#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {
namespace {

TEST(PackWriterTest, APackIsWrittenWholeReadableAndIndexed) {
    const QString folder = test::World::root() + u"/writer"_s;
    const QStringList header{u"# tivela dictionary pack lang=de"_s, u"# credit: WordNet"_s};
    const Lines lines{{u"whund"_s, R"({"s":["dog.n01"]})"},
                      {u"sdog.n01"_s, R"(["dog","noun","a domestic animal",[["Hund"]]])"},
                      {u"xdog"_s, R"(["dog.n01"])"},
                      // Above U+FFFF: the order of UTF-16, which the reader searches in.
                      {u"w\U0001F415"_s, R"({"lm":["hund"]})"}};
    QString error;
    Lines first = lines;
    ASSERT_TRUE(PackWriter::write(u"de"_s, header, first, folder, &error)) << error.toStdString();
    const QString path = folder + u"/de.lex.gz"_s;
    const QByteArray bytes = test::readFile(path);
    const auto text = LexiconPack::gunzip(bytes);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->view(), PackWriter::text(header, lines));
    const auto pack = LexiconPack::load(path, u"de"_s);
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->lineCount(), 4);
    EXPECT_EQ(pack->englishSenses(u"dog"_s), QStringList{u"dog.n01"_s});
    EXPECT_EQ(pack->credit(), u"WordNet"_s);
    EXPECT_FALSE(QFile::exists(path + u".part"_s));

    Lines again = lines;
    ASSERT_TRUE(PackWriter::write(u"de"_s, header, again, folder, &error));
    EXPECT_EQ(test::readFile(path), bytes);
    ASSERT_TRUE(PackWriter::writeIndex(folder, &error)) << error.toStdString();
    const auto index = LexiconDownloader::parseIndex(test::readFile(folder + u"/index.json"_s));
    EXPECT_TRUE(index.read);
    EXPECT_EQ(index.languages, QStringList{u"de"_s});
    EXPECT_TRUE(test::readFile(folder + u"/index.json"_s)
                    .contains(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));

    // A folder that cannot be made: a message, and nothing left behind.
    const QString blocked = test::World::root() + u"/blocked"_s;
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    Lines more = lines;
    EXPECT_FALSE(PackWriter::write(u"de"_s, header, more, blocked + u"/packs"_s, &error));
    EXPECT_TRUE(error.contains(blocked)) << error.toStdString();
}

} // namespace
} // namespace tivela::packbuild
