#pragma once

#include "app/AppServices.h"
#include "app/InputEditor.h"
#include "core/LanguageDetector.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSemaphore>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>

// Stand-ins for the application model's services, for tests of the model and its views.
namespace tivela::test {

// Timers and a clock that move only when a test advances them.
class VirtualTime : public Scheduler {
public:
    static constexpr double epoch = 1'700'000'000;

    void singleShot(int milliseconds, QObject* context, std::function<void()> work) override {
        m_timers << Timer{m_elapsed + std::max(0, milliseconds), m_scheduled++, context, work};
    }
    // Runs every timer that falls due within the next milliseconds, by due time and then by
    // order of scheduling, with the clock set to each one's time.
    void advance(int milliseconds) {
        const qint64 end = m_elapsed + std::max(0, milliseconds);
        for (;;) {
            const auto next =
                std::min_element(m_timers.begin(), m_timers.end(), [](auto& a, auto& b) {
                    return std::pair(a.due, a.order) < std::pair(b.due, b.order);
                });
            if (next == m_timers.end() || next->due > end)
                break;
            const Timer timer = *next;
            m_timers.erase(next);
            m_elapsed = timer.due;
            if (timer.context)
                timer.work();
        }
        m_elapsed = end;
    }
    // Seconds since 1970.
    double now() const { return epoch + double(m_elapsed) / 1000; }

private:
    struct Timer {
        qint64 due = 0;
        quint64 order = 0;
        QPointer<QObject> context;
        std::function<void()> work;
    };

    QList<Timer> m_timers;
    qint64 m_elapsed = 0;
    quint64 m_scheduled = 0;
};

// Cards by word and pair; lookups of a blocked word wait until the test releases it. No pack
// counts as installed.
class FakeDictionary : public Dictionary {
public:
    void add(const DictionaryEntry& entry) {
        QMutexLocker lock(&m_mutex);
        m_entries.insert(key(entry.word, entry.from, entry.to), entry);
    }
    void block(const QString& word) {
        QMutexLocker lock(&m_mutex);
        m_gates.insert(word, std::make_shared<QSemaphore>());
    }
    void release(const QString& word) {
        QMutexLocker lock(&m_mutex);
        if (const auto gate = m_gates.take(word))
            gate->release(1000);
    }
    QStringList lookups() const {
        QMutexLocker lock(&m_mutex);
        return m_lookups;
    }

    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to) override {
        std::shared_ptr<QSemaphore> gate;
        {
            QMutexLocker lock(&m_mutex);
            m_lookups << word;
            gate = m_gates.value(word);
        }
        if (gate)
            gate->tryAcquire(1, 10000);
        QMutexLocker lock(&m_mutex);
        if (const auto it = m_entries.constFind(key(word, from, to)); it != m_entries.cend())
            return *it;
        return std::nullopt;
    }
    bool isInstalled(const QString&) override { return false; }

private:
    static QString key(const QString& word, const QString& from, const QString& to) {
        return QString(word + u'|' + from + u'|' + to);
    }

    mutable QMutex m_mutex;
    QHash<QString, DictionaryEntry> m_entries;
    QHash<QString, std::shared_ptr<QSemaphore>> m_gates;
    QStringList m_lookups;
};

// Records what it is asked to fetch; a download does what the test says.
class FakeDownloads : public PackDownloads {
public:
    std::function<QStringList(const QString& from, const QString& to)> packsOf =
        [](const QString&, const QString&) { return QStringList(); };
    std::function<bool(const QStringList& codes)> download = [](const QStringList&) {
        return false;
    };

    QList<QStringList> ensured() const {
        QMutexLocker lock(&m_mutex);
        return m_ensured;
    }

    QFuture<bool> ensure(const QStringList& codes) override {
        QMutexLocker lock(&m_mutex);
        m_ensured << codes;
        return QtFuture::makeReadyFuture(download(codes));
    }
    QStringList packs(const QString& from, const QString& to) override { return packsOf(from, to); }

private:
    mutable QMutex m_mutex;
    QList<QStringList> m_ensured;
};

// Languages by exact text; single words by the real rule.
class FakeDetection : public Detection {
public:
    QHash<QString, QString> languages;
    // Texts none of whose words the source language knows; set before the model translates.
    QSet<QString> unknown;

    std::optional<QString> detect(const QString& text, const QStringList&) override {
        const QString code = languages.value(text);
        return code.isEmpty() ? std::nullopt : std::optional(code);
    }
    bool isSingleWord(const QString& text) override { return LanguageDetector::isSingleWord(text); }
    bool leftUntranslated(const QString& text, const QString& answer, const QString&) override {
        return answer.trimmed().compare(text.trimmed(), Qt::CaseInsensitive) == 0 &&
               unknown.contains(text.trimmed());
    }
};

class FakePasteboard : public Pasteboard {
public:
    void setText(const std::optional<QString>& text) {
        m_text = text;
        ++m_changes;
    }
    // How often the clipboard's types were read.
    int reads() const { return m_reads; }

    qint64 changeCount() override { return m_changes; }
    bool hasText() override {
        ++m_reads;
        return m_text.has_value();
    }
    std::optional<QString> text() override { return m_text; }

private:
    std::optional<QString> m_text;
    qint64 m_changes = 0;
    int m_reads = 0;
};

// An editor in a window unless told otherwise; what replaces its text goes where `typed` says,
// as the editor's binding hands it to the model.
class FakeEditor : public QObject, public InputEditor {
    Q_OBJECT
    Q_INTERFACES(tivela::InputEditor)

public:
    std::function<void(const QString&)> typed;
    bool inWindow = true;
    bool focused = false;
    int focusRequests = 0;
    QStringList replacements;

    bool isInWindow() const override { return inWindow; }
    bool isFocused() const override { return focused; }
    bool isComposing() const override { return false; }
    void takeFocus() override {
        ++focusRequests;
        focused = true;
    }
    void replaceAllText(const QString& text) override {
        replacements << text;
        typed(text);
    }
};

} // namespace tivela::test
