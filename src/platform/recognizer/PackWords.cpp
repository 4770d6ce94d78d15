#include "platform/recognizer/PackWords.h"

#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconPack.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

bool onMainThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

const QString& packSuffix() {
    static const QString suffix = Lexicon::fileName(QString());
    return suffix;
}

// What a pack's record tells of its word beyond that it is one.
enum Trait : quint8 {
    // A pronoun, preposition, conjunction, determiner or numeral, or a form of one: a word of
    // the few hundred that make up much of any text in the language.
    functionWord = 1,
    // Only a noun, or a form of nouns only, in a language that writes its nouns with a capital.
    capitalNoun = 2,
};

// German writes every noun with a capital, so a word typed in lower case is less surely one of
// its nouns; the other pack languages write theirs in lower case.
bool capitalisesNouns(const QString& lang) {
    return lang == u"de"_s;
}

// The parts of speech of a record's own entries: each entry is an array that begins with its
// part of speech and then the pronunciation, `["noun","/.../",...]`, the first after "[[" and
// the others after "],[". Lemma lists ("lm":["a","b"]) follow a colon and are not read.
struct Parts {
    bool function = false;
    bool noun = false;
    bool other = false;
};

Parts partsOfSpeech(QByteArrayView value) {
    static const QByteArrayView closed[] = {"pron", "prep", "conj", "det", "num"};
    Parts parts;
    for (qsizetype at = value.indexOf("[\""); at >= 0; at = value.indexOf("[\"", at + 2)) {
        const bool entry = (at >= 1 && value[at - 1] == '[') ||
                           (at >= 2 && value[at - 1] == ',' && value[at - 2] == ']');
        const qsizetype end = entry ? value.indexOf('"', at + 2) : -1;
        if (end < 0 || end - at - 2 > 5 || !value.sliced(end).startsWith("\",\""))
            continue;
        const QByteArrayView part = value.sliced(at + 2, end - at - 2);
        if (part == "noun")
            parts.noun = true;
        else if (std::find(std::begin(closed), std::end(closed), part) != std::end(closed))
            parts.function = true;
        else
            parts.other = true;
    }
    return parts;
}

// The keys of the words a form record is a form of; empty for a record without them.
QList<QByteArray> lemmas(QByteArrayView value) {
    const qsizetype at = value.indexOf("\"lm\":[");
    if (at < 0)
        return {};
    const qsizetype end = value.indexOf(']', at);
    const QByteArrayView list = value.sliced(at + 5, (end < 0 ? value.size() : end + 1) - at - 5);
    QList<QByteArray> keys;
    if (list.contains('\\')) {
        for (const QJsonValue key : QJsonDocument::fromJson(list.toByteArray()).array())
            keys << key.toString().toUtf8();
        return keys;
    }
    for (qsizetype open = list.indexOf('"'); open >= 0;) {
        const qsizetype close = list.indexOf('"', open + 1);
        if (close < 0)
            break;
        keys << list.sliced(open + 1, close - open - 1).toByteArray();
        open = list.indexOf('"', close + 1);
    }
    return keys;
}

} // namespace

// The word keys of one pack, each ended by a NUL, and where each begins in byte order, which
// is the order of their code points, with what its record tells of it. The keys of words
// written only with capitals (names and abbreviations: "Oder", "MIT") are kept apart: a word
// typed in lower case is not one of them.
class PackWords::Index {
public:
    explicit Index(const LexiconPack& pack)
        : m_rules(pack.formRules()) {
        const std::vector<LexiconPack::Line> lines = pack.lines('w');
        qsizetype size = 0;
        for (const LexiconPack::Line& line : lines)
            size += line.key.size() + 1;
        m_keys.reserve(size);
        const bool nounsCapitalised = capitalisesNouns(pack.lang());
        std::vector<std::pair<quint32, QByteArrayView>> forms;
        for (const LexiconPack::Line& line : lines) {
            const quint32 start = quint32(m_keys.size());
            if (capitalised(line.value)) {
                m_capitalised.push_back({start, 0});
            } else {
                const Parts parts = partsOfSpeech(line.value);
                m_starts.push_back({start, traitsOf(parts, nounsCapitalised)});
                if (!parts.function && !parts.noun && !parts.other)
                    forms.emplace_back(start, line.value);
            }
            m_keys.append(line.key);
            m_keys.append('\0');
        }
        m_starts.shrink_to_fit();
        m_capitalised.shrink_to_fit();
        sortKeys(m_starts);
        sortKeys(m_capitalised);
        inheritTraits(forms, nounsCapitalised);
    }

