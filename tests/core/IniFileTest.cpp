#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

using namespace tivela;
using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QVariant variant(const IniFile::Value& value) {
    if (const auto* bytes = std::get_if<QByteArray>(&value))
        return *bytes;
    return std::get<QString>(value);
}

std::string shown(const IniFile::Value& value) {
    return variant(value).toString().toStdString();
}

QByteArray everyByte() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes += char(i);
    return bytes;
}

} // namespace

// Files QSettings wrote read the same here, and what is written here reads the same in
// QSettings: both programs, and earlier releases, share the file.
TEST(IniFileTest, ValuesRoundTripWithQSettings) {
    const QList<IniFile::Value> values{
        u"Ctrl+Alt+T"_s,
        QString(),
        u" blanks at both ends "_s,
        u"a, list; of=separators"_s,
        u"\"quoted\" and \\ back"_s,
        u"@at"_s,
        u"@@two"_s,
        u"@ByteArray(text)"_s,
        u"@Variant(text)"_s,
        u"tab\tline\nreturn\r"_s,
        QString(QChar(0)) + u"1f"_s + QChar(7) + u"a\x7f"_s,
        u"é漢字😀"_s,
        QByteArray(R"({"mine":"zh-TW","second":"en"})"),
        QByteArray(),
        everyByte(),
    };
    QTemporaryDir folder;
    const QString path = folder.filePath(u"shared.conf"_s);
    for (const IniFile::Value& value : values) {
        QFile::remove(path);
        {
            QSettings settings(path, QSettings::IniFormat);
            settings.setValue(u"other"_s, 1);
            settings.setValue(u"key"_s, variant(value));
        }
        const auto read = IniFile::read(readAll(path), 4096);
        ASSERT_TRUE(read.contains(u"key"_s)) << shown(value);
        EXPECT_EQ(read.value(u"key"_s), value) << shown(value);

        writeAll(path, IniFile::withValue(readAll(path), u"key"_s, u"replaced"_s));
        writeAll(path, IniFile::withValue(readAll(path), u"key"_s, value));
        const QSettings settings(path, QSettings::IniFormat);
        EXPECT_EQ(settings.value(u"key"_s), variant(value)) << readAll(path).toStdString();
        EXPECT_EQ(settings.value(u"other"_s), u"1"_s);
        EXPECT_EQ(settings.allKeys().size(), 2) << readAll(path).toStdString();
    }
}

// Only plain text and bytes are read: a typed value would have QSettings build whatever it
// names, a list of 2^31-1 strings here.
TEST(IniFileTest, TypedListedLongAndNestedValuesAreLeftOut) {
    const QByteArray content = "shortcutDisplay=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n"
                               "when=@DateTime(\\0\\0\\0\\x10\\0)\n"
                               "rect=@Rect(1 2 3 4)\n"
                               "invalid=@Invalid()\n"
                               "list=one, two\n"
                               "long=" +
                               QByteArray(101, 'x') +
                               "\n"
                               "repeated=first\n"
                               "[General]\n"
                               "repeated=last\n"
                               "g%20h=escaped key\n"
                               "  spaced  =  \"  kept  \"  \n"
                               "; comment=no\n"
                               "[%General]\n"
                               "nested=group\n"
                               "[other]\n"
                               "pair=elsewhere\n";
    const auto values = IniFile::read(content, 100);
    EXPECT_EQ(values, (QHash<QString, IniFile::Value>{{u"repeated"_s, u"last"_s},
                                                      {u"spaced"_s, u"  kept  "_s}}));
}

// A write touches its own line only: other sections, unknown keys and comments stay.
TEST(IniFileTest, AWriteReplacesItsKeyAndKeepsTheRest) {
    EXPECT_EQ(IniFile::withValue({}, u"pair"_s, QByteArray("{}")),
              "[General]\npair=@ByteArray({})\n");
    EXPECT_EQ(IniFile::withValue("[other]\nx=1\n", u"a"_s, u"b"_s),
              "[General]\na=b\n\n[other]\nx=1\n");
    EXPECT_EQ(IniFile::withValue("a=0\n; note\n[General]\na=1\nc=2\n[x]\na=3\n", u"a"_s, u"new"_s),
              "; note\n[General]\na=new\nc=2\n[x]\na=3\n");
}
