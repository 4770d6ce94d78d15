#pragma once

#include "app/AppServices.h"
#include "app/InputEditor.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QSemaphore>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

namespace tivela::test {

// Timers and a clock that move only when a test advances them.
class VirtualTime : public Scheduler {
public:
    static constexpr double epoch = 1'700'000'000;

    void singleShot(int milliseconds, QObject* context, std::function<void()> work) override;
    // Runs every timer that falls due within the next milliseconds, in order of due time and
    // then of scheduling, with the clock set to each one's time.
    void advance(int milliseconds);
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

// Cards by word, pair by pair; a blocked word's lookups wait until the test lets them go. No
// pack counts as installed.
class FakeDictionary : public Dictionary {
public:
    void add(const DictionaryEntry& entry);
    void block(const QString& word);
    void release(const QString& word);
    QStringList lookups() const;

    std::optional<DictionaryEntry> lookup(const QString& word, const QString& from,
                                          const QString& to) override;
    bool isInstalled(const QString& lang) override;

private:
    mutable QMutex mutex_;
    QHash<QString, DictionaryEntry> entries_;
    QHash<QString, std::shared_ptr<QSemaphore>> gates_;
    QStringList lookups_;
};

// Records what is asked for; a download does what the test says and reports its result.
class FakeDownloads : public PackDownloads {
public:
    std::function<QStringList(const QString& from, const QString& to)> packsOf = [](auto, auto) {
        return QStringList();
    };
    std::function<bool(const QStringList& codes)> download = [](auto) { return false; };

    QList<QStringList> ensured() const;

    QFuture<bool> ensure(const QStringList& codes) override;
    QStringList packs(const QString& from, const QString& to) override;

private:
    mutable QMutex mutex_;
    QList<QStringList> ensured_;
};

// Languages by exact text; single words by the real rule.
class FakeDetection : public Detection {
public:
    QHash<QString, QString> languages;

    std::optional<QString> detect(const QString& text, const QSet<QString>& allowed,
                                  const QStringList& hints) override;
    bool isSingleWord(const QString& text) override;
};

class FakePasteboard : public Pasteboard {
public:
    void setText(const std::optional<QString>& text);
    int reads() const { return reads_; }

    qint64 changeCount() override { return changes_; }
    bool hasText() override;
    std::optional<QString> text() override { return text_; }

private:
    std::optional<QString> text_;
    qint64 changes_ = 0;
    int reads_ = 0;
};

// An input editor that is in a window unless told otherwise, and types what it is given into
// the model's input, as the editor's binding does.
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
    void takeFocus() override;
    void replaceAllText(const QString& text) override;
};

} // namespace tivela::test
