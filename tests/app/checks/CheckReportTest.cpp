#include "app/checks/CheckReport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(CheckReportTest, StatusCountsOnlyPassedRecordsAndKeepsRepeatedNames) {
    CheckReport report;
    EXPECT_EQ(report.status(), 0);
    report.check(u"store: phrasebook add"_s, true, u""_s);
    report.check(u"store: phrasebook add"_s, true, 1);
    EXPECT_EQ(report.status(), 0);
    report.check(u"speech: es voice"_s, false, u"none"_s);
    const QJsonObject json = report.toJson();
    EXPECT_EQ(json.value(u"passed"_s), 2);
    EXPECT_EQ(json.value(u"total"_s), 3);
    EXPECT_EQ(
        json.value(u"results"_s).toArray().at(1),
        (QJsonObject{{u"check"_s, u"store: phrasebook add"_s}, {u"detail"_s, 1}, {u"ok"_s, true}}));
    EXPECT_EQ(report.status(), 1);
}

TEST(CheckReportTest, FileHasSortedKeysAndAnUnwritableOneFailsTheRun) {
    QTemporaryDir folder;
    CheckReport report;
    report.check(u"detection: 5 languages"_s, true, QJsonArray{u"ru=ru"_s});
    const QString path = folder.filePath(u"report.json"_s);
    ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly));
    EXPECT_EQ(report.write(path, {{u"app"_s, u"1.0 (7)"_s}}), 0);

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QList<QByteArray> keys{"\"app\"",    "\"passed\"", "\"results\"", "\"check\"",
                                 "\"detail\"", "\"ok\"",     "\"total\""};
    qsizetype at = 0;
    for (const QByteArray& key : keys) {
        const qsizetype found = bytes.indexOf(key, at);
        EXPECT_GT(found, at) << key.toStdString();
        at = found;
    }
    EXPECT_TRUE(bytes.contains("\n    \"passed\": 1,\n"));

    const QString unwritable = folder.filePath(u"missing/report.json"_s);
    EXPECT_EQ(report.write(unwritable), 1);
    EXPECT_FALSE(QFile::exists(unwritable));
}
