#include "core/LexiconPack.h"
#include "support/PackFiles.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtConcurrent>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

using Inflater = LexiconPack::Inflater;

class LexiconPackTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    std::shared_ptr<const LexiconPack> loadBytes(const QByteArray& bytes) {
        const QString file = path(u"pack-%1.lex.gz"_s.arg(++m_files));
        EXPECT_TRUE(test::writeFile(file, bytes));
        return LexiconPack::load(file, u"de"_s);
    }

    const QByteArray m_text = test::packText({{u"wapfel"_s, uR"({"e":[]})"_s},
                                              {u"wbaum"_s, uR"({"lm":["bäume"]})"_s},
                                              {u"x\u00e4"_s, uR"(["1"])"_s}});
    QTemporaryDir m_dir;
    int m_files = 0;
};

void flip(QByteArray& bytes, qsizetype index) {
    bytes[index] = char(bytes[index] ^ 0x01);
}

// The inflated text, or a marker when the data was refused.
QByteArray inflated(const QByteArray& data, Inflater inflater = Inflater::Fastest,
                    qint64 limit = LexiconPack::maxTextSize) {
    const auto text = LexiconPack::gunzip(data, inflater, limit);
    return text ? text->view().toByteArray() : "<refused>"_ba;
}

QByteArray raw(const LexiconPack& pack, const QString& key) {
    return pack.raw(key).value_or("<none>"_ba);
}

} // namespace

TEST_F(LexiconPackTest, PlainTextNeedsAHashFirstAndNothingElseIsAPack) {
    const auto plain = loadBytes(m_text);
    ASSERT_TRUE(plain);
    EXPECT_EQ(raw(*plain, u"wapfel"_s), R"({"e":[]})"_ba);
    EXPECT_EQ(plain->lineCount(), 3);

    EXPECT_FALSE(loadBytes(m_text.sliced(1)));
    EXPECT_FALSE(loadBytes({}));
    EXPECT_FALSE(loadBytes("PK\x03\x04 not a pack"));
    EXPECT_FALSE(LexiconPack::load(path(u"missing.lex.gz"_s), u"de"_s));
    EXPECT_FALSE(LexiconPack::load(m_dir.path(), u"de"_s));
    // A file over the largest a pack may be is not read at all, whatever it holds.
    QFile large(path(u"large.lex.gz"_s));
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.write(m_text) == m_text.size());
    ASSERT_TRUE(large.resize(LexiconPack::maxFileSize + 1));
    large.close();
    EXPECT_FALSE(LexiconPack::load(large.fileName(), u"de"_s));
    ASSERT_TRUE(QFile::resize(large.fileName(), LexiconPack::maxFileSize));
    EXPECT_TRUE(LexiconPack::load(large.fileName(), u"de"_s));

    // Whatever the inflater refuses is no pack either.
    const QByteArray gzip = test::gzip(m_text);
    ASSERT_TRUE(loadBytes(gzip));
    QByteArray damaged = gzip;
    flip(damaged, gzip.size() - 8);
    EXPECT_FALSE(loadBytes(damaged));
    EXPECT_FALSE(loadBytes(gzip.first(30)));
}

TEST_F(LexiconPackTest, HeaderLinesEmptyLinesAndAnUnfinishedLastLineAreNotIndexed) {
    const QByteArray text = "#header\n\nwa\t1\n#wb\t2\n\n\nwc\t3\n#x\nwd\t4\nwe\t5";
    const auto pack = loadBytes(test::gzip(text));
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->lineCount(), 3);
    EXPECT_EQ(raw(*pack, u"wa"_s), "1"_ba);
    EXPECT_EQ(raw(*pack, u"wc"_s), "3"_ba);
    EXPECT_EQ(raw(*pack, u"wd"_s), "4"_ba);
    EXPECT_EQ(raw(*pack, u"we"_s), "<none>"_ba);
    EXPECT_EQ(raw(*pack, u"#wb"_s), "<none>"_ba);
    EXPECT_EQ(raw(*pack, u""_s), "<none>"_ba);
    EXPECT_EQ(raw(*pack, u"w"_s), "<none>"_ba);
}

