#include "support/PackFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace tivela::test {

bool generatePack(const QStringList& args) {
    QProcess process;
    process.setProgram(QString::fromLocal8Bit(qgetenv("TIVELA_PACKGEN")));
    process.setArguments(args);
    process.start();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

const QByteArray& smallGermanPack() {
    static const QByteArray bytes = [] {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pack.lex.gz"));
        return generatePack({QStringLiteral("--lang"), QStringLiteral("de"),
                             QStringLiteral("--lines"), QStringLiteral("300"), path})
                   ? readFile(path)
                   : QByteArray();
    }();
    return bytes;
}

QByteArray gzip(const QByteArray& bytes) {
    QProcess process;
    process.start(QStringLiteral("gzip"), {QStringLiteral("-c"), QStringLiteral("-n")});
    process.write(bytes);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return process.readAllStandardOutput();
}

QByteArray packText(const std::map<QString, QString>& lines) {
    QByteArray text = "# test pack\n";
    for (const auto& [key, value] : lines)
        text += key.toUtf8() + '\t' + value.toUtf8() + '\n';
    return text;
}

std::map<QString, QByteArray> checkPacks() {
    using namespace Qt::StringLiterals;
    // Sense ids name one English sense in every pack.
    return {
        {u"en"_s,
         gzip(packText({
             {u"wdog"_s, uR"({"e":[["noun","dɒɡ","",[["a domestic animal",[],[]]]]]})"_s},
             {u"whouse"_s,
              uR"({"e":[["noun","haʊs","",[["a building for people to live in",[],[]]]]]})"_s},
             {u"wmountain"_s,
              uR"({"e":[["noun","ˈmaʊntɪn","",[["a large natural elevation of the earth",[],[]],["a great heap",[],[]]]]]})"_s},
             {u"wran"_s, uR"({"lm":["run"]})"_s},
             {u"wrun"_s, uR"({"e":[["verb","ɹʌn","",[["to move swiftly on foot",[],[]]]]]})"_s},
         }))},
        {u"ru"_s, gzip(packText({
                      {u"s1"_s, uR"(["run","verb","to move swiftly on foot",[["бежать"]]])"_s},
                      {u"s2"_s, uR"(["dog","noun","a domestic animal",[["собака"]]])"_s},
                      {u"s3"_s, uR"(["house","noun","a building",[["дом"]]])"_s},
                      {u"wсобака"_s, uR"({"e":[["noun","","",[["dog",[],[]]]]],"s":["2"]})"_s},
                      {u"wсобаки"_s, uR"({"lm":["собака"]})"_s},
                      {u"xdog"_s, uR"(["2"])"_s},
                      {u"xhouse"_s, uR"(["3"])"_s},
                      {u"xrun"_s, uR"(["1"])"_s},
                  }))},
        {u"es"_s, gzip(packText({
                      {u"s1"_s, uR"(["run","verb","to move swiftly on foot",[["correr"]]])"_s},
                      {u"s2"_s, uR"(["dog","noun","a domestic animal",[["perro"]]])"_s},
                      {u"s4"_s, uR"(["mountain","noun","a large elevation",[["montaña"]]])"_s},
                      {u"wperro"_s, uR"({"e":[["noun","ˈpero","",[["dog",[],[]]]]],"s":["2"]})"_s},
                      {u"wperros"_s, uR"({"lm":["perro"]})"_s},
                      {u"xdog"_s, uR"(["2"])"_s},
                      {u"xmountain"_s, uR"(["4"])"_s},
                      {u"xrun"_s, uR"(["1"])"_s},
                  }))},
        {u"de"_s, gzip(packText({
                      {u"whund"_s, uR"({"e":[["noun","hʊnt","",[["dog",[],[]]]]],"s":["2"]})"_s},
                  }))},
    };
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 deadPid() {
    return readFile(QStringLiteral("/proc/sys/kernel/pid_max")).trimmed().toLongLong() + 1;
}

void ageFile(const QString& path, int seconds) {
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

} // namespace tivela::test
