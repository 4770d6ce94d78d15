// The dictionary packs built from Debian's data (make packs): how many of each language's
// 5,000 most frequent words get a word card, how large each pack is, how long it takes to
// load, and how often the card puts the expected translation of a common English word among
// its first three terms, both ways (bench/data/gold-translations.tsv, written by hand). The
// words it misses go to standard error.
//
// The frequency lists are counted here from running text that Debian ships: the training
// texts of dasher-data (one per language) and, for English, Spanish and German, the fortune
// cookies of fortunes, fortunes-es and fortunes-de, without the lines that name their authors.
// Words written with a capital in nine of
// ten uses are names and are left out (not in German, which capitalises every noun); French
// and Italian elisions ("l'homme") count as the word after the apostrophe.
#include "core/Lexicon.h"
#include "core/LexiconPack.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;

constexpr qsizetype frequentWords = 5000;
constexpr double loadTarget = 0.2;
constexpr double goldTarget = 95;
constexpr qsizetype firstTerms = 3;

// TIVELA_PACKS_DIR in the environment compares another build's packs with these.
QString packFolder() {
    const QString chosen = qEnvironmentVariable("TIVELA_PACKS_DIR");
    return chosen.isEmpty() ? QStringLiteral(TIVELA_PACKS_DIR) : chosen;
}

QStringList corpusFiles(const QString& lang) {
    static const QHash<QString, QString> dasher{
        {u"en"_s, u"english_GB"_s}, {u"es"_s, u"spanish_ES"_s}, {u"fr"_s, u"french_FR"_s},
        {u"de"_s, u"german_DE"_s},  {u"it"_s, u"italian_IT"_s}, {u"pt"_s, u"portuguese_BR"_s},
        {u"ru"_s, u"russian_RU"_s}, {u"nl"_s, u"dutch_NL"_s},   {u"sv"_s, u"swedish_SE"_s},
        {u"pl"_s, u"polish_PL"_s}};
    QStringList files{u"/usr/share/dasher/training_"_s + dasher.value(lang) + u".txt"_s};
    // The English cookies about computing and Debian's own people would fill the list with
    // names of programs and people.
    static const QStringList technical{u"computers"_s,   u"debian"_s,    u"linux"_s,
                                       u"linuxcookie"_s, u"perl"_s,      u"knghtbrd"_s,
                                       u"startrek"_s,    u"zippy"_s,     u"translate-me"_s,
                                       u"art"_s,         u"ascii-art"_s, u"goedel"_s};
    const QString folder =
        lang == "en"_L1 ? u"/usr/share/games/fortunes"_s : u"/usr/share/games/fortunes/"_s + lang;
    if (lang == "en"_L1 || lang == "es"_L1 || lang == "de"_L1) {
        QDirIterator it(folder, QDir::Files);
        QStringList cookies;
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            if (info.suffix() == "dat"_L1 || info.suffix() == "u8"_L1 ||
                technical.contains(info.fileName()))
                continue;
            cookies << info.filePath();
        }
        std::sort(cookies.begin(), cookies.end());
        files += cookies;
    }
    return files;
}

// The most frequent word keys of a language, or nothing when its texts are missing.
QStringList frequentList(const QString& lang) {
    static const QRegularExpression token(u"[\\p{L}\\p{M}]+(?:['’-][\\p{L}\\p{M}]+)*"_s);
    static const QStringList elided{u"l"_s,      u"d"_s,      u"j"_s,    u"m"_s,     u"n"_s,
                                    u"s"_s,      u"t"_s,      u"c"_s,    u"qu"_s,    u"jusqu"_s,
                                    u"lorsqu"_s, u"puisqu"_s, u"dell"_s, u"dall"_s,  u"nell"_s,
                                    u"sull"_s,   u"all"_s,    u"un"_s,   u"quell"_s, u"quest"_s};
    QHash<QString, int> counts;
    QHash<QString, int> capitals;
    for (const QString& path : corpusFiles(lang)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString text = QString::fromUtf8(file.readAll());
        // A cookie's author stands on a line of its own after "--".
        static const QRegularExpression author(u"^\\s*(--|—).*$"_s,
                                               QRegularExpression::MultilineOption);
        text.remove(author);
        for (const auto& match : token.globalMatch(text)) {
            QString word = match.captured();
            if (lang == "fr"_L1 || lang == "it"_L1) {
                const qsizetype apostrophe = word.indexOf(QRegularExpression(u"['’]"_s));
                if (apostrophe > 0 && elided.contains(word.left(apostrophe).toLower()))
                    word = word.mid(apostrophe + 1);
            }
            const QString k = Lexicon::key(word, lang);
            ++counts[k];
            if (word.front().isUpper())
                ++capitals[k];
        }
    }
    QStringList words;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (lang == "de"_L1 || capitals.value(it.key()) * 10 < it.value() * 9)
            words << it.key();
    }
    std::sort(words.begin(), words.end(), [&](const QString& a, const QString& b) {
        const int ca = counts.value(a);
        const int cb = counts.value(b);
        return ca != cb ? ca > cb : a < b;
    });
    return words.first(std::min(words.size(), frequentWords));
}