    enum class Match { none, loosely, exactly };
    struct Held {
        Match match = Match::none;
        bool functionWord = false;
    };

    // Whether a word's key has a line, or the pack's form rules lead it to one that has; a
    // line of a word written only with capitals counts, loosely, for a word typed with one,
    // and so does a noun of a language that writes its nouns with a capital typed without.
    Held holds(const QString& word, const QString& lang) const {
        const QString key = Lexicon::key(word, lang);
        if (key.isEmpty())
            return {};
        const bool typedCapitalised = word != word.toLower();
        if (const Key* found = find(m_starts, key)) {
            const bool nounInLowerCase = (found->traits & capitalNoun) && !typedCapitalised;
            return {nounInLowerCase ? Match::loosely : Match::exactly,
                    bool(found->traits & functionWord)};
        }
        const auto held = [&](const QString& k) {
            return find(m_starts, k) || (typedCapitalised && find(m_capitalised, k));
        };
        if (typedCapitalised && find(m_capitalised, key))
            return {Match::loosely};
        const QStringList bases = Lexicon::derivedKeys(key, m_rules);
        return {std::any_of(bases.cbegin(), bases.cend(), held) ? Match::loosely : Match::none};
    }

    qsizetype bytes() const {
        return m_keys.capacity() +
               qsizetype((m_starts.capacity() + m_capitalised.capacity()) * sizeof(Key));
    }

private:
    struct Key {
        quint32 start : 30;
        quint32 traits : 2;
    };

    const char* at(quint32 start) const { return m_keys.constData() + start; }

    static quint32 traitsOf(const Parts& parts, bool nounsCapitalised) {
        return (parts.function ? functionWord : 0) |
               (nounsCapitalised && parts.noun && !parts.function && !parts.other ? capitalNoun
                                                                                  : 0);
    }

    // A form is a function word when one of the words it is a form of is, and a noun written
    // with a capital when all of them are.
    void inheritTraits(const std::vector<std::pair<quint32, QByteArrayView>>& forms,
                       bool nounsCapitalised) {
        std::vector<std::pair<quint32, quint32>> inherited;
        for (const auto& [start, value] : forms) {
            const QList<QByteArray> keys = lemmas(value);
            quint32 traits = 0;
            bool nouns = nounsCapitalised && !keys.isEmpty();
            for (const QByteArray& key : keys) {
                const Key* lemma = find(m_starts, key.constData());
                traits |= lemma ? lemma->traits & functionWord : 0;
                nouns = nouns && lemma && (lemma->traits & capitalNoun);
            }
            if (traits || nouns)
                inherited.emplace_back(start, traits | (nouns ? capitalNoun : 0));
        }
        for (const auto& [start, traits] : inherited)
            if (Key* key = find(m_starts, at(start)))
                key->traits = traits;
    }

    // The pack marks such a word's record with "cap": true; only a record that names the
    // mark is read whole.
    static bool capitalised(QByteArrayView value) {
        if (!value.contains("\"cap\""))
            return false;
        const QJsonDocument record = QJsonDocument::fromJson(value.toByteArray());
        return record.object().value("cap"_L1).toBool();
    }

    // Packs are sorted by UTF-16 code units, which differs from byte order only past the
    // surrogates.
    void sortKeys(std::vector<Key>& keys) const {
        const auto before = [this](Key a, Key b) {
            return std::strcmp(at(a.start), at(b.start)) < 0;
        };
        if (!std::is_sorted(keys.cbegin(), keys.cend(), before))
            std::sort(keys.begin(), keys.end(), before);
    }

    // The key's entry in `keys` (const or not); nothing when it has none.
    template <typename Keys>
    auto find(Keys& keys, const char* wanted) const -> decltype(keys.data()) {
        const auto found =
            std::lower_bound(keys.begin(), keys.end(), wanted, [this](Key key, const char* w) {
                return std::strcmp(at(key.start), w) < 0;
            });
        return found != keys.end() && std::strcmp(at(found->start), wanted) == 0 ? &*found
                                                                                 : nullptr;
    }

    const Key* find(const std::vector<Key>& keys, const QString& key) const {
        return find(keys, key.toUtf8().constData());
    }

    QByteArray m_keys;
    std::vector<Key> m_starts;
    std::vector<Key> m_capitalised;
    QList<LexiconPack::FormRule> m_rules;
};

PackWords::PackWords(Options options)
    : m_options(std::move(options)) {
    // The tables the loading thread reads must outlive this instance, shared or not.
    Languages::lexicon();
    packSuffix();
    m_loader.setMaxThreadCount(1);
}

PackWords::~PackWords() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_loader.waitForDone();
}