TEST_F(LexiconPackTest, LinesWithoutATabHaveNoValueAndValuesStopAtTheirLine) {
    const auto pack = loadBytes("#\nwa\t\nwfoo\nwfop\tnext\nwz\tlast\n");
    ASSERT_TRUE(pack);
    EXPECT_EQ(raw(*pack, u"wfoo"_s), "<none>"_ba);
    EXPECT_EQ(raw(*pack, u"wfop"_s), "next"_ba);
    EXPECT_EQ(raw(*pack, u"wa"_s), ""_ba);
    EXPECT_EQ(raw(*pack, u"wz"_s), "last"_ba);
    // The key ends at the first TAB; a second TAB belongs to the value.
    const auto tabs = loadBytes("#\nwk\ta\tb\n");
    EXPECT_EQ(raw(*tabs, u"wk"_s), "a\tb"_ba);
}

TEST_F(LexiconPackTest, KeysAreOrderedByUtf16CodeUnits) {
    // U+1D44E sorts before U+FF41 in UTF-16 (a surrogate pair starts with 0xD835), after it
    // in UTF-8 and in code points.
    const QString italic = u"wa"_s + QString::fromUcs4(U"\U0001D44E");
    const QString fullwidth = u"wa\uFF41"_s;
    const QString cjk = u"w"_s + QString::fromUcs4(U"\U00020001") + u"z"_s;
    const QByteArray utf16Order = "#\n" + italic.toUtf8() + "\titalic\n" + fullwidth.toUtf8() +
                                  "\tfullwidth\n" + cjk.toUtf8() + "\tcjk\n";
    const auto pack = loadBytes(utf16Order);
    ASSERT_TRUE(pack);
    EXPECT_EQ(raw(*pack, italic), "italic"_ba);
    EXPECT_EQ(raw(*pack, fullwidth), "fullwidth"_ba);
    EXPECT_EQ(raw(*pack, cjk), "cjk"_ba);
    EXPECT_EQ(raw(*pack, u"wa"_s), "<none>"_ba);

    const QByteArray byteOrder =
        "#\n" + fullwidth.toUtf8() + "\tfullwidth\n" + italic.toUtf8() + "\titalic\n";
    const auto misordered = loadBytes(byteOrder);
    ASSERT_TRUE(misordered);
    EXPECT_EQ(raw(*misordered, italic), "<none>"_ba);
}

TEST_F(LexiconPackTest, InvalidUtf8InKeysReadsAsReplacementCharacters) {
    // One U+FFFD for each maximal ill-formed part: "\xe2\x82" (a cut sequence) and "\xff".
    const auto pack = loadBytes("#\nwa\xe2\x82z\tcut\nwb\xff\tbad\n");
    ASSERT_TRUE(pack);
    EXPECT_EQ(raw(*pack, u"wa\uFFFDz"_s), "cut"_ba);
    EXPECT_EQ(raw(*pack, u"wb\uFFFD"_s), "bad"_ba);
    EXPECT_EQ(raw(*pack, u"wa\uFFFD\uFFFDz"_s), "<none>"_ba);
}

TEST_F(LexiconPackTest, ValidatorTakesAnyChunkingAndKeepsNoText) {
    const QByteArray file = test::gzip(m_text) + test::gzip("wz\t9\n");
    for (const qsizetype step : {1, 3, 7, 64, 100000}) {
        LexiconPack::Validator validator;
        bool ok = true;
        for (qsizetype at = 0; at < file.size(); at += step)
            ok = validator.add(QByteArrayView(file).sliced(at, std::min(step, file.size() - at))) &&
                 ok;
        EXPECT_TRUE(ok && validator.finish()) << step;
    }

    LexiconPack::Validator truncated;
    truncated.add(QByteArrayView(file).first(file.size() - 3));
    EXPECT_FALSE(truncated.finish());
    LexiconPack::Validator empty;
    EXPECT_FALSE(empty.finish());
    LexiconPack::Validator html;
    html.add("<html>not found</html>");
    EXPECT_FALSE(html.finish());
    LexiconPack::Validator plain;
    EXPECT_TRUE(plain.add("# plain\nwa\t1\n") && plain.finish());
    // gzip ignores what follows the last member; a pack has nothing there.
    for (const QByteArray& after : {QByteArray(64, '\0'), QByteArray("\x1f"), QByteArray("junk")}) {
        LexiconPack::Validator trailing;
        trailing.add(QByteArray(file + after));
        EXPECT_FALSE(trailing.finish()) << after.toHex().toStdString();
    }

    // The text's limit, for plain text and gzip alike.
    const QByteArray text = "#" + QByteArray(4999, 'x');
    for (const QByteArray& data : {text, test::gzip(text)}) {
        LexiconPack::Validator fits(5000);
        EXPECT_TRUE(fits.add(data) && fits.finish());
        LexiconPack::Validator over(4999);
        over.add(data);
        EXPECT_FALSE(over.finish());
    }

    ASSERT_TRUE(test::writeFile(path(u"v.lex.gz"_s), file));
    EXPECT_TRUE(LexiconPack::validate(path(u"v.lex.gz"_s)));
    EXPECT_FALSE(LexiconPack::validate(path(u"missing"_s)));
}

