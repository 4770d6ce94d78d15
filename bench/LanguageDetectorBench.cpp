// Language detection on real words and sentences, against CLD2 used directly on the same texts.
//
// Words are headwords of Debian's FreeDict dictionaries; sentences are the short messages of the
// base system's programs and their translations (gettext catalogs). `scripts/install-deps
// --bench` installs what the base system may lack. Each text is detected among the popular
// languages with the user's pair as hints, both ways round (English as the user's own language, and
// as the second one).
#include "core/LanguageDetector.h"
#include "core/Languages.h"
#include "platform/recognizer/Cld2Recognizer.h"

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <random>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;

constexpr int samplesPerLanguage = 1000;

QByteArray readGzip(const QString& path) {
    QByteArray data;
    gzFile file = gzopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        return data;
    char buffer[1 << 16];
    int read = 0;
    while ((read = gzread(file, buffer, sizeof buffer)) > 0)
        data.append(buffer, read);
    gzclose(file);
    return data;
}

// The same texts on every run and machine.
QStringList sample(QStringList texts) {
    texts.sort();
    texts.removeDuplicates();
    std::mt19937 random(7);
    std::shuffle(texts.begin(), texts.end(), random);
    return texts.mid(0, samplesPerLanguage);
}

qint64 base64Number(QStringView text) {
    static const QString digits =
        u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"_s;
    qint64 value = 0;
    for (const QChar c : text)
        value = value * 64 + digits.indexOf(c);
    return value;
}

bool allLetters(const QString& word) {
    const QList<uint> scalars = word.toUcs4();
    return scalars.size() >= 2 &&
           std::all_of(scalars.cbegin(), scalars.cend(), [](uint c) { return QChar::isLetter(c); });
}

// Single-word headwords of a dictd dictionary. Capitalised ones are names, except in German,
// where every noun is capitalised.
QStringList headwords(const QString& dictionary, bool keepCapitals) {
    const QString base = u"/usr/share/dictd/freedict-"_s + dictionary;
    const QByteArray body = readGzip(base + u".dict.dz"_s);
    QFile index(base + u".index"_s);
    if (body.isEmpty() || !index.open(QIODevice::ReadOnly))
        return {};
    QStringList words;
    while (!index.atEnd()) {
        const QStringList fields = QString::fromUtf8(index.readLine()).trimmed().split(u'\t');
        if (fields.size() != 3)
            continue;
        const QByteArray entry = body.mid(base64Number(fields[1]), base64Number(fields[2]));
        QString head = QString::fromUtf8(entry.left(entry.indexOf('\n')));
        static const QRegularExpression annotation(u" [/<\\[].*"_s);
        head.remove(annotation);
        if (allLetters(head) && (keepCapitals || !head.front().isUpper()))
            words << head;
    }
    return sample(words);
}

// The message catalogs of the base system's own programs, in every language Debian ships.
const char* const catalogs[] = {"coreutils", "libc",          "dpkg",      "apt",    "bash",
                                "grep",      "findutils",     "diffutils", "tar",    "sed",
                                "shadow",    "libapt-pkg6.0", "debconf",   "adduser"};

// The English messages and their translations of one gettext catalog (.mo file).
QList<std::pair<QString, QString>> messages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    const auto word = [&](qsizetype at) {
        return at + 4 <= data.size() ? qFromLittleEndian<quint32>(data.constData() + at) : 0u;
    };
    // The first text of an entry: a context before U+0004 dropped, plural forms after NUL too.
    const auto text = [&](qsizetype table, quint32 i) {
        const quint32 length = word(table + 8 * i);
        const quint32 offset = word(table + 8 * i + 4);
        if (qsizetype(offset) + length > data.size())
            return QString();
        QByteArray bytes = data.mid(offset, length);
        bytes = bytes.left(bytes.indexOf('\0') < 0 ? bytes.size() : bytes.indexOf('\0'));
        return QString::fromUtf8(bytes.mid(bytes.indexOf('\x04') + 1));
    };
    if (word(0) != 0x950412de)
        return {};
    QList<std::pair<QString, QString>> result;
    const quint32 count = word(8);
    for (quint32 i = 0; i < count; ++i)
        result.append({text(word(12), i), text(word(16), i)});
    return result;
}

// Four to twelve words of plain text: no digits, options, paths, placeholders or markup.
bool plainSentence(const QString& text) {
    static const QRegularExpression plain(u"^[¿¡]?[[:upper:]][[:alpha:]'’, ]*[[:alpha:]][.!?]?$"_s,
                                          QRegularExpression::UseUnicodePropertiesOption);
    const qsizetype words = text.count(u' ') + 1;
    return words >= 4 && words <= 12 && plain.match(text).hasMatch();
}

