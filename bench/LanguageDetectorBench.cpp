// Language detection on real words, phrases and sentences, against CLD2 used directly on the
// same texts.
//
// Each text is detected as both programs detect a translation's source: among every language
// CLD2 knows, with the user's pair as hints both ways round (the pair's first language as the
// user's own, and as the second one), beside the analysers of the pairs `scripts/install-deps`
// installs and of the measured pair. The texts:
// - words: words of one language's Debian word list that are no words of the other language
//   (its word list lacks them and its hunspell dictionary does not know them) and that the base
//   system's translated messages use, often or once, some capitalised or in capitals;
// - dictionary words: such words that no message uses, mostly rare forms and old words;
// - phrases: two to five words of the first kind;
// - fragments: two to five words running in a translated message;
// - sentences: the short messages of the base system's programs and their translations
//   (gettext catalogs);
// - headwords: single-word headwords of Debian's FreeDict dictionaries;
// - other sentences: sentences in the other languages measured, which must stay theirs;
// - foreign sentences: German, Japanese and Russian messages, with English and Spanish as the
//   pair: languages the engine lacks, which must be named as what they are;
// - French words that are no words of English or Spanish, with that pair: French is installed
//   beside it (fr-es), and its analyser names them;
// - pack words: the 300 commonest words of each dictionary pack's language in the training text
//   of dasher-data that are no words of English or Spanish (neither word list has them and
//   neither spelling dictionary knows them), spelt as they are most often met, without names,
//   abbreviations and addresses, with that pair: the packs of `make packs` and the analysers
//   of the pairs it installs for the packs' forms name them (the words missed go to standard
//   error).
// Every text is detected beside the packs of `make packs` (TIVELA_PACKS_DIR in the environment
// names another folder), as a user who has them all installed.
// The word lists and messages are split in two halves by a checksum of each word or message;
// the benchmark measures one half, the detector was tuned on the other (TIVELA_DETECTION_HALF=
// tuning measures that one). `scripts/install-deps --bench` installs what the base system lacks.
#include "core/LanguageDetector.h"
#include "platform/recognizer/Cld2Recognizer.h"
#include "platform/recognizer/Morphology.h"
#include "platform/recognizer/PackWords.h"
#include "support/TestWorld.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <random>

using namespace Qt::StringLiterals;

