#include "platform/recognizer/PackWords.h"

#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconPack.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

} // namespace

// The word keys of one pack, each ended by a NUL, and where each begins in byte order, which
// is the order of their code points. The keys of words written only with capitals (names and
// abbreviations: "Oder", "MIT") are kept apart: a word typed in lower case is not one of them.
class PackWords::Index {
public:
    explicit Index(const LexiconPack& pack)
        : m_rules(pack.formRules()) {
        const std::vector<LexiconPack::Line> lines = pack.lines('w');
        qsizetype size = 0;
        for (const LexiconPack::Line& line : lines)
            size += line.key.size() + 1;
        m_keys.reserve(size);
        for (const LexiconPack::Line& line : lines) {
            (capitalised(line.value) ? m_capitalised : m_starts).push_back(quint32(m_keys.size()));
            m_keys.append(line.key);
            m_keys.append('\0');
        }
        m_starts.shrink_to_fit();
        m_capitalised.shrink_to_fit();
        sortStarts(m_starts);
        sortStarts(m_capitalised);
    }

    enum class Match { none, loosely, exactly };

    // Whether a word's key has a line, or the pack's form rules lead it to one that has; a
    // line of a word written only with capitals counts, loosely, for a word typed with one.
    Match holds(const QString& word, const QString& lang) const {
        const QString key = Lexicon::key(word, lang);
        if (key.isEmpty())
            return Match::none;
        if (contains(m_starts, key))
            return Match::exactly;
        const bool typedCapitalised = word != word.toLower();
        const auto held = [&](const QString& k) {
            return contains(m_starts, k) || (typedCapitalised && contains(m_capitalised, k));
        };
        if (typedCapitalised && contains(m_capitalised, key))
            return Match::loosely;
        const QStringList bases = Lexicon::derivedKeys(key, m_rules);
        return std::any_of(bases.cbegin(), bases.cend(), held) ? Match::loosely : Match::none;
    }

    qsizetype bytes() const {
        return m_keys.capacity() +
               qsizetype((m_starts.capacity() + m_capitalised.capacity()) * sizeof(quint32));
    }

private:
    const char* at(quint32 start) const { return m_keys.constData() + start; }

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
    void sortStarts(std::vector<quint32>& starts) const {
        const auto before = [this](quint32 a, quint32 b) { return std::strcmp(at(a), at(b)) < 0; };
        if (!std::is_sorted(starts.cbegin(), starts.cend(), before))
            std::sort(starts.begin(), starts.end(), before);
    }

    bool contains(const std::vector<quint32>& starts, const QString& key) const {
        const QByteArray wanted = key.toUtf8();
        const auto found = std::lower_bound(
            starts.cbegin(), starts.cend(), wanted,
            [this](quint32 start, const QByteArray& w) { return std::strcmp(at(start), w) < 0; });
        return found != starts.cend() && std::strcmp(at(*found), wanted.constData()) == 0;
    }

    QByteArray m_keys;
    std::vector<quint32> m_starts;
    std::vector<quint32> m_capitalised;
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
        const Index::Match match = index->holds(word, code);
        if (match == Index::Match::exactly)
            holders.exactly << code;
        else if (match == Index::Match::loosely)
            holders.loosely << code;
    }
    holders.exactly.sort();
    holders.loosely.sort();
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