PackWords& PackWords::shared() {
    static PackWords instance({Lexicon::shared().directory()});
    return instance;
}

bool PackWords::busy(Lock& lock) {
    Q_UNUSED(lock);
    if (m_stopping)
        return false;
    const auto now = std::chrono::steady_clock::now();
    if (!m_scanning && (!m_scanned || now - m_lastScan >= m_options.rescanInterval)) {
        m_scanning = true;
        m_lastScan = now;
        m_loader.start([this] { rescan(); });
    }
    return m_scanning || std::any_of(m_packs.cbegin(), m_packs.cend(), [](const Pack& pack) {
               return pack.status == Status::loading;
           });
}

bool PackWords::waitUntilSettled(Lock& lock, QDeadlineTimer deadline) {
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline.remainingTime());
    // A rescan falling due while waiting must not start another wait: it is enough that the
    // packs seen so far are read.
    bool due = busy(lock);
    while (due && !m_stopping) {
        if (m_changed.wait_until(lock, until) == std::cv_status::timeout)
            return false;
        due = m_scanning || std::any_of(m_packs.cbegin(), m_packs.cend(), [](const Pack& pack) {
                  return pack.status == Status::loading;
              });
    }
    return !due;
}

void PackWords::rescan() {
    struct Found {
        QString code;
        QString path;
        qint64 size;
        qint64 modified;
    };
    QList<Found> found;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
    }
    const QDir folder(m_options.folder);
    for (const QFileInfo& file : folder.entryInfoList({u"*"_s + packSuffix()}, QDir::Files)) {
        const QString code = file.fileName().chopped(packSuffix().size());
        if (Languages::lexicon().contains(code))
            found.append({code, file.absoluteFilePath(), file.size(),
                          file.lastModified().toMSecsSinceEpoch()});
    }
    QList<std::pair<QString, quint64>> reads;
    {
        std::lock_guard lock(m_mutex);
        QHash<QString, Pack> packs;
        for (const Found& file : std::as_const(found)) {
            Pack pack = m_packs.value(file.code);
            if (pack.path != file.path || pack.size != file.size ||
                pack.modified != file.modified) {
                pack = Pack{file.path,       file.size,      file.modified,
                            Status::loading, ++m_generation, nullptr};
                reads.append({file.code, pack.generation});
            }
            packs.insert(file.code, pack);
        }
        m_packs = std::move(packs);
        m_scanned = true;
        m_scanning = false;
        for (const auto& [code, generation] : std::as_const(reads)) {
            const QString path = m_packs.value(code).path;
            m_loader.start([this, code, generation, path] { read(code, generation, path); });
        }
    }
    m_changed.notify_all();
}

void PackWords::read(const QString& code, quint64 generation, const QString& path) {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
    }
    std::shared_ptr<const Index> index;
    if (const auto pack = LexiconPack::load(path, code))
        index = std::make_shared<const Index>(*pack);
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_packs.find(code);
        if (it != m_packs.end() && it->generation == generation) {
            it->status = index ? Status::ready : Status::failed;
            it->index = std::move(index);
        }
    }
    m_changed.notify_all();
}

PackWords::Holders PackWords::holders(const QString& word) {
    QList<std::pair<QString, std::shared_ptr<const Index>>> ready;
    {
        Lock lock(m_mutex);
        if (onMainThread())
            busy(lock);
        else
            waitUntilSettled(lock, QDeadlineTimer(m_options.wait));
        for (auto it = m_packs.cbegin(); it != m_packs.cend(); ++it)
            if (it->index)
                ready.append({it.key(), it->index});
    }
    Holders holders;
    for (const auto& [code, index] : std::as_const(ready)) {
        const Index::Held held = index->holds(word, code);
        if (held.match == Index::Match::exactly)
            holders.exactly << code;
        else if (held.match == Index::Match::loosely)
            holders.loosely << code;
        if (held.match == Index::Match::exactly && held.functionWord)
            holders.functionWord << code;
    }
    holders.exactly.sort();
    holders.loosely.sort();
    holders.functionWord.sort();
    return holders;
}

void PackWords::prefetch() {
    Lock lock(m_mutex);
    busy(lock);
}

bool PackWords::load(std::chrono::milliseconds bound) {
    Lock lock(m_mutex);
    return waitUntilSettled(lock, QDeadlineTimer(bound));
}

qsizetype PackWords::bytes() {
    std::lock_guard lock(m_mutex);
    qsizetype total = 0;
    for (const Pack& pack : std::as_const(m_packs))
        if (pack.index)
            total += pack.index->bytes();
    return total;
}

} // namespace tivela