namespace {

using namespace tivela;

constexpr int samplesPerLanguage = 1000;
constexpr int phrasesPerLanguage = 400;
constexpr qsizetype commonPackWords = 300;

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
QStringList sample(QStringList texts, qsizetype count = samplesPerLanguage) {
    texts.sort();
    texts.removeDuplicates();
    std::mt19937 random(7);
    std::shuffle(texts.begin(), texts.end(), random);
    return texts.mid(0, count);
}

// The half of the texts measured: the checksum splits them the same way on every machine.
bool measured(const QString& text) {
    static const bool tuning = qEnvironmentVariable("TIVELA_DETECTION_HALF") == u"tuning"_s;
    return bool(qChecksum(text.toUtf8()) & 1) == tuning;
}

QStringList measuredHalf(const QStringList& texts) {
    QStringList result;
    for (const QString& text : texts)
        if (measured(text))
            result << text;
    return result;
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

// Four to sixty characters of a script without capitals (Japanese): letters, spaces and the
// script's own punctuation, no Latin letter, digit or markup.
bool caselessSentence(const QString& text) {
    static const QRegularExpression plain(u"^[[:alpha:]\\p{M}、・ー「」 ]{4,60}[。！？]?$"_s,
                                          QRegularExpression::UseUnicodePropertiesOption);
    return plain.match(text).hasMatch() && std::none_of(text.cbegin(), text.cend(), [](QChar c) {
               return c.isUpper() || c.isLower() || c.isTitleCase();
           });
}

struct Messages {
    QStringList english;
    QStringList translated;
};

// Plain sentences in `language` and their English originals; a message left in English is not
// taken. Every plain message of the catalogs, both halves.
const Messages& messagesIn(const QString& language) {
    static QHash<QString, Messages> loaded;
    const auto it = loaded.constFind(language);
    if (it != loaded.cend())
        return *it;
    Messages found;
    for (const char* catalog : catalogs) {
        const QString path = u"/usr/share/locale/"_s + language + u"/LC_MESSAGES/"_s +
                             QLatin1String(catalog) + u".mo"_s;
        for (const auto& [original, translation] : messages(path)) {
            const QString source = original.simplified();
            const QString target = translation.simplified();
            if (plainSentence(source))
                found.english << source;
            if ((plainSentence(target) || caselessSentence(target)) && target != source)
                found.translated << target;
        }
    }
    found.english.removeDuplicates();
    found.translated.removeDuplicates();
    return *loaded.insert(language, found);
}

// Sentences in `language`; English ones are the originals of `other`'s translations.
QStringList sentencesIn(const QString& language, const QString& other) {
    return language == u"en"_s ? messagesIn(other).english : messagesIn(language).translated;
}

// The words of messages in `language`: the words a user meets often.
QSet<QString> vocabulary(const QString& language, const QString& other) {
    QSet<QString> words;
    static const QRegularExpression separators(u"[^[:alpha:]]+"_s,
                                               QRegularExpression::UseUnicodePropertiesOption);
    for (const QString& sentence : sentencesIn(language, other))
        for (const QString& word : sentence.toLower().split(separators, Qt::SkipEmptyParts))
            words.insert(word);
    return words;
}

// The lower-case words of a language's Debian word list.
const QSet<QString>& wordList(const QString& language) {
    static QHash<QString, QSet<QString>> loaded;
    const auto it = loaded.constFind(language);
    if (it != loaded.cend())
        return *it;
    static const QHash<QString, QString> files{{u"en"_s, u"american-english"_s},
                                               {u"es"_s, u"spanish"_s},
                                               {u"fr"_s, u"french"_s},
                                               {u"pt"_s, u"portuguese"_s},
                                               {u"ca"_s, u"catalan"_s}};
    QSet<QString> words;
    QFile file(u"/usr/share/dict/"_s + files.value(language));
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd()) {
            const QString word = QString::fromUtf8(file.readLine()).trimmed();
            if (allLetters(word) && word == word.toLower())
                words.insert(word);
        }
    }
    return *loaded.insert(language, words);
}

// Words as a user selects them: most as they are, some at the start of a sentence, some in
// a title in capitals.
QString cased(const QString& word, qsizetype index) {
    switch (index % 10) {
    case 7:
    case 8:
        return word.left(1).toUpper() + word.mid(1);
    case 9:
        return word.toUpper();
    default:
        return word;
    }
}

