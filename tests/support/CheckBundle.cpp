#include "support/CheckBundle.h"

#include "support/PackFiles.h"
#include "support/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace tivela::test {

CheckBundle::CheckBundle(const QString& root, const QString& identifier)
    : m_root(root) {
    for (const auto& [code, pack] : checkPacks()) {
        HttpServer::Response response;
        response.body = pack;
        m_server.route(u"/packs/"_s + code + u".lex.gz"_s, response);
    }
    m_valid = true;
    for (const QString& program : {u"bin/tivela"_s, u"libexec/tivela-bridge"_s}) {
        const QString copy = m_root + u'/' + program;
        QDir().mkpath(QFileInfo(copy).path());
        QFile::remove(copy);
        m_valid = QFile::copy(stageDir() + u'/' + program, copy) && m_valid;
    }
    // The tray's images, which the screenshot set writes as its glyph.
    for (const QString& icon : QDir(stageDir() + u"/share"_s).entryList({u"MenuBarIcon*.png"_s})) {
        const QString copy = m_root + u"/share/"_s + icon;
        QDir().mkpath(QFileInfo(copy).path());
        QFile::remove(copy);
        m_valid = QFile::copy(stageDir() + u"/share/"_s + icon, copy) && m_valid;
    }
    // The staged information (its Services among them), with the test's own identity.
    QJsonObject info = QJsonDocument::fromJson(readFile(stageDir() + u"/bundle.json"_s)).object();
    info.insert(u"CFBundleIdentifier"_s, identifier);
    info.insert(u"CFBundleShortVersionString"_s, u"1.2.3"_s);
    info.insert(u"CFBundleVersion"_s, u"45"_s);
    info.insert(u"TivelaLexiconURL"_s, m_server.url(u"/packs/"_s).toString());
    m_valid = writeFile(m_root + u"/bundle.json"_s, QJsonDocument(info).toJson()) && m_valid;
}

bool CheckBundle::setInfo(const QString& key, const QJsonValue& value) const {
    const QString path = m_root + u"/bundle.json"_s;
    QJsonObject info = QJsonDocument::fromJson(readFile(path)).object();
    if (value.isUndefined())
        info.remove(key);
    else
        info.insert(key, value);
    return writeFile(path, QJsonDocument(info).toJson());
}

QJsonObject CheckBundle::selfTest(const QProcessEnvironment& environment,
                                  ProcessResult* run) const {
    return check(u"--self-test"_s, environment, run, 240000);
}

QJsonObject CheckBundle::check(const QString& option, const QProcessEnvironment& environment,
                               ProcessResult* run, int timeoutMs) const {
    const QString report = m_root + u"/report.json"_s;
    QFile::remove(report);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program(), {option, report});
    *run = finish(process, timeoutMs);
    return QJsonDocument::fromJson(readFile(report)).object();
}

ProcessResult CheckBundle::render(const QString& option, const QString& folder,
                                  const QProcessEnvironment& environment) const {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program(), {option, folder});
    return finish(process, 240000);
}

QJsonObject CheckBundle::failures(const QJsonObject& report) {
    QJsonObject failed;
    for (const QJsonValue& result : report.value(u"results"_s).toArray())
        if (!result[u"ok"_s].toBool())
            failed.insert(result[u"check"_s].toString(), result[u"detail"_s]);
    return failed;
}

} // namespace tivela::test
