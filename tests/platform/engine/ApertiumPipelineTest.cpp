#include "platform/engine/ApertiumPipeline.h"
#include "support/Processes.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

using namespace tivela;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

TEST(ApertiumPipelineTest, StageScriptsArePlainPipelinesOnly) {
    const auto parsed = ApertiumPipeline::stages(
        u"lt-proc -z $1 '/a b/x.bin' | apertium-tagger -z -g $2 \"p\\\"q $1\" |\n lt-proc -p"_s,
        {u"-n"_s, QString()});
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, (QList<QStringList>{{u"lt-proc"_s, u"-z"_s, u"-n"_s, u"/a b/x.bin"_s},
                                           {u"apertium-tagger"_s, u"-z"_s, u"-g"_s, u"p\"q -n"_s},
                                           {u"lt-proc"_s, u"-p"_s}}));
    for (const QString& script : {u"a > out"_s, u"a; b"_s, u"a | "_s, u"| a"_s, u"a $HOME"_s,
                                  u"a 'open"_s, u"a && b"_s, u"a `b`"_s, u"a\nb"_s, QString()})
        EXPECT_FALSE(ApertiumPipeline::stages(script, {})) << script.toStdString();
}

TEST(ApertiumPipelineTest, AHangingStageTimesOutAndTheWholeGroupIsGone) {
    QTemporaryDir folder;
    const QString hang = folder.filePath(u"hang"_s);
    QFile file(hang);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nexec sleep 600\n");
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    QString error;
    auto pipeline = ApertiumPipeline::start({{u"sed"_s, u"-z"_s, u"-u"_s, u""_s}, {hang}}, &error);
    ASSERT_TRUE(pipeline) << error.toStdString();
    const QList<pid_t> processes = pipeline->processes();
    ASSERT_EQ(processes.size(), 2);
    for (const pid_t pid : processes)
        EXPECT_EQ(::getpgid(pid), pipeline->processGroup());

    QElapsedTimer timer;
    timer.start();
    const auto answers =
        pipeline->exchange({"hello"}, std::chrono::steady_clock::now() + 300ms, &error);
    EXPECT_FALSE(answers);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_TRUE(error.contains(u"in time"_s)) << error.toStdString();
    EXPECT_FALSE(pipeline->alive());
    for (const pid_t pid : processes)
        EXPECT_FALSE(test::isRunning(pid)) << pid;
    EXPECT_FALSE(pipeline->exchange({"again"}, std::chrono::steady_clock::now() + 1s, &error));
}

TEST(ApertiumPipelineTest, LargeRecordsFlowBothWaysAtOnce) {
    QString error;
    auto pipeline = ApertiumPipeline::start({{u"sed"_s, u"-z"_s, u"-u"_s, u"s/a/b/g"_s}}, &error);
    ASSERT_TRUE(pipeline) << error.toStdString();
    // Far more than any pipe holds, so writing alone would stall against the unread answer.
    const QByteArray record(1024 * 1024, 'a');
    const auto answers =
        pipeline->exchange({record, "xa"}, std::chrono::steady_clock::now() + 30s, &error);
    ASSERT_TRUE(answers) << error.toStdString();
    EXPECT_EQ(answers->value(0), QByteArray(record.size(), 'b'));
    EXPECT_EQ(answers->value(1), QByteArray("xb"));
    const QList<pid_t> processes = pipeline->processes();
    pipeline.reset();
    for (const pid_t pid : processes)
        EXPECT_FALSE(test::isRunning(pid));
}
