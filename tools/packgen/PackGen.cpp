// tivela-packgen: writes a realistic, seeded dictionary pack for tests and benchmarks.
//
// The vocabulary is made of syllables drawn with a Zipf-like law, so the text compresses the
// way a real pack does. English packs hold word lines only; other packs also hold the English
// senses their words translate and the English-word lines pointing at them. Sense ids are the
// same in every pack made with the same seed, so lookups can bridge between two packs. Some
// keys hold characters above U+FFFF beside keys with characters from U+E000 to U+FFFF, whose
// order differs between UTF-8 and UTF-16. Keys are normalised by Lexicon::key, as the reader
// normalises what it looks up.
#include "core/Gzip.h"
#include "core/Lexicon.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

using namespace Qt::StringLiterals;
using tivela::Lexicon;

namespace {

// Shared by every pack made with one seed: how many ranks of the English vocabulary serve as
// headwords of senses.
constexpr int englishHeadwords = 20000;

class Random {
public:
    explicit Random(quint64 seed)
        : m_engine(seed) {}

    quint64 below(quint64 bound) { return bound ? m_engine() % bound : 0; }
    double unit() { return double(m_engine() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    // Low values a little more often than high ones, the first about twice the average: how
    // senses spread over headwords, where a Zipf law would give one word thousands.
    quint64 skewedBelow(quint64 bound) { return std::min(below(bound), below(bound)); }

private:
    std::mt19937_64 m_engine;
};

quint64 mix(quint64 seed, const QString& text, quint64 salt) {
    return seed * 0x9e3779b97f4a7c15ULL ^ qHash(text, 0) * 31 ^ salt * 0xbf58476d1ce4e5b9ULL;
}

// Ranks drawn with weight 1 / (rank + 1)^1.07, as word frequencies fall in text.
class Zipf {
public:
    explicit Zipf(qsizetype count) {
        m_cumulative.reserve(size_t(count));
        double sum = 0;
        for (qsizetype rank = 0; rank < count; ++rank) {
            sum += 1.0 / std::pow(double(rank + 1), 1.07);
            m_cumulative.push_back(sum);
        }
    }

    qsizetype draw(Random& random) const {
        const double target = random.unit() * m_cumulative.back();
        return std::upper_bound(m_cumulative.begin(), m_cumulative.end(), target) -
               m_cumulative.begin();
    }

private:
    std::vector<double> m_cumulative;
};

struct Syllable {
    QString text;
    QString roman;
};

struct Script {
    QList<Syllable> syllables;
    // Whether terms and entries carry a romanisation.
    bool romanised = false;
    QStringList suffixes;
};

QList<Syllable> combine(const QStringList& onsets, const QStringList& vowels,
                        const QStringList& onsetRomans = {}, const QStringList& vowelRomans = {}) {
    QList<Syllable> syllables;
    for (qsizetype o = 0; o < onsets.size(); ++o) {
        for (qsizetype v = 0; v < vowels.size(); ++v) {
            syllables.append({onsets[o] + vowels[v],
                              onsetRomans.value(o, onsets[o]) + vowelRomans.value(v, vowels[v])});
        }
    }
    return syllables;
}

QList<Syllable> block(char32_t first, char32_t last, int count, Random& random) {
    QList<Syllable> syllables;
    for (int i = 0; i < count; ++i) {
        const char32_t point = first + char32_t(random.below(last - first + 1));
        syllables.append({QString::fromUcs4(&point, 1), QString::number(point - first, 36)});
    }
    return syllables;
}

QStringList letters(const QString& text) {
    QStringList list;
    for (const QChar c : text)
        list << QString(c);
    return list;
}

Script scriptFor(const QString& lang, Random& random) {
    static const QHash<QString, QString> latinExtras{
        {u"de"_s, u"äöüß"_s},     {u"fr"_s, u"éèàçê"_s},    {u"es"_s, u"ñáéíóú"_s},
        {u"pt"_s, u"ãõçéá"_s},    {u"it"_s, u"àèìòù"_s},    {u"pl"_s, u"łążśćźęó"_s},
        {u"cs"_s, u"čřšžýáíé"_s}, {u"sk"_s, u"čšžýáíéô"_s}, {u"ro"_s, u"ăâîșț"_s},
        {u"hu"_s, u"őűáéö"_s},    {u"tr"_s, u"çğışöü"_s},   {u"vi"_s, u"ăâđêôơư"_s},
        {u"sv"_s, u"åäö"_s},      {u"da"_s, u"æøå"_s},      {u"nb"_s, u"æøå"_s},
        {u"fi"_s, u"äö"_s},       {u"ca"_s, u"çàèò"_s},     {u"nl"_s, u"ij"_s}};
    Script script;
    if (lang == "ru"_L1 || lang == "uk"_L1 || lang == "bg"_L1) {
        const QString vowels = lang == "uk"_L1 ? u"аеиоуяюєії"_s : u"аеиоуыэяюё"_s;
        script.syllables = combine(letters(u"бвгджзклмнпрстфхцчшщ"_s), letters(vowels));
        script.suffixes = {u"а"_s, u"ы"_s, u"ом"_s, u"ой"_s, u"ами"_s, u"ах"_s};
    } else if (lang == "el"_L1) {
        script.syllables = combine(letters(u"βγδζθκλμνξπρστφχ"_s), letters(u"αεηιουωάέό"_s));
        script.suffixes = {u"ς"_s, u"ν"_s, u"ες"_s};
    } else if (lang == "ar"_L1 || lang == "he"_L1) {
        const QString alphabet =
            lang == "ar"_L1 ? u"ابتثجحخدذرزسشصضطظعغفقكلمنهوي"_s : u"אבגדהוזחטיכלמנסעפצקרשת"_s;
        script.syllables = combine(letters(alphabet), letters(alphabet));
        script.romanised = lang == "ar"_L1;
        script.suffixes = letters(alphabet).first(3);
    } else if (lang == "hi"_L1 || lang == "th"_L1) {
        const bool hindi = lang == "hi"_L1;
        script.syllables = combine(
            letters(hindi ? u"कखगघचछजझटठडढतथदधनपफबभमयरलवशसह"_s : u"กขคงจชซดตทนบปพฟมยรลวสหอ"_s),
            letters(hindi ? u"ािीुूेैोौ"_s : u"ะาิีึืุูั"_s));
        script.romanised = hindi;
        script.suffixes = {hindi ? u"ों"_s : u"ๆ"_s};
    } else if (lang == "ja"_L1) {
        script.syllables = combine(letters(u"かさたなはまやらわがざだばぱ"_s), {u""_s},
                                   letters(u"kstnhmyrwgzdbp"_s));
        script.syllables += block(0x4e00, 0x9fff, 1500, random);
        script.romanised = true;
        script.suffixes = {u"た"_s, u"て"_s, u"ない"_s};
    } else if (lang == "ko"_L1) {
        script.syllables = block(0xac00, 0xd7a3, 1200, random);
        script.romanised = true;
        script.suffixes = {u"을"_s, u"는"_s, u"이"_s};
    } else if (lang == "zh"_L1) {
        script.syllables = block(0x4e00, 0x9fff, 3000, random);
        script.syllables += block(0x20000, 0x2a6df, 60, random);
        script.romanised = true;
        script.suffixes = {u"们"_s, u"的"_s, u"了"_s};
    } else {
        QString vowels = u"aeiouy"_s + latinExtras.value(lang);
        script.syllables = combine(letters(u"bcdfghklmnprstvwz"_s), letters(vowels));
        script.syllables += combine(letters(u"bcdfghklmnprstvwz"_s), letters(u"aeio"_s));
        script.syllables += combine(letters(u"aeiou"_s), letters(u"nrstl"_s));
        script.suffixes = lang == "en"_L1
                              ? QStringList{u"s"_s, u"ed"_s, u"ing"_s, u"er"_s, u"est"_s}
                              : QStringList{u"en"_s, u"er"_s, u"es"_s, u"a"_s, u"o"_s};
    }
    // Syllables are shuffled so that the common ones differ between languages.
    std::shuffle(script.syllables.begin(), script.syllables.end(),
                 std::mt19937_64(random.below(~0ULL)));
    return script;
}

struct Word {
    QString surface;
    QString key;
    QString roman;
};

// The words of one language in order of frequency, each key unique.
class Vocabulary {
public:
    Vocabulary(const QString& lang, quint64 seed, qsizetype count)
        : m_lang(lang)
        , m_random(mix(seed, lang, 1))
        , m_script(scriptFor(lang, m_random))
        , m_syllables(m_script.syllables.size()) {
        m_words.reserve(count);
        while (m_words.size() < count)
            grow();
    }

    const QList<Word>& words() const { return m_words; }
    const Script& script() const { return m_script; }

    // A surface form of a word built on another (an inflection); nothing when its key is taken.
    std::optional<Word> form(const Word& lemma, Random& random) {
        const QString suffix = m_script.suffixes[qsizetype(random.below(m_script.suffixes.size()))];
        return add({lemma.surface + suffix, {}, lemma.roman + u"-"_s});
    }

private:
    std::optional<Word> add(Word word) {
        word.key = Lexicon::key(word.surface, m_lang);
        if (word.key.isEmpty() || m_keys.contains(word.key))
            return std::nullopt;
        m_keys.insert(word.key);
        m_words.append(word);
        return word;
    }

    void grow() {
        const qsizetype rank = m_words.size();
        // Frequent words are short.
        const int length = 1 + int(m_random.below(rank < 200 ? 2 : rank < 5000 ? 3 : 4));
        Word word;
        for (int i = 0; i < length; ++i) {
            const Syllable& syllable = m_script.syllables[m_syllables.draw(m_random)];
            word.surface += syllable.text;
            word.roman += syllable.roman;
        }
        if (!add(word) || rank % 500 != 499)
            return;
        // Neighbours that sort differently by UTF-8 bytes and by UTF-16 code units: U+FF41
        // (fullwidth "a") and U+1D44E (mathematical italic "a") after the same stem.
        const char32_t fullwidth = 0xff41 + char32_t(m_random.below(26));
        const char32_t italic = 0x1d44e + char32_t(m_random.below(26));
        add({word.surface + QString::fromUcs4(&fullwidth, 1), {}, word.roman + u"q"_s});
        add({word.surface + QString::fromUcs4(&italic, 1), {}, word.roman + u"x"_s});
    }

    QString m_lang;
    Random m_random;
    Script m_script;
    Zipf m_syllables;
    QList<Word> m_words;
    QSet<QString> m_keys;
};

const QStringList& partsOfSpeech() {
    static const QStringList parts{u"noun"_s, u"verb"_s, u"adj"_s,  u"adv"_s,
                                   u"noun"_s, u"verb"_s, u"noun"_s, u"prep"_s};
    return parts;
}

const QStringList& tagNames() {
    static const QStringList tags{u"informal"_s,   u"formal"_s, u"archaic"_s,    u"slang"_s,
                                  u"figurative"_s, u"dated"_s,  u"colloquial"_s, u"rare"_s};
    return tags;
}

class Generator {
public:
    Generator(const QString& lang, quint64 seed, qsizetype lines)
        : m_lang(lang)
        , m_seed(seed)
        , m_lines(lines)
        , m_random(mix(seed, lang, 2))
        , m_english(u"en"_s, seed, std::max<qsizetype>(englishHeadwords, lines * 2 / 3))
        , m_englishZipf(englishHeadwords) {}

    QByteArray text() {
        std::map<QString, QByteArray> records;
        if (m_lang == "en"_L1)
            words(m_english, m_lines, records);
        else
            bilingual(records);

        QByteArray text = "# tivela dictionary pack lang=" + m_lang.toUtf8() +
                          " seed=" + QByteArray::number(m_seed) + "\n";
        qsizetype written = 0;
        for (const auto& [key, value] : records) {
            // Header and empty lines may stand anywhere; readers skip them.
            if (++written % 100000 == 0)
                text += "# part " + QByteArray::number(written / 100000) + "\n\n";
            text += key.toUtf8() + '\t' + value + '\n';
        }
        return text;
    }

    // Words as a reader would meet them: frequent ones more often, some capitalised, some
    // with punctuation around them, Slavic ones sometimes with a stress mark.
    QStringList sample(qsizetype count) {
        QStringList sample;
        const Zipf zipf(m_surfaces.size());
        for (qsizetype i = 0; i < count && !m_surfaces.isEmpty(); ++i) {
            QString word = m_surfaces[zipf.draw(m_random)];
            if (m_random.chance(0.2))
                word[0] = word[0].toUpper();
            if (m_random.chance(0.1))
                word += m_random.chance(0.5) ? u","_s : u"!"_s;
            sample << word;
        }
        return sample;
    }

private:
    static QByteArray json(const QJsonValue& value) {
        return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                               : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    }

    QString englishText(Random& random, int minimum, int maximum) {
        QStringList words;
        const int count = minimum + int(random.below(quint64(maximum - minimum + 1)));
        for (int i = 0; i < count; ++i)
            words << m_english.words()[m_englishZipf.draw(random)].surface;
        return words.join(u' ');
    }

    QString gloss(Random& random, const QString& pos) {
        QString gloss;
        const int pieces = 1 + int(random.below(3));
        for (int i = 0; i < pieces; ++i) {
            if (i > 0)
                gloss += random.chance(0.7) ? u", "_s : u"; "_s;
            if (pos == "verb"_L1)
                gloss += u"to "_s;
            gloss += englishText(random, 1, i == 0 ? 6 : 3);
        }
        if (random.chance(0.2))
            gloss += u" ("_s + englishText(random, 1, 3) + u')';
        return gloss;
    }

    QString nativeText(const Vocabulary& vocabulary, const Zipf& zipf, int minimum, int maximum) {
        QStringList words;
        const int count = minimum + int(m_random.below(quint64(maximum - minimum + 1)));
        for (int i = 0; i < count; ++i)
            words << vocabulary.words()[zipf.draw(m_random)].surface;
        QString text = words.join(u' ') + u'.';
        text[0] = text[0].toUpper();
        return text;
    }

    QJsonArray entries(const Vocabulary& vocabulary, const Zipf& zipf, const Word& word) {
        QJsonArray entries;
        const int count = 1 + int(m_random.below(m_random.chance(0.8) ? 1 : 3));
        for (int e = 0; e < count; ++e) {
            const QString pos = partsOfSpeech()[qsizetype(m_random.below(8))];
            QJsonArray senses;
            const int senseCount = 1 + int(m_random.below(m_random.chance(0.6) ? 3 : 8));
            for (int s = 0; s < senseCount; ++s) {
                QJsonArray examples;
                if (m_random.chance(0.55)) {
                    const QString example = nativeText(vocabulary, zipf, 4, 11);
                    examples.append(
                        m_lang == "en"_L1
                            ? QJsonArray{example}
                            : QJsonArray{example, QString(englishText(m_random, 4, 11) + u'.')});
                }
                QJsonArray tags;
                if (m_random.chance(0.25))
                    tags.append(tagNames()[qsizetype(m_random.below(8))]);
                senses.append(QJsonArray{gloss(m_random, pos), examples, tags});
            }
            const QString ipa = m_lang == "en"_L1 || m_random.chance(0.3)
                                    ? u"/"_s + word.roman + u"/"_s
                                    : QString();
            const QString roman = vocabulary.script().romanised ? word.roman : QString();
            entries.append(QJsonArray{pos, ipa, roman, senses});
        }
        return entries;
    }

    // Word lines: frequent lemmas with entries, and forms pointing at their lemmas.
    void words(Vocabulary& vocabulary, qsizetype count, std::map<QString, QByteArray>& records,
               const QHash<QString, QStringList>& senseIds = {}) {
        const Zipf zipf(std::min<qsizetype>(vocabulary.words().size(), 50000));
        const qsizetype lemmas = std::max<qsizetype>(1, count * 62 / 100);
        for (qsizetype i = 0; i < lemmas && i < vocabulary.words().size(); ++i) {
            const Word word = vocabulary.words()[i];
            QJsonObject record{{u"e"_s, entries(vocabulary, zipf, word)}};
            if (senseIds.contains(word.key))
                record.insert(u"s"_s, QJsonArray::fromStringList(senseIds.value(word.key)));
            records.emplace(u"w"_s + word.key, json(record));
            m_surfaces << word.surface;
        }
        // A small vocabulary may run out of free forms; the pack is then a little shorter.
        qsizetype attempts = 0;
        while (qsizetype(records.size()) < count + qsizetype(m_senseLines) &&
               ++attempts < 100 * count) {
            const Word lemma = vocabulary.words()[zipf.draw(m_random) % lemmas];
            const auto form = vocabulary.form(lemma, m_random);
            if (!form)
                continue;
            QJsonObject record{{u"lm"_s, QJsonArray{lemma.key}}};
            if (senseIds.contains(lemma.key) && m_random.chance(0.1))
                record.insert(u"s"_s, QJsonArray::fromStringList(senseIds.value(lemma.key)));
            records.emplace(u"w"_s + form->key, json(record));
            m_surfaces << form->surface;
        }
    }

    // Senses shared by every pack of the seed, the English-word lines pointing at them, and
    // the words of this pack that translate them.
    void bilingual(std::map<QString, QByteArray>& records) {
        Vocabulary vocabulary(m_lang, m_seed, std::max<qsizetype>(m_lines, 100));
        const qsizetype senses = std::max<qsizetype>(1, m_lines * 35 / 100);
        // Terms are words that get entries of their own (the frequent part of the lemmas).
        const quint64 termWords = quint64(std::max<qsizetype>(1, m_lines * 30 / 100));
        QHash<QString, QStringList> senseIds;
        std::map<QString, QStringList> english;
        for (qsizetype id = 0; id < senses; ++id) {
            // The English side of a sense depends on the seed and the id only. Early ids go to
            // frequent headwords, so a small pack still translates the common words.
            Random shared(mix(m_seed, u"sense"_s, quint64(id)));
            const quint64 headwords = std::min<quint64>(englishHeadwords, quint64(id) / 2 + 50);
            const Word& headword = m_english.words()[qsizetype(shared.skewedBelow(headwords))];
            const QString pos = partsOfSpeech()[qsizetype(shared.below(8))];
            const QString senseGloss = gloss(shared, pos);

            QJsonArray terms;
            QSet<QString> seen;
            const int count = 1 + int(m_random.below(4));
            for (int t = 0; t < count; ++t) {
                const Word& term = vocabulary.words()[qsizetype(m_random.skewedBelow(termWords))];
                if (seen.contains(term.key))
                    continue;
                seen.insert(term.key);
                terms.append(vocabulary.script().romanised ? QJsonArray{term.surface, term.roman}
                                                           : QJsonArray{term.surface});
                senseIds[term.key] << QString::number(id);
            }
            records.emplace(u"s"_s + QString::number(id),
                            json(QJsonArray{headword.surface, pos, senseGloss, terms}));
            english[headword.key] << QString::number(id);
        }
        for (const auto& [key, ids] : english)
            records.emplace(u"x"_s + key, json(QJsonArray::fromStringList(ids)));
        m_senseLines = records.size();
        words(vocabulary, std::max<qsizetype>(1, m_lines - qsizetype(records.size())), records,
              senseIds);
    }

    QString m_lang;
    quint64 m_seed;
    qsizetype m_lines;
    Random m_random;
    Vocabulary m_english;
    Zipf m_englishZipf;
    size_t m_senseLines = 0;
    QStringList m_surfaces;
};

QByteArray gzip(const QByteArray& text, int members) {
    QByteArray out;
    qsizetype start = 0;
    for (int m = 0; m < members; ++m) {
        qsizetype stop = text.size();
        if (m + 1 < members) {
            stop = text.indexOf('\n', text.size() * (m + 1) / members);
            stop = stop < 0 ? text.size() : stop + 1;
        }
        const qsizetype length = std::max<qsizetype>(0, stop - start);
        out += tivela::Gzip::compress(QByteArrayView(text).sliced(start, length), 6);
        start = std::max(start, stop);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Writes a seeded dictionary pack for tests and benchmarks."_s);
    parser.addHelpOption();
    parser.addPositionalArgument(u"output"_s, u"The pack file to write."_s);
    const QCommandLineOption lang(u"lang"_s, u"Language code of the pack."_s, u"code"_s, u"en"_s);
    const QCommandLineOption lines(u"lines"_s, u"Number of key lines."_s, u"n"_s, u"10000"_s);
    const QCommandLineOption seed(u"seed"_s, u"Seed of the vocabulary."_s, u"n"_s, u"1"_s);
    const QCommandLineOption plain(u"plain"_s, u"Write plain text instead of gzip."_s);
    const QCommandLineOption members(u"members"_s, u"Number of gzip members."_s, u"n"_s, u"1"_s);
    const QCommandLineOption sample(
        u"sample"_s, u"Also write this many words to look up, one a line."_s, u"n"_s, u"0"_s);
    const QCommandLineOption sampleFile(u"sample-file"_s, u"Where to write the words."_s,
                                        u"path"_s);
    parser.addOptions({lang, lines, seed, plain, members, sample, sampleFile});
    parser.process(app);

    QTextStream err(stderr);
    if (parser.positionalArguments().size() != 1) {
        err << "usage: tivela-packgen [options] output\n";
        return 2;
    }
    bool ok = true;
    const qsizetype lineCount = parser.value(lines).toLongLong(&ok);
    const quint64 seedValue = parser.value(seed).toULongLong(ok ? &ok : nullptr);
    const int memberCount = parser.value(members).toInt(ok ? &ok : nullptr);
    const qsizetype sampleCount = parser.value(sample).toLongLong(ok ? &ok : nullptr);
    if (!ok || lineCount < 1 || memberCount < 1 || sampleCount < 0 ||
        (sampleCount > 0 && !parser.isSet(sampleFile))) {
        err << "tivela-packgen: bad option value\n";
        return 2;
    }

    Generator generator(parser.value(lang), seedValue, lineCount);
    const QByteArray text = generator.text();
    QSaveFile output(parser.positionalArguments().first());
    if (!output.open(QIODevice::WriteOnly) ||
        output.write(parser.isSet(plain) ? text : gzip(text, memberCount)) < 0 ||
        !output.commit()) {
        err << "tivela-packgen: cannot write " << output.fileName() << '\n';
        return 1;
    }
    if (sampleCount > 0) {
        QSaveFile words(parser.value(sampleFile));
        if (!words.open(QIODevice::WriteOnly) ||
            words.write(generator.sample(sampleCount).join(u'\n').toUtf8() + '\n') < 0 ||
            !words.commit()) {
            err << "tivela-packgen: cannot write " << words.fileName() << '\n';
            return 1;
        }
    }
    return 0;
}