double target(const QString& from) {
    return from == "en"_L1 ? 95 : 90;
}

// One line of the gold table: an English word, its part of speech, and for each pack language
// the translations a person expects ("|" between equally right ones).
struct GoldRow {
    QString english;
    QString pos;
    QHash<QString, QStringList> translations;
};

const QStringList& goldLanguages() {
    static const QStringList langs{u"es"_s, u"fr"_s, u"de"_s, u"it"_s, u"pt"_s,
                                   u"ru"_s, u"nl"_s, u"sv"_s, u"pl"_s};
    return langs;
}

const QList<GoldRow>& goldTable() {
    static const QList<GoldRow> table = [] {
        QList<GoldRow> rows;
        QFile file(qEnvironmentVariable("TIVELA_SOURCE_DIR") +
                   u"/bench/data/gold-translations.tsv"_s);
        if (!file.open(QIODevice::ReadOnly))
            return rows;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            const QStringList cells = line.split(u'\t');
            if (line.startsWith(u'#') || cells.size() != 2 + goldLanguages().size())
                continue;
            GoldRow row{cells[0], cells[1], {}};
            for (qsizetype i = 0; i < goldLanguages().size(); ++i)
                row.translations.insert(goldLanguages()[i], cells[2 + i].split(u'|'));
            rows << row;
        }
        return rows;
    }();
    return table;
}

// The first terms a person reads for a word of this part of speech: those of the card's group
// of that part of speech, else the first group's.
QStringList leadingTerms(const std::optional<DictionaryEntry>& card, const QString& pos,
                         const QString& lang) {
    if (!card || card->groups.isEmpty())
        return {};
    const DictionaryEntry::Group* chosen = &card->groups.first();
    for (const DictionaryEntry::Group& group : card->groups) {
        if (group.pos == pos) {
            chosen = &group;
            break;
        }
    }
    QStringList terms;
    for (qsizetype i = 0; i < chosen->terms.size() && i < firstTerms; ++i)
        terms << Lexicon::key(chosen->terms[i].text, lang);
    return terms;
}

bool anyAmong(const QStringList& expected, const QStringList& terms, const QString& lang) {
    return std::any_of(expected.begin(), expected.end(), [&](const QString& word) {
        return terms.contains(Lexicon::key(word, lang));
    });
}

// From English: the expected translation among the first three terms of the English word's
// card. Into English: the English word among the first three terms of the card of the first
// expected translation (any English word of the table that it translates counts).
void gold(benchmark::State& state, const QString& from, const QString& to) {
    const QString folder = packFolder();
    if (!QFileInfo::exists(folder + u'/' + Lexicon::fileName(from)) ||
        !QFileInfo::exists(folder + u'/' + Lexicon::fileName(to))) {
        state.SkipWithError("no packs: run make packs");
        return;
    }
    const QList<GoldRow>& rows = goldTable();
    if (rows.isEmpty()) {
        state.SkipWithError("no gold table in bench/data");
        return;
    }
    const bool fromEnglish = from == "en"_L1;
    const QString lang = fromEnglish ? to : from;
    QHash<QString, QStringList> english;
    for (const GoldRow& row : rows)
        english[Lexicon::key(row.translations.value(lang).value(0), lang)] << row.english;
    Lexicon lexicon(folder);
    qsizetype found = 0;
    QStringList missed;
    for (auto _ : state) {
        found = 0;
        missed.clear();
        for (const GoldRow& row : rows) {
            const QStringList& expected = row.translations.value(lang);
            bool ok = false;
            if (fromEnglish) {
                ok = anyAmong(expected,
                              leadingTerms(lexicon.lookup(row.english, from, to), row.pos, to), to);
            } else {
                const QString word = expected.value(0);
                ok = anyAmong(english.value(Lexicon::key(word, lang)),
                              leadingTerms(lexicon.lookup(word, from, to), row.pos, to), to);
            }
            found += ok;
            if (!ok)
                missed << (fromEnglish ? row.english : expected.value(0));
        }
    }
    state.counters["words"] = double(rows.size());
    state.counters["first3_%"] = 100.0 * double(found) / double(rows.size());
    state.counters["target_%"] = goldTarget;
    std::fprintf(stderr, "%s->%s missed: %s\n", qPrintable(from), qPrintable(to),
                 qPrintable(missed.join(u", "_s)));
}

