#include "PackWriter.h"

#include "Terms.h"

#include "core/Gzip.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/LexiconPack.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::packbuild::PackWriter {

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) >= 0 &&
           file.flush();
}

bool rename(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Whether the application's reader finds every key line of the text in the file.
bool readable(const QString& path, const QString& lang, const QByteArray& content,
              qsizetype lineCount) {
    const auto pack = LexiconPack::load(path, lang);
    bool found = pack && pack->lineCount() == lineCount;
    for (qsizetype start = 0; found && start < content.size();) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        const QByteArrayView line(content.constData() + start, end - start);
        start = end + 1;
        const qsizetype tab = line.indexOf('\t');
        if (line.isEmpty() || line.front() == '#' || tab < 0)
            continue;
        found = pack->raw(QString::fromUtf8(line.first(tab))) == line.sliced(tab + 1).toByteArray();
    }
    return found;
}

} // namespace

QByteArray text(const QStringList& header, const Lines& lines) {
    QByteArray text = header.join(u'\n').toUtf8() + '\n';
    for (const auto& [k, value] : lines)
        text += k.toUtf8() + '\t' + value + '\n';
    return text;
}

bool write(const QString& lang, const QStringList& header, Lines& lines, const QString& folder,
           QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = u"cannot make "_s + folder;
        return false;
    }
    const qsizetype lineCount = qsizetype(lines.size());
    const QByteArray content = text(header, lines);
    lines = {};
    releaseMemory();
    const QString path = QDir(folder).filePath(Lexicon::fileName(lang));
    const QString temporary = path + u".part"_s;
    const QByteArray compressed = Gzip::compress(content);
    if (compressed.isEmpty() || !writeFile(temporary, compressed)) {
        *error = u"cannot write "_s + temporary;
        return false;
    }
    if (!readable(temporary, lang, content, lineCount)) {
        QFile::remove(temporary);
        *error = u"the reader does not find every line of "_s + path;
        return false;
    }
    if (!rename(temporary, path)) {
        QFile::remove(temporary);
        *error = u"cannot move the pack to "_s + path;
        return false;
    }
    return true;
}

bool writeIndex(const QString& folder, QString* error) {
    QJsonArray packs;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({u"*.lex.gz"_s}, QDir::Files, QDir::Name)) {
        const QString lang = name.chopped(Lexicon::fileName(QString()).size());
        QFile file(dir.filePath(name));
        if (!Languages::lexicon().contains(lang) || !file.open(QIODevice::ReadOnly))
            continue;
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        packs.append(QJsonObject{{u"lang"_s, lang},
                                 {u"file"_s, name},
                                 {u"size"_s, double(file.size())},
                                 {u"sha256"_s, QString::fromLatin1(hash.result().toHex())}});
    }
    const QString path = dir.filePath(LexiconDownloader::indexFileName);
    const QString temporary = path + u".part"_s;
    if (!writeFile(temporary, QJsonDocument(QJsonObject{{u"packs"_s, packs}}).toJson())) {
        *error = u"cannot write "_s + temporary;
        return false;
    }
    if (!rename(temporary, path)) {
        *error = u"cannot move the index to "_s + path;
        return false;
    }
    return true;
}

} // namespace tivela::packbuild::PackWriter
