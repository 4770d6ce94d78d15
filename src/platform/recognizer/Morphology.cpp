#include "platform/recognizer/Morphology.h"

#include "platform/engine/ApertiumCatalogue.h"
#include "platform/engine/ApertiumEngine.h"

#include <QChar>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace tivela {
namespace {

using Vocabularies = std::vector<std::shared_ptr<const Vocabulary>>;

bool onMainThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

bool isApostrophe(uint c) {
    return c == u'\'' || c == 0x2019 || c == 0x02BC;
}

bool isJoiner(uint c) {
    return isApostrophe(c) || c == u'-' || c == 0x2010 || c == 0x2011;
}

bool isLetter(uint c) {
    return QChar::isLetter(c) || QChar::isMark(c);
}

// The analyser a mode file starts its pipeline with: "lt-proc -w '/…/cat-eng.automorf.bin' | …".
QString firstAnalyser(const QString& modeFile) {
    QFile file(modeFile);
    // A mode is one line of commands; a file this large is none.
    constexpr qint64 maxModeBytes = 1 << 16;
    if (file.size() > maxModeBytes || !file.open(QIODevice::ReadOnly))
        return {};
    const QString firstStage = QString::fromUtf8(file.readAll()).section(u'|', 0, 0);
    static const QRegularExpression analyser(
        u"'([^']*\\.automorf\\.bin)'|\"([^\"]*\\.automorf\\.bin)\"|(\\S+\\.automorf\\.bin)"_s);
    const QRegularExpressionMatch match = analyser.match(firstStage);
    if (!match.hasMatch())
        return {};
    for (int group = 1; group <= 3; ++group)
        if (!match.captured(group).isEmpty())
            return QFileInfo(modeFile).dir().absoluteFilePath(match.captured(group));
    return {};
}

bool anyKnows(const Vocabularies& vocabularies, QStringView word) {
    return std::any_of(vocabularies.cbegin(), vocabularies.cend(),
                       [&](const auto& vocabulary) { return vocabulary->knows(word); });
}

// The analysers split "l'école" into "l'" and "école", and "it's" into "it" and "'s", so a
// part is tried with the apostrophe on either side too.
bool knowsWord(const Vocabularies& vocabularies, QStringView word) {
    if (anyKnows(vocabularies, word))
        return true;
    // A word cut short by an apostrophe the reading of words leaves out: "dall'", "anch'".
    if (!word.isEmpty() && anyKnows(vocabularies, QString(word.toString() + u'\'')))
        return true;
    qsizetype start = 0;
    bool joined = false;
    for (qsizetype end = 0; end <= word.size(); ++end) {
        if (end < word.size() && !isJoiner(word[end].unicode()))
            continue;
        if (end == word.size() && !joined)
            return false;
        joined = true;
        const QStringView part = word.mid(start, end - start);
        const bool apostropheAfter = end < word.size() && isApostrophe(word[end].unicode());
        const bool apostropheBefore = start > 0 && isApostrophe(word[start - 1].unicode());
        if (!anyKnows(vocabularies, part) &&
            !(apostropheAfter && anyKnows(vocabularies, word.mid(start, part.size() + 1))) &&
            !(apostropheBefore && anyKnows(vocabularies, word.mid(start - 1, part.size() + 1))))
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

Morphology::Morphology()
    : Morphology(Options{}) {
}

Morphology::Morphology(Options options)
    : m_options(std::move(options)) {
    if (m_options.modesFolder.isEmpty())
        m_options.modesFolder = ApertiumEngine::defaultModesFolder();
    m_loader.setMaxThreadCount(1);
}

Morphology::~Morphology() {
    stop(QDeadlineTimer::Forever);
}

bool Morphology::stop(QDeadlineTimer deadline) {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    return m_loader.waitForDone(deadline.isForever() ? -1 : int(deadline.remainingTime()));
}

Morphology& Morphology::shared() {
    static Morphology instance;
    return instance;
}

QStringList Morphology::words(QStringView text) {
    QStringList result;
    QString current;
    // The apostrophe or hyphen met after the current word's letters; 0 for none.
    char16_t joiner = 0;
    const auto flush = [&] {
        if (!current.isEmpty())
            result << current;
        current.clear();
        joiner = 0;
    };
    for (const uint c : text.toUcs4()) {
        if (isLetter(c)) {
            if (joiner)
                current.append(QChar(joiner));
            joiner = 0;
            current.append(QChar::fromUcs4(c));
        } else if (isJoiner(c) && !current.isEmpty() && !joiner) {
            joiner = char16_t(c);
        } else {
            flush();
            if (result.size() == maxWords)
                return result;
        }
    }
    flush();
    return result.mid(0, maxWords);
}

void Morphology::rescanSoon(const QStringList& asked) {
    if (m_scanning)
        for (const QString& code : asked)
            if (!m_asked.contains(code))
                m_asked << code;
    const auto now = std::chrono::steady_clock::now();
    if (m_stopping || ((m_scanned || m_scanning) && now - m_lastScan < m_options.rescanInterval))
        return;
    m_lastScan = now;
    // A reading under way may have missed what changed since it began.
    if (m_scanning) {
        m_scanAgain = true;
        return;
    }
    m_scanning = true;
    m_asked = asked;
    m_loader.start([this] {
        for (;;) {
            rescan();
            std::lock_guard lock(m_mutex);
            if (std::exchange(m_scanAgain, false) && !m_stopping)
                continue;
            m_scanning = false;
            // The languages asked about meanwhile load without waiting for another question.
            readyOrNone(std::exchange(m_asked, {}));
            break;
        }
        m_changed.notify_all();
    });
}

void Morphology::rescan() {
    // Installing, upgrading or removing a pair adds, changes or removes mode files.
    const QDir folder(m_options.modesFolder);
    const QFileInfoList modes = folder.entryInfoList({u"*.mode"_s}, QDir::Files, QDir::Name);
    QStringList seen;
    for (const QFileInfo& mode : modes)
        seen << mode.fileName() + u'/' + QString::number(mode.size()) + u'/' +
                    QString::number(mode.lastModified().toMSecsSinceEpoch());
    bool unchanged = false;
    {
        std::lock_guard lock(m_mutex);
        unchanged = m_scanned && seen == m_modesSeen;
    }
    QHash<QString, QStringList> found;
    if (!unchanged) {
        for (const QFileInfo& file : modes) {
            const auto mode = ApertiumCatalogue::mode(file.completeBaseName());
            if (!mode)
                continue;
            const QString analyser = firstAnalyser(file.filePath());
            QStringList& files = found[mode->direction.source];
            if (!analyser.isEmpty() && !files.contains(analyser))
                files << analyser;
        }
    }
    {
        std::lock_guard lock(m_mutex);
        if (!unchanged) {
            m_modesSeen = seen;
            // A language whose analysers went is told so too.
            for (auto it = m_languages.cbegin(); it != m_languages.cend(); ++it)
                if (!found.contains(it.key()))
                    found.insert(it.key(), {});
            for (auto it = found.cbegin(); it != found.cend(); ++it) {
                Language& language = m_languages[it.key()];
                if (language.files == *it && language.generation > 0)
                    continue;
                language.files = *it;
                language.status = Status::idle;
                ++language.generation;
                language.vocabularies.clear();
                language.bytes = 0;
            }
        }
        m_scanned = true;
    }
}

bool Morphology::readyOrNone(const QStringList& languages) {
    if (m_stopping)
        return true;
    if (!m_scanned)
        return false;
    bool loading = false;
    for (const QString& code : languages) {
        const auto it = m_languages.find(code);
        if (it == m_languages.end() || it->files.isEmpty())
            continue;
        if (it->status == Status::idle) {
            it->status = Status::loading;
            m_loader.start([this, code, files = it->files, generation = it->generation] {
                Vocabularies loaded;
                for (const QString& file : files) {
                    {
                        std::lock_guard lock(m_mutex);
                        if (m_stopping)
                            break;
                    }
                    if (auto vocabulary = Vocabulary::load(file))
                        loaded.push_back(std::move(vocabulary));
                }
                finishLoading(code, generation, std::move(loaded));
            });
        }
        loading = loading || it->status == Status::loading;
    }
    // A caller that waits sees what the folder holds now.
    return !loading && !m_scanning;
}

void Morphology::finishLoading(const QString& code, quint64 generation, Vocabularies vocabularies) {
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_languages.find(code);
        if (it != m_languages.end() && it->generation == generation &&
            it->status == Status::loading) {
            // A language none of whose analysers could be read stays without until they change.
            it->status = vocabularies.empty() ? Status::failed : Status::ready;
            it->bytes = 0;
            for (const auto& vocabulary : vocabularies)
                it->bytes += vocabulary->bytes();
            it->vocabularies = std::move(vocabularies);
            it->lastUse = ++m_clock;
            keepWithinBudget(code);
        }
    }
    m_changed.notify_all();
}

void Morphology::keepWithinBudget(const QString& kept) {
    qsizetype total = 0;
    for (const Language& language : std::as_const(m_languages))
        total += language.bytes;
    while (total > m_options.memoryBudget) {
        auto oldest = m_languages.end();
        for (auto it = m_languages.begin(); it != m_languages.end(); ++it)
            if (it.key() != kept && it->status == Status::ready &&
                (oldest == m_languages.end() || it->lastUse < oldest->lastUse))
                oldest = it;
        if (oldest == m_languages.end())
            return;
        // Callers still holding its vocabularies keep them until they are done.
        total -= oldest->bytes;
        oldest->status = Status::idle;
        oldest->vocabularies.clear();
        oldest->bytes = 0;
    }
}

QHash<QString, QList<bool>> Morphology::known(const QStringList& words,
                                              const QStringList& languages) {
    QHash<QString, Vocabularies> ready;
    {
        Lock lock(m_mutex);
        rescanSoon(languages);
        const auto settled = [&] { return readyOrNone(languages); };
        if (!settled() && !onMainThread())
            m_changed.wait_for(lock, m_options.wait, settled);
        ++m_clock;
        for (const QString& code : languages) {
            const auto it = m_languages.find(code);
            if (it != m_languages.end() && it->status == Status::ready) {
                it->lastUse = m_clock;
                ready.insert(code, it->vocabularies);
            }
        }
    }
    QHash<QString, QList<bool>> result;
    for (auto it = ready.cbegin(); it != ready.cend(); ++it) {
        QList<bool>& knows = result[it.key()];
        knows.reserve(words.size());
        for (const QString& word : words)
            knows << knowsWord(*it, word);
    }
    return result;
}

QStringList Morphology::languages() {
    std::lock_guard lock(m_mutex);
    rescanSoon({});
    QStringList result;
    for (auto it = m_languages.cbegin(); it != m_languages.cend(); ++it)
        if (!it->files.isEmpty())
            result << it.key();
    result.sort();
    return result;
}

void Morphology::prefetch(const QStringList& languages) {
    std::lock_guard lock(m_mutex);
    QStringList fresh;
    for (const QString& code : languages) {
        const auto it = m_languages.constFind(code);
        if (it != m_languages.cend() && !it->files.isEmpty() && !m_prefetched.contains(code)) {
            m_prefetched.insert(code);
            fresh << code;
        }
    }
    if (!fresh.isEmpty())
        readyOrNone(fresh);
}

bool Morphology::load(const QStringList& languages, std::chrono::milliseconds bound) {
    Lock lock(m_mutex);
    rescanSoon(languages);
    m_changed.wait_for(lock, bound, [&] { return readyOrNone(languages); });
    return std::all_of(languages.cbegin(), languages.cend(), [&](const QString& code) {
        const Language language = m_languages.value(code);
        return language.files.isEmpty() || language.status == Status::ready;
    });
}

qsizetype Morphology::bytes() {
    std::lock_guard lock(m_mutex);
    qsizetype total = 0;
    for (const Language& language : std::as_const(m_languages))
        total += language.bytes;
    return total;
}

} // namespace tivela
