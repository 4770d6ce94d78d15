#include "support/FakeAppServices.h"

#include "core/LanguageDetector.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::test {

void VirtualTime::singleShot(int milliseconds, QObject* context, std::function<void()> work) {
    timers_ << Timer{elapsed_ + std::max(0, milliseconds), scheduled_++, context, std::move(work)};
}

void VirtualTime::advance(int milliseconds) {
    const qint64 end = elapsed_ + std::max(0, milliseconds);
    for (;;) {
        const auto next = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
            return a.due != b.due ? a.due < b.due : a.order < b.order;
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

static QString cardKey(const QString& word, const QString& from, const QString& to) {
    return QString(word + u'|' + from + u'|' + to);
}

void FakeDictionary::add(const DictionaryEntry& entry) {
    QMutexLocker lock(&mutex_);
    entries_.insert(cardKey(entry.word, entry.from, entry.to), entry);
}

void FakeDictionary::block(const QString& word) {
    QMutexLocker lock(&mutex_);
    gates_.insert(word, std::make_shared<QSemaphore>());
}

void FakeDictionary::release(const QString& word) {
    QMutexLocker lock(&mutex_);
    if (const auto gate = gates_.take(word))
        gate->release(1000);
}

QStringList FakeDictionary::lookups() const {
    QMutexLocker lock(&mutex_);
    return lookups_;
}

std::optional<DictionaryEntry> FakeDictionary::lookup(const QString& word, const QString& from,
                                                      const QString& to) {
    std::shared_ptr<QSemaphore> gate;
    {
        QMutexLocker lock(&mutex_);
        lookups_ << word;
        gate = gates_.value(word);
    }
    if (gate)
        gate->tryAcquire(1, 10000);
    QMutexLocker lock(&mutex_);
    if (const auto it = entries_.constFind(cardKey(word, from, to)); it != entries_.cend())
        return *it;
    return std::nullopt;
}

bool FakeDictionary::isInstalled(const QString&) {
    return false;
}

QList<QStringList> FakeDownloads::ensured() const {
    QMutexLocker lock(&mutex_);
    return ensured_;
}

QFuture<bool> FakeDownloads::ensure(const QStringList& codes) {
    {
        QMutexLocker lock(&mutex_);
        ensured_ << codes;
    }
    return QtFuture::makeReadyFuture(download(codes));
}

QStringList FakeDownloads::packs(const QString& from, const QString& to) {
    return packsOf(from, to);
}

std::optional<QString> FakeDetection::detect(const QString& text, const QSet<QString>& allowed,
                                             const QStringList&) {
    const QString code = languages.value(text);
    if (code.isEmpty() || !allowed.contains(code))
        return std::nullopt;
    return code;
}

bool FakeDetection::isSingleWord(const QString& text) {
    return LanguageDetector::isSingleWord(text);
}

void FakePasteboard::setText(const std::optional<QString>& text) {
    text_ = text;
    ++changes_;
}

bool FakePasteboard::hasText() {
    ++reads_;
    return text_.has_value();
}

void FakeEditor::takeFocus() {
    ++focusRequests;
    focused = true;
}

void FakeEditor::replaceAllText(const QString& text) {
    replacements << text;
    if (typed)
        typed(text);
}

} // namespace tivela::test