// Of `words`, those `language`'s spelling dictionary (hunspell's) does not know. Nothing when
// the dictionary is missing.
std::optional<QSet<QString>> unknownTo(const QString& language, const QStringList& words) {
    static const QHash<QString, QString> dictionaries{{u"en"_s, u"en_US"_s},
                                                      {u"es"_s, u"es_ES"_s},
                                                      {u"fr"_s, u"fr_FR"_s},
                                                      {u"pt"_s, u"pt_PT"_s},
                                                      {u"ca"_s, u"ca_ES"_s}};
    QProcess hunspell;
    hunspell.start(u"hunspell"_s,
                   {u"-i"_s, u"UTF-8"_s, u"-d"_s, dictionaries.value(language), u"-l"_s});
    if (!hunspell.waitForStarted(10000))
        return std::nullopt;
    hunspell.write(words.join(u'\n').toUtf8() + '\n');
    hunspell.closeWriteChannel();
    if (!hunspell.waitForFinished(120000) || hunspell.exitStatus() != QProcess::NormalExit ||
        hunspell.exitCode() != 0) {
        hunspell.kill();
        hunspell.waitForFinished(1000);
        return std::nullopt;
    }
    const QStringList unknown =
        QString::fromUtf8(hunspell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    return QSet<QString>(unknown.cbegin(), unknown.cend());
}

// The measured words of `language`'s list that are no words of `other`: its word list lacks
// them and its spelling dictionary, which also knows the inflected forms lists leave out,
// does not know them. Those a reader meets in the messages, often or once, or those only the
// dictionary has.
QStringList oneSidedWords(const QString& language, const QString& other, bool met) {
    static QHash<QString, QStringList> picked;
    const QString key = language + other + (met ? u"+"_s : u"-"_s);
    if (const auto it = picked.constFind(key); it != picked.cend())
        return *it;
    const QSet<QString>& others = wordList(other);
    const QSet<QString> seen = vocabulary(language, other);
    QStringList candidates;
    for (const QString& word : wordList(language))
        if (!others.contains(word) && measured(word) && seen.contains(word) == met)
            candidates << word;
    // The spelling dictionary is asked about a sample only: the lists hold up to 600,000 words.
    candidates = sample(candidates, samplesPerLanguage * 3);
    const std::optional<QSet<QString>> unknown = unknownTo(other, candidates);
    QStringList result;
    for (const QString& word : std::as_const(candidates))
        if (unknown && unknown->contains(word) && result.size() < samplesPerLanguage)
            result << word;
    return *picked.insert(key, result);
}

QStringList casedWords(const QStringList& picked) {
    QStringList result;
    for (qsizetype i = 0; i < picked.size(); ++i)
        result << cased(picked[i], i);
    return result;
}

QStringList words(const QString& language, const QString& other) {
    return casedWords(oneSidedWords(language, other, true));
}

QStringList dictionaryWords(const QString& language, const QString& other) {
    return casedWords(oneSidedWords(language, other, false));
}

// Two to five one-sided words, the first capitalised every other time.
QStringList phrases(const QString& language, const QString& other) {
    const QStringList pool = oneSidedWords(language, other, true);
    QStringList result;
    if (pool.isEmpty())
        return result;
    std::mt19937 random(11);
    std::uniform_int_distribution<qsizetype> pick(0, pool.size() - 1);
    for (int i = 0; i < phrasesPerLanguage; ++i) {
        QStringList phrase;
        for (int n = 0; n < 2 + i % 4; ++n)
            phrase << pool[pick(random)];
        if (i % 2 == 0)
            phrase.front() = cased(phrase.front(), 7);
        result << phrase.join(u' ');
    }
    return result;
}

// Two to five words running in a measured message, without its punctuation.
QStringList fragments(const QString& language, const QString& other) {
    const QStringList sentences = sample(measuredHalf(sentencesIn(language, other)));
    QStringList result;
    std::mt19937 random(13);
    static const QRegularExpression punctuation(u"[¿¡.!?,]"_s);
    for (qsizetype i = 0; i < sentences.size() && result.size() < phrasesPerLanguage; ++i) {
        const QStringList all =
            QString(sentences[i]).remove(punctuation).split(u' ', Qt::SkipEmptyParts);
        const qsizetype length = std::min<qsizetype>(2 + i % 4, all.size());
        std::uniform_int_distribution<qsizetype> start(0, all.size() - length);
        result << all.mid(start(random), length).join(u' ');
    }
    return result;
}

QStringList sentences(const QString& language, const QString& other) {
    return sample(measuredHalf(sentencesIn(language, other)));
}

// French words that no English or Spanish word list has and no English or Spanish spelling
// dictionary knows, met in the messages.
QStringList frenchWords() {
    const QSet<QString>& english = wordList(u"en"_s);
    QStringList candidates;
    for (const QString& word : oneSidedWords(u"fr"_s, u"es"_s, true))
        if (!english.contains(word))
            candidates << word;
    const std::optional<QSet<QString>> unknown = unknownTo(u"en"_s, candidates);
    QStringList result;
    for (const QString& word : std::as_const(candidates))
        if (unknown && unknown->contains(word))
            result << word;
    return casedWords(result);
}

QStringList freedictHeadwords(const QString& language, const QString&) {
    static const QHash<QString, QStringList> loaded = [] {
        QHash<QString, QStringList> words;
        words[u"en"_s] = sample(headwords(u"eng-spa"_s, false) + headwords(u"eng-fra"_s, false));
        words[u"es"_s] = headwords(u"spa-eng"_s, false);
        words[u"fr"_s] = headwords(u"fra-eng"_s, false);
        words[u"de"_s] = headwords(u"deu-eng"_s, true);
        return words;
    }();
    return loaded.value(language);
}

// The commonest words of a language in dasher-data's training text that are no words of
// English or Spanish, each spelt as it is most often met.
QStringList commonWords(const QString& language) {
    static const QHash<QString, QString> dasher{
        {u"de"_s, u"german_DE"_s},  {u"nl"_s, u"dutch_NL"_s},     {u"sv"_s, u"swedish_SE"_s},
        {u"pl"_s, u"polish_PL"_s},  {u"ru"_s, u"russian_RU"_s},   {u"fr"_s, u"french_FR"_s},
        {u"it"_s, u"italian_IT"_s}, {u"pt"_s, u"portuguese_BR"_s}};
    QFile file(u"/usr/share/dasher/training_"_s + dasher.value(language) + u".txt"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Addresses and markup are no words of any language.
    static const QRegularExpression markup(u"\\S*(://|www\\.|\\.html?\\b|&\\w+;)\\S*"_s);
    static const QRegularExpression token(u"[\\p{L}\\p{M}]{2,}"_s);
    QHash<QString, int> counts;
    QHash<QString, QHash<QString, int>> spellings;
    QHash<QString, int> capitals;
    const QString text = QString::fromUtf8(file.readAll()).remove(markup);
    for (const auto& match : token.globalMatch(text)) {
        const QString word = match.captured();
        const QString lower = word.toLower();
        ++counts[lower];
        ++spellings[lower][word];
        capitals[lower] += word.front().isUpper();
    }
    // Abbreviations, and names (written with a capital in nine of ten uses, except in German,
    // which capitalises every noun), are left out.
    QStringList ranked;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const QHash<QString, int>& spelt = spellings[it.key()];
        const QString usual = std::max_element(spelt.cbegin(), spelt.cend()).key();
        const bool abbreviation = usual == usual.toUpper();
        const bool name = language != u"de"_s && capitals[it.key()] * 10 >= *it * 9;
        if (!abbreviation && !name)
            ranked << it.key();
    }
    std::sort(ranked.begin(), ranked.end(), [&](const QString& a, const QString& b) {
        return counts[a] != counts[b] ? counts[a] > counts[b] : a < b;
    });
    // Only the head of the list is asked about: the spelling dictionaries are slow.
    ranked = ranked.mid(0, commonPackWords * 4);
    const std::optional<QSet<QString>> notEnglish = unknownTo(u"en"_s, ranked);
    const std::optional<QSet<QString>> notSpanish = unknownTo(u"es"_s, ranked);
    if (!notEnglish || !notSpanish)
        return {};
    QStringList result;
    for (const QString& word : std::as_const(ranked)) {
        if (result.size() == commonPackWords)
            break;
        if (wordList(u"en"_s).contains(word) || wordList(u"es"_s).contains(word) ||
            !notEnglish->contains(word) || !notSpanish->contains(word))
            continue;
        const QHash<QString, int>& spelt = spellings[word];
        result << std::max_element(spelt.cbegin(), spelt.cend()).key();
    }
    return result;
}

// TIVELA_PACKS_DIR in the environment measures another build's packs.
QString packFolder() {
    const QString chosen = qEnvironmentVariable("TIVELA_PACKS_DIR");
    return chosen.isEmpty() ? QStringLiteral(TIVELA_PACKS_DIR) : chosen;
}

// The packs of `make packs`, read once; nothing when there are none.
PackWords* installedPacks() {
    static PackWords* packs = [] {
        if (QDir(packFolder()).entryList({u"*.lex.gz"_s}, QDir::Files).isEmpty())
            return static_cast<PackWords*>(nullptr);
        static PackWords words({packFolder()});
        words.load(std::chrono::seconds(60));
        return &words;
    }();
    return packs;
}

using Source = QStringList (*)(const QString& language, const QString& other);

struct Case {
    QString text;
    QString language;
};

using TextsByLanguage = QList<std::pair<QString, QStringList>>;

// The analysers a user of a pair has, whatever else this machine has installed: the pairs
// `scripts/install-deps` installs, and the pair's own. The other installed languages take part
// in detection too.
// With `packPairs`, also the pairs `make packs` installs for the packs' forms.
Morphology& installed(const QString& first, const QString& second, bool packPairs = false) {
    static QHash<QString, std::shared_ptr<Morphology>> made;
    const QString pair = first + u'-' + second + (packPairs ? u"-packs"_s : QString());
    if (const auto it = made.constFind(pair); it != made.cend())
        return **it;
    QStringList modes{u"eng-spa"_s, u"spa-eng"_s, u"fr-es"_s, u"es-fr"_s, u"es-pt"_s, u"pt-es"_s};
    if (first == u"ca"_s || second == u"ca"_s)
        modes << u"eng-cat"_s << u"cat-eng"_s;
    if (packPairs)
        modes << u"spa-ita"_s << u"ita-spa"_s << u"rus-ukr"_s << u"ukr-rus"_s << u"afr-nld"_s
              << u"nld-afr"_s << u"swe-dan"_s << u"dan-swe"_s << u"pol-szl"_s << u"szl-pol"_s;
    auto morphology = std::make_shared<Morphology>(
        Morphology::Options{test::modesFolder(u"modes-"_s + pair, modes)});
    // Loaded here, once: a user's analysers are long ready when they type.
    morphology->load({first, second}, std::chrono::seconds(60));
    morphology->load(morphology->languages(), std::chrono::seconds(60));
    return **made.insert(pair, morphology);
}

void measure(benchmark::State& state, const TextsByLanguage& texts, const QString& first,
             const QString& second, bool packPairs = false);

void detection(benchmark::State& state, Source source, const char* firstCode,
               const char* secondCode) {
    const QString first = QString::fromLatin1(firstCode);
    const QString second = QString::fromLatin1(secondCode);
    measure(state, {{first, source(first, second)}, {second, source(second, first)}}, first,
            second);
}

// Sentences in the other languages measured, with the pair as hints: the pair's analysers
// must not draw them into the pair.
void otherSentences(benchmark::State& state, const char* firstCode, const char* secondCode) {
    const QString first = QString::fromLatin1(firstCode);
    const QString second = QString::fromLatin1(secondCode);
    TextsByLanguage texts;
    for (const QString& language : {u"en"_s, u"es"_s, u"fr"_s, u"pt"_s, u"ca"_s, u"de"_s}) {
        const QString other = language == u"en"_s ? u"de"_s : u"en"_s;
        if (language != first && language != second)
            texts.append({language, sample(sentences(language, other), 200)});
    }
    measure(state, texts, first, second);
}

// Messages in languages the engine has no pair for with English or Spanish, with that pair as
// hints: before, they were made English or Spanish and "translated" unchanged.
void foreignSentences(benchmark::State& state) {
    TextsByLanguage texts;
    for (const QString& language : {u"de"_s, u"ja"_s, u"ru"_s})
        texts.append({language, sample(sentences(language, u"en"_s), 200)});
    measure(state, texts, u"en"_s, u"es"_s);
}

// French words with English and Spanish as the pair, French installed beside it.
void frenchBesideThePair(benchmark::State& state) {
    measure(state, {{u"fr"_s, frenchWords()}}, u"en"_s, u"es"_s);
}

// A pack language's commonest words with English and Spanish as the pair, beside the packs
// (without any when there are none, as detection was before it asked them) and the pairs
// installed with them.
void packWords(benchmark::State& state, const char* language) {
    const QString code = QString::fromLatin1(language);
    const QStringList words = commonWords(code);
    measure(state, {{code, words}}, u"en"_s, u"es"_s, true);
    // The words missed go to standard error, as the language they were taken for.
    QStringList missed;
    for (const QString& word : words) {
        Cld2Recognizer recognizer(installed(u"en"_s, u"es"_s, true), installedPacks());
        const auto guess = LanguageDetector::detectAny(word, {u"en"_s, u"es"_s}, recognizer);
        if (!guess || guess->code != code)
            missed << word + u'>' + (guess ? guess->code : u"-"_s);
    }
    static QSet<QString> printed;
    if (!printed.contains(code)) {
        printed.insert(code);
        std::fprintf(stderr, "%s missed: %s\n", language, qPrintable(missed.join(u' ')));
    }
}

// The word keys of the packs of `make packs`, read cold: the time until all are ready, and
// the memory they hold.
void packWordsLoad(benchmark::State& state) {
    double milliseconds = 0;
    qsizetype bytes = 0;
    for (auto _ : state) {
        PackWords words({packFolder()});
        QElapsedTimer timer;
        timer.start();
        if (!words.load(std::chrono::seconds(60)) || words.bytes() == 0) {
            state.SkipWithError("no packs: run make packs");
            return;
        }
        milliseconds = double(timer.nsecsElapsed()) / 1e6;
        bytes = words.bytes();
    }
    state.counters["load_ms"] = milliseconds;
    state.counters["words_MB"] = double(bytes) / double(1 << 20);
}

void measure(benchmark::State& state, const TextsByLanguage& texts, const QString& first,
             const QString& second, bool packPairs) {
    QList<Case> all;
    for (const auto& [language, some] : texts) {
        if (some.size() < 100) {
            state.SkipWithError("corpus missing: run scripts/install-deps --bench");
            return;
        }
        for (const QString& text : some)
            all << Case{text, language};
    }
    // As both programs detect a translation's source, on the analysers of this measurement.
    Morphology& morphology = installed(first, second, packPairs);
    PackWords* const packs = installedPacks();
    const auto detect = [&](const QString& text, const QStringList& hints) {
        Cld2Recognizer recognizer(morphology, packs);
        return LanguageDetector::detectAny(text, hints, recognizer);
    };
    const QStringList firstFirst{first, second};
    const QStringList secondFirst{second, first};

    qsizetype next = 0;
    for (auto _ : state) {
        const Case& c = all[next++ % all.size()];
        benchmark::DoNotOptimize(detect(c.text, firstFirst));
    }

    int ours = 0;
    int oursSwapped = 0;
    int alone = 0;
    int aloneBestEffort = 0;
    for (const Case& c : all) {
        const auto guess = detect(c.text, firstFirst);
        const auto swapped = detect(c.text, secondFirst);
        ours += guess && guess->code == c.language;
        oursSwapped += swapped && swapped->code == c.language;
        alone += Cld2Recognizer::answer(c.text, false) == c.language;
        aloneBestEffort += Cld2Recognizer::answer(c.text, true) == c.language;
    }
    // Both timed here over the same texts, so the ratio compares like with like.
    QElapsedTimer timer;
    timer.start();
    for (const Case& c : all)
        benchmark::DoNotOptimize(detect(c.text, firstFirst));
    const double oursNanoseconds = double(timer.nsecsElapsed()) / double(all.size());
    timer.restart();
    for (const Case& c : all)
        benchmark::DoNotOptimize(Cld2Recognizer::answer(c.text, false));
    const double cld2Nanoseconds = double(timer.nsecsElapsed()) / double(all.size());

    const double n = double(all.size());
    state.counters["texts"] = n;
    state.counters["ours_%"] = 100.0 * ours / n;
    state.counters["ours_swapped_%"] = 100.0 * oursSwapped / n;
    state.counters["cld2_%"] = 100.0 * alone / n;
    state.counters["cld2_best_effort_%"] = 100.0 * aloneBestEffort / n;
    state.counters["ours_us_per_call"] = oursNanoseconds / 1000.0;
    state.counters["cld2_us_per_call"] = cld2Nanoseconds / 1000.0;
    state.counters["time_ratio"] = oursNanoseconds / cld2Nanoseconds;
}

// The analysers of a pair, loaded cold by a morphology of their own: the time until both
// languages are ready, and the memory they hold.
void analysers(benchmark::State& state, const char* first, const char* second) {
    const QStringList languages{QString::fromLatin1(first), QString::fromLatin1(second)};
    double milliseconds = 0;
    qsizetype bytes = 0;
    for (auto _ : state) {
        Morphology morphology;
        QElapsedTimer timer;
        timer.start();
        if (!morphology.load(languages, std::chrono::seconds(60))) {
            state.SkipWithError("analysers missing: run scripts/install-deps --bench");
            return;
        }
        milliseconds = double(timer.nsecsElapsed()) / 1e6;
        bytes = morphology.bytes();
    }
    state.counters["load_ms"] = milliseconds;
    state.counters["analyser_MB"] = double(bytes) / double(1 << 20);
}

BENCHMARK_CAPTURE(analysers, en_es, "en", "es")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(analysers, es_fr, "es", "fr")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(analysers, es_pt, "es", "pt")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(analysers, en_ca, "en", "ca")->Iterations(1)->Unit(benchmark::kMillisecond);

#define TIVELA_DETECTION(kind, first, second)                                                      \
    BENCHMARK_CAPTURE(detection, kind##_##first##_##second, &kind, #first, #second)                \
        ->Unit(benchmark::kMicrosecond)

TIVELA_DETECTION(words, en, es);
TIVELA_DETECTION(dictionaryWords, en, es);
TIVELA_DETECTION(phrases, en, es);
TIVELA_DETECTION(fragments, en, es);
TIVELA_DETECTION(sentences, en, es);
TIVELA_DETECTION(words, es, fr);
TIVELA_DETECTION(dictionaryWords, es, fr);
TIVELA_DETECTION(phrases, es, fr);
TIVELA_DETECTION(fragments, es, fr);
TIVELA_DETECTION(sentences, es, fr);
TIVELA_DETECTION(words, es, pt);
TIVELA_DETECTION(dictionaryWords, es, pt);
TIVELA_DETECTION(phrases, es, pt);
TIVELA_DETECTION(fragments, es, pt);
TIVELA_DETECTION(sentences, es, pt);
TIVELA_DETECTION(words, en, ca);
TIVELA_DETECTION(dictionaryWords, en, ca);
TIVELA_DETECTION(phrases, en, ca);
TIVELA_DETECTION(fragments, en, ca);
TIVELA_DETECTION(sentences, en, ca);
BENCHMARK_CAPTURE(otherSentences, en_es, "en", "es")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(otherSentences, es_fr, "es", "fr")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(otherSentences, es_pt, "es", "pt")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(otherSentences, en_ca, "en", "ca")->Unit(benchmark::kMicrosecond);
TIVELA_DETECTION(freedictHeadwords, en, es);
TIVELA_DETECTION(freedictHeadwords, en, fr);
TIVELA_DETECTION(freedictHeadwords, en, de);
TIVELA_DETECTION(sentences, en, fr);
TIVELA_DETECTION(sentences, en, de);
BENCHMARK(foreignSentences)->Unit(benchmark::kMicrosecond);
BENCHMARK(frenchBesideThePair)->Unit(benchmark::kMicrosecond);
BENCHMARK(packWordsLoad)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(packWords, de, "de")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(packWords, nl, "nl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(packWords, sv, "sv")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(packWords, pl, "pl")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(packWords, ru, "ru")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(packWords, fr, "fr")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(packWords, it, "it")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(packWords, pt, "pt")->Unit(benchmark::kMicrosecond);

} // namespace