TEST_F(LexiconPackTest, WordRecordsAreDecodedStrictly) {
    const auto pack = loadBytes(test::packText({
        {u"wfull"_s, uR"({"e":[["noun","","",[]],[1,2]],"lm":["a"],"s":["1","2"],"zz":5})"_s},
        {u"wnulls"_s, uR"({"e":null,"lm":null,"s":null})"_s},
        {u"wemptye"_s, uR"({"e":[]})"_s},
        {u"wbad-e"_s, uR"({"e":"noun"})"_s},
        {u"wbad-entry"_s, uR"({"e":[["noun"],{"pos":"noun"}]})"_s},
        {u"wbad-lm"_s, uR"({"lm":["a",1]})"_s},
        {u"wbad-s"_s, uR"({"s":"1"})"_s},
        {u"warray"_s, uR"([1,2])"_s},
        {u"wbroken"_s, uR"({"e":[)"_s},
        {u"wtrailing"_s, uR"({} x)"_s},
    }));
    ASSERT_TRUE(pack);

    const auto full = pack->word(u"full"_s);
    ASSERT_TRUE(full);
    ASSERT_TRUE(full->e);
    EXPECT_EQ(full->e->size(), 2);
    EXPECT_EQ(full->e->at(1), (QJsonArray{1, 2}));
    EXPECT_EQ(full->lm, QStringList{u"a"_s});
    EXPECT_EQ(full->s, (QStringList{u"1"_s, u"2"_s}));

    const auto nulls = pack->word(u"nulls"_s);
    ASSERT_TRUE(nulls);
    EXPECT_FALSE(nulls->e || nulls->lm || nulls->s);
    const auto emptyE = pack->word(u"emptye"_s);
    ASSERT_TRUE(emptyE && emptyE->e);
    EXPECT_TRUE(emptyE->e->isEmpty());

    for (const QString& bad : {u"bad-e"_s, u"bad-entry"_s, u"bad-lm"_s, u"bad-s"_s, u"array"_s,
                               u"broken"_s, u"trailing"_s, u"missing"_s})
        EXPECT_FALSE(pack->word(bad)) << bad.toStdString();
}

TEST_F(LexiconPackTest, SenseAndEnglishSenseLinesSkipWhatIsMalformed) {
    const auto pack = loadBytes(test::packText({
        {u"s1"_s, uR"(["run","verb","to move fast",[["laufen"],["rennen","ren"],[],"x"]])"_s},
        {u"s2"_s, uR"(["three","elements","only"])"_s},
        {u"s3"_s, uR"([1,null,"gloss","not terms"])"_s},
        {u"s4"_s, uR"(["a","b","c",[[null,"x"],[1,"y",true,"z"]]])"_s},
        {u"s5"_s, uR"({"en":"object"})"_s},
        {u"xrun"_s, uR"(["1","4"])"_s},
        {u"xbad"_s, uR"(["1",2])"_s},
        {u"xobject"_s, uR"({"a":"1"})"_s},
    }));
    ASSERT_TRUE(pack);

    const auto run = pack->sense(u"1"_s);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->en, u"run"_s);
    EXPECT_EQ(run->pos, u"verb"_s);
    EXPECT_EQ(run->gloss, u"to move fast"_s);
    EXPECT_EQ(run->terms, (QList<QStringList>{{u"laufen"_s}, {u"rennen"_s, u"ren"_s}, {}}));

    EXPECT_FALSE(pack->sense(u"2"_s));
    const auto loose = pack->sense(u"3"_s);
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->en, QString());
    EXPECT_EQ(loose->pos, QString());
    EXPECT_TRUE(loose->terms.isEmpty());
    EXPECT_EQ(pack->sense(u"4"_s)->terms, (QList<QStringList>{{u"x"_s}, {u"y"_s, u"z"_s}}));
    EXPECT_FALSE(pack->sense(u"5"_s));
    EXPECT_FALSE(pack->sense(u"9"_s));

    EXPECT_EQ(pack->englishSenses(u"run"_s), (QStringList{u"1"_s, u"4"_s}));
    EXPECT_TRUE(pack->englishSenses(u"bad"_s).isEmpty());
    EXPECT_TRUE(pack->englishSenses(u"object"_s).isEmpty());
    EXPECT_TRUE(pack->englishSenses(u"missing"_s).isEmpty());
}

