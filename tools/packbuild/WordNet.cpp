#include "WordNet.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::packbuild {

namespace {

const QStringList& fileParts() {
    static const QStringList parts{u"noun"_s, u"verb"_s, u"adj"_s, u"adv"_s};
    return parts;
}

bool readLines(const QString& path, QList<QByteArray>* lines, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = u"cannot read "_s + path;
        return false;
    }
    *lines = file.readAll().split('\n');
    return true;
}

QString spaced(const QByteArray& word) {
    return QString::fromUtf8(word).replace(u'_', u' ');
}

} // namespace

QChar WordNet::letter(const QString& pos) {
    static const QHash<QString, QChar> letters{
        {u"noun"_s, u'n'}, {u"verb"_s, u'v'}, {u"adj"_s, u'a'},  {u"adv"_s, u'r'},
        {u"prep"_s, u'p'}, {u"pron"_s, u'o'}, {u"conj"_s, u'c'}, {u"det"_s, u'd'},
        {u"num"_s, u'u'},  {u"intj"_s, u'i'}, {u"name"_s, u'm'}, {u"phrase"_s, u'h'}};
    return letters.value(pos, u'x');
}

bool WordNet::readSynsets(const QString& folder, QHash<QString, qsizetype>& byOffset,
                          QString* error) {
    static const QRegularExpression quoted(u"\"([^\"]*)\""_s);
    static const QRegularExpression marker(u"\\([a-z]+\\)$"_s);
    for (const QString& part : fileParts()) {
        QList<QByteArray> lines;
        if (!readLines(folder + u"/data."_s + part, &lines, error))
            return false;
        for (const QByteArray& line : lines) {
            // "  12 text": the numbered lines of the licence.
            if (line.startsWith(' ') && part == "noun"_L1)
                m_licence << QString::fromUtf8(line).trimmed().section(u' ', 1).trimmed();
            if (line.isEmpty() || line.startsWith(' '))
                continue;
            const qsizetype bar = line.indexOf(" | ");
            const QList<QByteArray> fields = line.left(bar < 0 ? line.size() : bar).split(' ');
            bool ok = false;
            const int count = fields.value(3).toInt(&ok, 16);
            if (fields.size() < 4 + 2 * count || !ok) {
                *error = u"malformed synset in data."_s + part;
                return false;
            }
            Synset synset{part, {}, {}, {}};
            for (int w = 0; w < count; ++w)
                synset.words << spaced(fields[4 + 2 * w]).remove(marker);
            const QString gloss = bar < 0 ? QString() : QString::fromUtf8(line.mid(bar + 3));
            qsizetype examplesStart = gloss.indexOf(u"; \""_s);
            if (examplesStart < 0 && gloss.startsWith(u'"'))
                examplesStart = 0;
            synset.definition =
                gloss.left(examplesStart < 0 ? gloss.size() : examplesStart).trimmed();
            if (examplesStart >= 0) {
                for (const auto& match : quoted.globalMatch(gloss.mid(examplesStart)))
                    synset.examples << match.captured(1).trimmed();
            }
            byOffset.insert(part + QString::fromLatin1(fields[0]), m_synsets.size());
            m_synsets.append(synset);
        }
    }
    return true;
}

bool WordNet::readIndex(const QString& folder, const QString& part,
                        const QHash<QString, qsizetype>& byOffset, QString* error) {
    QList<QByteArray> lines;
    if (!readLines(folder + u"/index."_s + part, &lines, error))
        return false;
    for (const QByteArray& line : lines) {
        if (line.isEmpty() || line.startsWith(' '))
            continue;
        const QList<QByteArray> fields = line.trimmed().split(' ');
        const int synsets = fields.value(2).toInt();
        const int pointers = fields.value(3).toInt();
        const qsizetype first = 4 + pointers + 2;
        if (fields.size() < first + synsets) {
            *error = u"malformed lemma in index."_s + part;
            return false;
        }
        QList<Sense>& senses = m_senses[spaced(fields[0])][part];
        for (int s = 0; s < synsets; ++s) {
            const auto found = byOffset.constFind(part + QString::fromLatin1(fields[first + s]));
            if (found == byOffset.constEnd()) {
                *error = u"index."_s + part + u" names a missing synset"_s;
                return false;
            }
            senses.append({*found, s + 1, 0});
        }
    }
    QList<QByteArray> exceptions;
    if (!readLines(folder + u"/"_s + part + u".exc"_s, &exceptions, error))
        return false;
    for (const QByteArray& line : exceptions) {
        const QList<QByteArray> fields = line.trimmed().split(' ');
        for (qsizetype i = 1; i < fields.size(); ++i) {
            QStringList& bases = m_exceptions[spaced(fields[0])];
            if (!bases.contains(spaced(fields[i])))
                bases << spaced(fields[i]);
        }
    }
    return true;
}

// "lemma%1:06:00:: 1 157": the first noun sense of lemma was tagged 157 times. A missing list
// only loses the ordering by frequency.
void WordNet::readCounts(const QString& folder) {
    QFile counts(folder + u"/cntlist.rev"_s);
    if (!counts.open(QIODevice::ReadOnly))
        return;
    static const QString parts[] = {{}, u"noun"_s, u"verb"_s, u"adj"_s, u"adv"_s, u"adj"_s};
    for (const QByteArray& line : counts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype percent = fields.value(0).indexOf('%');
        if (fields.size() < 3 || percent < 0)
            continue;
        const int type = fields[0].mid(percent + 1, 1).toInt();
        if (type < 1 || type > 5)
            continue;
        auto lemma = m_senses.find(spaced(fields[0].left(percent)));
        if (lemma == m_senses.end())
            continue;
        auto senses = lemma->find(parts[type]);
        const int number = fields[1].toInt();
        if (senses != lemma->end() && number >= 1 && number <= senses->size())
            (*senses)[number - 1].count = fields[2].toInt();
    }
}

bool WordNet::load(const QString& folder, QString* error) {
    QHash<QString, qsizetype> byOffset;
    if (!readSynsets(folder, byOffset, error))
        return false;
    for (const QString& part : fileParts()) {
        if (!readIndex(folder, part, byOffset, error))
            return false;
    }
    readCounts(folder);
    return true;
}

QStringList WordNet::lemmas() const {
    QStringList lemmas = m_senses.keys();
    std::sort(lemmas.begin(), lemmas.end());
    return lemmas;
}

QList<WordNet::Sense> WordNet::senses(const QString& lemma, const QString& pos) const {
    return m_senses.value(lemma).value(pos);
}

QList<QList<WordNet::Sense>> WordNet::senses(const QString& lemma) const {
    const auto byPos = m_senses.value(lemma);
    QList<QList<Sense>> lists;
    for (const QString& part : fileParts()) {
        if (byPos.contains(part))
            lists << byPos.value(part);
    }
    const auto total = [](const QList<Sense>& list) {
        int sum = 0;
        for (const Sense& sense : list)
            sum += sense.count;
        return sum;
    };
    std::stable_sort(lists.begin(), lists.end(),
                     [&](const auto& a, const auto& b) { return total(a) > total(b); });
    return lists;
}

int WordNet::count(const QString& lemma) const {
    int sum = 0;
    for (const auto& list : m_senses.value(lemma))
        for (const Sense& sense : list)
            sum += sense.count;
    return sum;
}

} // namespace tivela::packbuild