void coverage(benchmark::State& state, const QString& from, const QString& to) {
    const QString folder = packFolder();
    if (!QFileInfo::exists(folder + u'/' + Lexicon::fileName(from)) ||
        !QFileInfo::exists(folder + u'/' + Lexicon::fileName(to))) {
        state.SkipWithError("no packs: run make packs");
        return;
    }
    const QStringList words = frequentList(from);
    if (words.isEmpty()) {
        state.SkipWithError("no texts to count words in: scripts/install-deps --bench");
        return;
    }
    Lexicon lexicon(folder);
    lexicon.pack(from);
    lexicon.pack(to);
    qsizetype cards = 0;
    QStringList missed;
    for (auto _ : state) {
        cards = 0;
        missed.clear();
        for (const QString& word : words) {
            const bool found = lexicon.lookup(word, from, to).has_value();
            cards += found;
            if (!found)
                missed << word;
        }
    }
    // The commonest words without a card, as many as TIVELA_GOLD_MISSES asks for.
    bool counted = false;
    const int shown = qEnvironmentVariableIntValue("TIVELA_GOLD_MISSES", &counted);
    std::fprintf(
        stderr, "%s->%s no card: %s\n", qPrintable(from), qPrintable(to),
        qPrintable(
            missed.first(std::min<qsizetype>(missed.size(), counted ? shown : 40)).join(u", "_s)));
    const double share = 100.0 * double(cards) / double(words.size());
    state.counters["words"] = double(words.size());
    state.counters["cards_%"] = share;
    state.counters["target_%"] = target(from);
    state.counters["per_word_us"] =
        benchmark::Counter(double(words.size()), benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

void load(benchmark::State& state, const QString& lang) {
    const QString path = packFolder() + u'/' + Lexicon::fileName(lang);
    if (!QFileInfo::exists(path)) {
        state.SkipWithError("no pack: run make packs");
        return;
    }
    qsizetype lines = 0;
    qsizetype text = 0;
    for (auto _ : state) {
        const auto pack = LexiconPack::load(path, lang);
        lines = pack ? pack->lineCount() : 0;
        text = pack ? pack->textSize() : 0;
    }
    state.counters["file_MB"] = double(QFileInfo(path).size()) / 1e6;
    state.counters["text_MB"] = double(text) / 1e6;
    state.counters["lines"] = double(lines);
    state.counters["target_s"] = loadTarget;
}

const bool registered = [] {
    for (const QString& lang : {u"en"_s, u"es"_s, u"fr"_s, u"de"_s, u"it"_s, u"pt"_s, u"ru"_s,
                                u"nl"_s, u"sv"_s, u"pl"_s}) {
        benchmark::RegisterBenchmark((u"Load/"_s + lang).toUtf8().constData(),
                                     [lang](benchmark::State& state) { load(state, lang); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
    for (const QString& lang : goldLanguages()) {
        for (const auto& [from, to] : {std::pair{u"en"_s, lang}, std::pair{lang, u"en"_s}}) {
            benchmark::RegisterBenchmark(
                (u"Gold/"_s + from + u"->"_s + to).toUtf8().constData(),
                [from, to](benchmark::State& state) { gold(state, from, to); })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    QList<QPair<QString, QString>> pairs{
        {u"en"_s, u"es"_s}, {u"en"_s, u"fr"_s}, {u"en"_s, u"de"_s}, {u"en"_s, u"ru"_s}};
    for (const QString& lang : goldLanguages())
        pairs.append({lang, u"en"_s});
    pairs.append({u"es"_s, u"fr"_s});
    for (const auto& [from, to] : pairs) {
        benchmark::RegisterBenchmark(
            (u"Cards/"_s + from + u"->"_s + to).toUtf8().constData(),
            [from, to](benchmark::State& state) { coverage(state, from, to); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    return true;
}();

} // namespace
