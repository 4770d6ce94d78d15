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
        timers_ << Timer{elapsed_ + std::max(0, milliseconds), scheduled_++, context, work};
    }
    // Runs every timer that falls due within the next milliseconds, by due time and then by
    // order of scheduling, with the clock set to each one's time.
    void advance(int milliseconds) {
        const qint64 end = elapsed_ + std::max(0, milliseconds);
        for (;;) {
            const auto next =
                std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
                    return std::pair(a.due, a.order) < std::pair(b.due, b.order);
                });
            if (next == timers_.end() || next->due > end)
                break;
            const Timer timer = *next;
            timers_.erase(next);
            elapsed_ = timer.due;
            if (timer.context)
                timer.work();
        }
        elapsed_ = end;
    }
    // Seconds since 1970.
    double now() const { return epoch + double(elapsed_) / 1000; }

private:
    struct Timer {
        qint64 due = 0;
        quint64 order = 0;
        QPointer<QObject> context;
        std::function<void()> work;
    };

    QList<Timer> timers_;
    qint64 elapsed_ = 0;
    quint64 scheduled_ = 0;
};

// Cards by word and pair; lookups of a blocked word wait until the test releases it. No pack
// counts as installed.
class FakeDictionary : public Dictionary {
public:
    void add(const DictionaryEntry& entry) {
        QMutexLocker lock(&mutex_);
        entries_.insert(key(entry.word, entry.from, entry.to), entry);
    }
    void block(const QString& word) {
        QMutexLocker lock(&mutex_);
        gates_.insert(word, std::make_shared<QSemaphore>());
    }
    void release(const QString& word) {
        QMutexLocker lock(&mutex_);
        if (const auto gate = gates_.take(word))
            gate->release(1000);
    }
    QStringList lookups() const {
        QMutexLocker lock(&mutex_);
        return lookups_;
    }

    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to) override {
        std::shared_ptr<QSemaphore> gate;
        {
            QMutexLocker lock(&mutex_);
            lookups_ << word;
            gate = gates_.value(word);
        }
        if (gate)
            gate->tryAcquire(1, 10000);
        QMutexLocker lock(&mutex_);
        if (const auto it = entries_.constFind(key(word, from, to)); it != entries_.cend())
            return *it;
        return std::nullopt;
    }
    bool isInstalled(const QString&) override { return false; }

private:
    static QString key(const QString& word, const QString& from, const QString& to) {
        return QString(word + u'|' + from + u'|' + to);
    }

    mutable QMutex mutex_;
    QHash<QString, DictionaryEntry> entries_;
    QHash<QString, std::shared_ptr<QSemaphore>> gates_;
    QStringList lookups_;
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
        QMutexLocker lock(&mutex_);
        return ensured_;
    }

    QFuture<bool> ensure(const QStringList& codes) override {
        QMutexLocker lock(&mutex_);
        ensured_ << codes;
        return QtFuture::makeReadyFuture(download(codes));
    }
    QStringList packs(const QString& from, const QString& to) override { return packsOf(from, to); }

private:
    mutable QMutex mutex_;
    QList<QStringList> ensured_;
};

// Languages by exact text; single words by the real rule.
class FakeDetection : public Detection {
public:
    QHash<QString, QString> languages;

    std::optional<QString> detect(const QString& text, const QSet<QString>& allowed,
                                  const QStringList&) override {
        const QString code = languages.value(text);
        return allowed.contains(code) ? std::optional(code) : std::nullopt;
    }
    bool isSingleWord(const QString& text) override { return LanguageDetector::isSingleWord(text); }
};

class FakePasteboard : public Pasteboard {
public:
    void setText(const std::optional<QString>& text) {
        text_ = text;
        ++changes_;
    }
    // How often the clipboard's types were read.
    int reads() const { return reads_; }

    qint64 changeCount() override { return changes_; }
    bool hasText() override {
        ++reads_;
        return text_.has_value();
    }
    std::optional<QString> text() override { return text_; }

private:
    std::optional<QString> text_;
    qint64 changes_ = 0;
    int reads_ = 0;
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
