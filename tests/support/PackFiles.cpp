#include "support/PackFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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

} // namespace tivela::test