TEST_F(LexiconPackTest, GeneratedPacksFindEveryKeyWhateverTheirContainer) {
    const QString plainPath = path(u"zh.txt"_s);
    const QString gzipPath = path(u"zh.lex.gz"_s);
    const QString membersPath = path(u"zh-members.lex.gz"_s);
    const QStringList common{u"--lang"_s, u"zh"_s, u"--lines"_s, u"4000"_s, u"--seed"_s, u"7"_s};
    ASSERT_TRUE(test::generatePack(common + QStringList{u"--plain"_s, plainPath}));
    ASSERT_TRUE(test::generatePack(common + QStringList{gzipPath}));
    ASSERT_TRUE(test::generatePack(common + QStringList{u"--members"_s, u"3"_s, membersPath}));

    const QByteArray text = test::readFile(plainPath);
    ASSERT_TRUE(text.startsWith('#'));
    for (const Inflater inflater : {Inflater::Fastest, Inflater::Streaming}) {
        EXPECT_EQ(inflated(test::readFile(gzipPath), inflater), text);
        EXPECT_EQ(inflated(test::readFile(membersPath), inflater), text);
    }

    // The same seed makes the same pack.
    ASSERT_TRUE(test::generatePack(common + QStringList{u"--plain"_s, path(u"again.txt"_s)}));
    EXPECT_EQ(test::readFile(path(u"again.txt"_s)), text);

    const auto pack = LexiconPack::load(membersPath, u"zh"_s);
    ASSERT_TRUE(pack);
    int keys = 0;
    int beyondBmp = 0;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype tab = line.indexOf('\t');
        const QString key = QString::fromUtf8(line.first(tab));
        ++keys;
        beyondBmp += key.toUcs4().size() != key.size();
        ASSERT_EQ(pack->raw(key), line.sliced(tab + 1)) << key.toStdString();
    }
    EXPECT_EQ(keys, 4000);
    EXPECT_EQ(pack->lineCount(), 4000);
    EXPECT_GT(beyondBmp, 10);
}

TEST_F(LexiconPackTest, OnePackServesManyThreadsAtOnce) {
    ASSERT_TRUE(test::generatePack(
        {u"--lang"_s, u"de"_s, u"--lines"_s, u"3000"_s, u"--plain"_s, path(u"de.txt"_s)}));
    const QByteArray text = test::readFile(path(u"de.txt"_s));
    const auto pack = LexiconPack::load(path(u"de.txt"_s), u"de"_s);
    ASSERT_TRUE(pack);
    QList<std::pair<QString, QByteArray>> lines;
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            lines.append({QString::fromUtf8(line.first(line.indexOf('\t'))),
                          line.sliced(line.indexOf('\t') + 1)});
    }
    QThreadPool pool;
    pool.setMaxThreadCount(4);
    const QList<int> shards{0, 1, 2, 3};
    const QList<int> misses = QtConcurrent::blockingMapped(&pool, shards, [&](int shard) {
        int missed = 0;
        for (qsizetype i = shard; i < lines.size(); i += 4)
            missed += pack->raw(lines[i].first) != lines[i].second;
        return missed;
    });
    EXPECT_EQ(misses, (QList<int>{0, 0, 0, 0}));
}