// Sentences in `language` and their English originals; a message left in English is not taken.
std::pair<QStringList, QStringList> sentences(const QString& language) {
    QStringList english;
    QStringList translated;
    for (const char* catalog : catalogs) {
        const QString path = u"/usr/share/locale/"_s + language + u"/LC_MESSAGES/"_s +
                             QLatin1String(catalog) + u".mo"_s;
        for (const auto& [original, translation] : messages(path)) {
            const QString source = original.simplified();
            const QString target = translation.simplified();
            if (plainSentence(source))
                english << source;
            if (plainSentence(target) && target != source)
                translated << target;
        }
    }
    return {english, translated};
}

struct Corpus {
    QHash<QString, QStringList> words;
    QHash<QString, QStringList> sentences;
};

const Corpus& corpus() {
    static const Corpus loaded = [] {
        Corpus c;
        c.words[u"en"_s] = headwords(u"eng-spa"_s, false) + headwords(u"eng-fra"_s, false);
        c.words[u"en"_s] = sample(c.words[u"en"_s]);
        c.words[u"es"_s] = headwords(u"spa-eng"_s, false);
        c.words[u"fr"_s] = headwords(u"fra-eng"_s, false);
        c.words[u"de"_s] = headwords(u"deu-eng"_s, true);
        QStringList english;
        for (const QString& language : {u"es"_s, u"fr"_s, u"de"_s}) {
            const auto [originals, translations] = sentences(language);
            english << originals;
            c.sentences[language] = sample(translations);
        }
        c.sentences[u"en"_s] = sample(english);
        return c;
    }();
    return loaded;
}

struct Case {
    QString text;
    QString language;
};

// Texts of both languages of the pair, English and `second`.
QList<Case> cases(bool words, const QString& second) {
    QList<Case> result;
    for (const QString& language : {u"en"_s, second}) {
        const QStringList& texts = (words ? corpus().words : corpus().sentences).value(language);
        for (const QString& text : texts)
            result << Case{text, language};
    }
    return result;
}

QSet<QString> popular() {
    const QStringList& codes = Languages::popularity();
    return {codes.cbegin(), codes.cend()};
}

void detection(benchmark::State& state, bool words, const QString& second) {
    const auto& texts = words ? corpus().words : corpus().sentences;
    if (texts.value(u"en"_s).size() < 100 || texts.value(second).size() < 100) {
        state.SkipWithError("corpus missing: run scripts/install-deps --bench");
        return;
    }
    const QList<Case> all = cases(words, second);
    const QSet<QString> allowed = popular();
    const QStringList englishFirst{u"en"_s, second};
    const QStringList secondFirst{second, u"en"_s};

    qsizetype next = 0;
    for (auto _ : state) {
        const Case& c = all[next++ % all.size()];
        benchmark::DoNotOptimize(LanguageDetector::detect(c.text, allowed, englishFirst));
    }

    int ours = 0;
    int oursSecondFirst = 0;
    int alone = 0;
    int aloneBestEffort = 0;
    for (const Case& c : all) {
        const auto first = LanguageDetector::detect(c.text, allowed, englishFirst);
        const auto reversed = LanguageDetector::detect(c.text, allowed, secondFirst);
        ours += first && first->code == c.language;
        oursSecondFirst += reversed && reversed->code == c.language;
        alone += Cld2Recognizer::answer(c.text, false) == c.language;
        aloneBestEffort += Cld2Recognizer::answer(c.text, true) == c.language;
    }
    // Both timed here over the same texts, so the ratio compares like with like.
    QElapsedTimer timer;
    timer.start();
    for (const Case& c : all)
        benchmark::DoNotOptimize(LanguageDetector::detect(c.text, allowed, englishFirst));
    const double oursNanoseconds = double(timer.nsecsElapsed()) / double(all.size());
    timer.restart();
    for (const Case& c : all)
        benchmark::DoNotOptimize(Cld2Recognizer::answer(c.text, false));
    const double cld2Nanoseconds = double(timer.nsecsElapsed()) / double(all.size());

    const double n = double(all.size());
    state.counters["texts"] = n;
    state.counters["ours_en_first_%"] = 100.0 * ours / n;
    state.counters["ours_en_second_%"] = 100.0 * oursSecondFirst / n;
    state.counters["cld2_%"] = 100.0 * alone / n;
    state.counters["cld2_best_effort_%"] = 100.0 * aloneBestEffort / n;
    state.counters["ours_us_per_call"] = oursNanoseconds / 1000.0;
    state.counters["cld2_us_per_call"] = cld2Nanoseconds / 1000.0;
    state.counters["time_ratio"] = oursNanoseconds / cld2Nanoseconds;
}

BENCHMARK_CAPTURE(detection, words_en_es, true, u"es"_s)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detection, words_en_fr, true, u"fr"_s)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detection, words_en_de, true, u"de"_s)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detection, sentences_en_es, false, u"es"_s)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detection, sentences_en_fr, false, u"fr"_s)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(detection, sentences_en_de, false, u"de"_s)->Unit(benchmark::kMicrosecond);

} // namespace
