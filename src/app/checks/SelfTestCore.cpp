#include "app/checks/SelfTest.h"

#include "app/AppModel.h"
#include "app/GlossBatches.h"
#include "app/Wording.h"
#include "app/checks/Await.h"
#include "app/checks/CheckWorkspace.h"
#include "core/LanguageDetector.h"
#include "core/Languages.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/ScriptCheck.h"
#include "core/Speaker.h"
#include "core/Store.h"
#include "core/Translator.h"
#include "core/Voices.h"
#include "platform/Defaults.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tivela::SelfTest {
namespace {

// What a bounded wait for a translation brought: the value, or the error in words.
template <typename T>
struct Answer {
    std::optional<T> value;
    QString error;
    qint64 milliseconds = 0;
};

template <typename T>
QCoro::Task<Answer<T>> answerOf(QFuture<T> future, const QElapsedTimer& clock) {
    const bool finished = co_await finishedWithin(future, translationBound);
    Answer<T> answer;
    answer.milliseconds = clock.elapsed();
    if (!finished) {
        answer.error = u"no answer within %1 s"_s.arg(translationBound.count() / 1000);
        co_return answer;
    }
    try {
        answer.value = future.result();
    } catch (const std::exception& error) {
        answer.error = QString::fromUtf8(error.what());
    }
    co_return answer;
}

QString timed(const QString& text, qint64 milliseconds) {
    return QString(text + u" ("_s + QString::number(milliseconds) + u" ms)"_s);
}

// A translation check: its own record whether the engine answers, fails or overruns.
QCoro::Task<> sentenceCheck(CheckReport& report, Translator& translator, QString name, QString text,
                            QString from, QString to, std::function<bool(const QString&)> passes) {
    QElapsedTimer clock;
    clock.start();
    const Answer<QString> answer =
        co_await answerOf(translator.translate(text, from, to, false), clock);
    if (!answer.value)
        report.check(name, false, answer.error);
    else
        report.check(name, passes(*answer.value), timed(*answer.value, answer.milliseconds));
}

QString listText(const QStringList& texts) {
    QStringList quoted;
    for (const QString& text : texts)
        quoted << u'"' + text + u'"';
    return QString(u'[' + quoted.join(u", "_s) + u']');
}

QStringList termTexts(const QList<DictionaryEntry::Group>& groups) {
    QStringList texts;
    for (const DictionaryEntry::Group& group : groups)
        for (const DictionaryEntry::Term& term : group.terms)
            texts << term.text;
    return texts;
}

Item sample(const QString& text, const QString& translation, const QString& from,
            const QString& to) {
    Item item;
    item.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    item.text = text;
    item.translation = translation;
    item.from = from;
    item.to = to;
    item.created = Store::now();
    return item;
}

} // namespace

QCoro::Task<> engineChecks(CheckReport& report, Translator& translator) {
    QFuture<QSet<QString>> supported = translator.supportedLanguages();
    const bool listed = co_await finishedWithin(supported, translationBound);
    const QStringList codes =
        Languages::sorted(listed ? supported.result().values() : QStringList());
    report.check(u"translation: languages"_s, codes.size() >= 15,
                 QString(QString::number(codes.size()) + u": "_s + codes.join(u',')));

    const QList<bool> strategies{false, true};
    for (const bool fast : strategies) {
        QFuture<PairStatus> status = translator.status(u"en"_s, u"es"_s, fast);
        const bool known = co_await finishedWithin(status, translationBound);
        const QString raw = known ? rawValue(status.result()) : u"no answer"_s;
        if (fast)
            report.check(u"translation: fast engine en→es (info)"_s, true, raw);
        else
            report.check(u"translation: en→es installed"_s, raw == u"installed"_s, raw);
    }

    report.check(u"script check catches a wrong-language answer"_s,
                 !ScriptCheck::fits(u"ประโยคที่ 3: погоดในภูเขา"_s, u"ru"_s) &&
                     ScriptCheck::fits(u"Погода в горах"_s, u"ru"_s),
                 u""_s);

    co_await sentenceCheck(report, translator, u"translation: en→es sentence"_s,
                           u"Good morning! How are you today?"_s, u"en"_s, u"es"_s,
                           [](const QString& answer) {
                               return answer.contains(u"Buenos"_s) || answer.contains(u"días"_s);
                           });
    // Each direction is one engine mode of its own, so no English stands between these two.
    const QString station = u"Où est la gare ?"_s;
    co_await sentenceCheck(report, translator, u"translation: fr→es (no English on either side)"_s,
                           station, u"fr"_s, u"es"_s, [station](const QString& answer) {
                               return !answer.isEmpty() && answer != station;
                           });

    QElapsedTimer clock;
    clock.start();
    const QStringList batch{u"One"_s, u"Two apples"_s, u"Click <a1>here</a1> to read more."_s};
    const Answer<QStringList> answer =
        co_await answerOf(translator.translate(batch, u"en"_s, u"es"_s, true), clock);
    const QString name = u"translation: batch en→es keeps markup"_s;
    if (!answer.value) {
        report.check(name, false, answer.error);
    } else {
        const QStringList& texts = *answer.value;
        report.check(name,
                     texts.size() == 3 && texts[2].contains(u"<a1>"_s) &&
                         texts[2].contains(u"</a1>"_s),
                     timed(listText(texts), answer.milliseconds));
    }
}

void detectionChecks(CheckReport& report) {
    const QStringList& popular = Languages::popularity();
    const QSet<QString> allowed(popular.begin(), popular.end());
    const QList<std::pair<QString, QString>> samples{
        {u"Добрый день, как дела?"_s, u"ru"_s},
        {u"Where is the nearest train station?"_s, u"en"_s},
        {u"¿Dónde está la biblioteca?"_s, u"es"_s},
        {u"Ich habe heute keine Zeit."_s, u"de"_s},
        {u"今日はいい天気ですね"_s, u"ja"_s},
    };
    QStringList seen;
    bool all = true;
    for (const auto& [text, expected] : samples) {
        const auto guess = Defaults::detect(text, allowed, {});
        const QString found = guess ? guess->code : u"?"_s;
        all = all && found == expected;
        seen << QString(expected + u'=' + found);
    }
    report.check(u"detection: 5 languages"_s, all, seen.join(u' '));

    const auto guess = Defaults::detect(u"Hand"_s, allowed, {u"ru"_s, u"en"_s});
    report.check(u"detection: short word leans to the person's pair"_s,
                 guess && guess->code == u"en"_s, guess ? guess->code : u"nil"_s);
}

QString Packs::problem(const QString& from, const QString& to) const {
    for (const QString& code : LexiconDownloader::packs(from, to))
        if (const auto reason = missing.constFind(code); reason != missing.cend())
            return *reason;
    return {};
}

QStringList neededPacks() {
    return {u"en"_s, u"ru"_s, u"es"_s};
}

QCoro::Task<Packs> fetchPacks(LexiconDownloader& downloader, QStringList codes,
                              std::chrono::milliseconds bound) {
    QElapsedTimer clock;
    clock.start();
    QList<QFuture<bool>> fetches;
    for (const QString& code : codes)
        fetches << downloader.ensure(code);
    QList<bool> finished;
    for (const QFuture<bool>& fetch : fetches) {
        const auto left = std::max(std::chrono::milliseconds(0),
                                   bound - std::chrono::milliseconds(clock.elapsed()));
        finished << co_await finishedWithin(fetch, left);
    }

    Packs packs;
    packs.installed = downloader.installed();
    const std::optional<QUrl>& base = downloader.baseURL();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const QString& code = codes[i];
        if (packs.installed.contains(code))
            continue;
        if (!base) {
            packs.missing.insert(code, u"no pack source configured"_s);
            continue;
        }
        QUrl url = *base;
        url.setPath(QString(url.path() + (url.path().endsWith(u'/') ? u""_s : u"/"_s) +
                            Lexicon::fileName(code)));
        QString reason;
        if (!finished[i])
            reason = u"not fetched within %1 s"_s.arg(bound.count() / 1000);
        else if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
            reason = url.toLocalFile() + u" does not exist"_s;
        else if (url.isLocalFile())
            reason = url.toLocalFile() + u" is not a pack that can be installed"_s;
        else
            reason = url.toDisplayString() + u" could not be fetched"_s;
        packs.missing.insert(code, QString(u"pack "_s + code + u": "_s + reason));
    }
    co_return packs;
}

void dictionaryChecks(CheckReport& report, Lexicon& lexicon, const Packs& packs) {
    // A check that failed while a pack it reads is missing says which, and why, in place of
    // what it saw.
    const auto check = [&](const QString& name, bool ok, const QString& detail, const QString& from,
                           const QString& to) {
        const QString problem = ok ? QString() : packs.problem(from, to);
        report.check(name, ok, problem.isEmpty() ? detail : problem);
    };
    check(u"dictionary: packs on disk"_s,
          packs.installed.contains(u"en"_s) && packs.installed.contains(u"ru"_s),
          packs.installed.join(u','), u"en"_s, u"ru"_s);

    if (const auto run = lexicon.lookup(u"run"_s, u"en"_s, u"ru"_s)) {
        const auto verb = std::find_if(run->groups.begin(), run->groups.end(),
                                       [](const auto& group) { return group.pos == u"verb"_s; });
        const QStringList texts = verb == run->groups.end() ? QStringList() : termTexts({*verb});
        check(u"dictionary: run en→ru"_s, texts.contains(u"бежать"_s),
              QString(u"verb: "_s + texts.mid(0, 6).join(u", "_s) + u" · ipa "_s +
                      run->ipa.value_or(u"-"_s)),
              u"en"_s, u"ru"_s);
    } else {
        check(u"dictionary: run en→ru"_s, false, u"no entry"_s, u"en"_s, u"ru"_s);
    }

    if (const auto ran = lexicon.lookup(u"ran"_s, u"en"_s, u"ru"_s))
        check(u"dictionary: inflection ran → run"_s, ran->lemma == u"run"_s,
              QString(u"lemma "_s + ran->lemma.value_or(u"-"_s)), u"en"_s, u"ru"_s);
    else
        check(u"dictionary: inflection ran → run"_s, false, u"no entry"_s, u"en"_s, u"ru"_s);

    const QString dogs = u"dictionary: собаки ru→en (form of собака)"_s;
    if (const auto form = lexicon.lookup(u"собаки"_s, u"ru"_s, u"en"_s)) {
        const QStringList texts = termTexts(form->groups);
        check(dogs, form->lemma == u"собака"_s && texts.contains(u"dog"_s),
              texts.mid(0, 5).join(u", "_s), u"ru"_s, u"en"_s);
    } else {
        check(dogs, false, u"no entry"_s, u"ru"_s, u"en"_s);
    }

    if (packs.installed.contains(u"es"_s))
        if (const auto dog = lexicon.lookup(u"собака"_s, u"ru"_s, u"es"_s)) {
            const QStringList texts = termTexts(dog->groups);
            report.check(u"dictionary: собака ru→es (through English senses)"_s,
                         texts.contains(u"perro"_s), texts.mid(0, 5).join(u", "_s));
        }

    // The packs are loaded by now: this measures one lookup, and only one that found its word.
    QElapsedTimer clock;
    clock.start();
    const bool found = lexicon.lookup(u"house"_s, u"en"_s, u"ru"_s).has_value();
    const qint64 milliseconds = clock.elapsed();
    check(u"dictionary: lookup speed"_s, found && milliseconds < 50,
          found ? QString(QString::number(milliseconds) + u" ms"_s) : u"no entry"_s, u"en"_s,
          u"ru"_s);
}

QCoro::Task<> cardChecks(CheckReport& report, CheckWorkspace& workspace, const Packs& packs) {
    const QString name = u"card: definitions in my language"_s;
    const LanguagePair pair{u"es"_s, u"en"_s};
    if (const QString problem = packs.problem(pair.second, pair.mine); !problem.isEmpty()) {
        report.check(name, false, problem);
        co_return;
    }
    AppModel& model = workspace.model();
    model.setPair(pair);
    // The card first: without one, or with nothing in it to translate, no definition comes.
    bool lookedUp = false;
    const QMetaObject::Connection lookups =
        QObject::connect(&model, &AppModel::dictionaryLoadingChanged, &model,
                         [&] { lookedUp = lookedUp || model.dictionaryLoading(); });
    model.show(u"mountain"_s);
    QElapsedTimer clock;
    clock.start();
    while (!(lookedUp && !model.dictionaryLoading()) && clock.elapsed() < glossesBound.count())
        co_await qCoro(&model, &AppModel::dictionaryLoadingChanged,
                       glossesBound - std::chrono::milliseconds(clock.elapsed()));
    QObject::disconnect(lookups);
    const bool wanted =
        model.entry() &&
        !GlossBatches::texts(*model.entry(), model.pair().mine, GlossBatches::meanings).isEmpty();
    if (!wanted) {
        report.check(name, false,
                     timed(model.entry() ? u"no definitions to translate"_s : u"no entry"_s,
                           clock.elapsed()));
        co_return;
    }
    while (model.glosses().isEmpty() && clock.elapsed() < glossesBound.count())
        co_await qCoro(&model, &AppModel::glossesChanged,
                       glossesBound - std::chrono::milliseconds(clock.elapsed()));
    const qint64 milliseconds = clock.elapsed();

    const QHash<QString, QString> glosses = model.glosses();
    QStringList translations = glosses.values();
    translations.sort();
    const QString first = translations.value(0);
    // An engine that gave the English back translated nothing.
    report.check(name, !first.isEmpty() && !glosses.contains(first),
                 timed(first.left(60), milliseconds));
}

void storeChecks(CheckReport& report, const QString& databasePath) {
    Store store(databasePath);
    for (int i = 0; i < 2; ++i)
        store.addHistory(sample(u"hello"_s, u"привет"_s, u"en"_s, u"ru"_s));
    const int rows = int(store.history(QString(), 200).size());
    report.check(u"store: history de-duplicates"_s, rows == 1, rows);

    const std::optional<Item> card =
        store.addPhrase(sample(u"mountain"_s, u"гора"_s, u"en"_s, u"ru"_s));
    report.check(u"store: phrasebook add"_s, store.phrases(QString()).size() == 1, u""_s);
    report.check(u"cards: new card is due"_s, store.dueCards(Store::now()).size() == 1, u""_s);

    if (card)
        store.answer(card->id, true, Store::now());
    const QList<Item> phrases = store.phrases(QString());
    report.check(u"cards: known card moves on"_s,
                 store.dueCards(Store::now()).isEmpty() && !phrases.isEmpty() &&
                     phrases.first().box == 1,
                 u""_s);

    // A store that cannot be opened deletes nothing, and must not pass for one that did.
    const bool deleted = card && store.deletePhrase(card->id);
    report.check(u"store: phrasebook delete"_s, deleted && store.phrases(QString()).isEmpty(),
                 u""_s);
}

QCoro::Task<> speechChecks(CheckReport& report, Speaker& speaker) {
    // The voice list arrives in the background; asked earlier, every voice would be missing.
    co_await finishedWithin(speaker.ready(), voicesBound);
    for (const QString& code : {u"en"_s, u"ru"_s, u"es"_s}) {
        const auto voice = speaker.voice(code);
        report.check(QString(u"speech: "_s + code + u" voice"_s), voice.has_value(),
                     voice ? QString(voice->name + u" ("_s + voice->language + u')') : u"none"_s);
    }
    report.check(u"speech: Russian text marked English goes to Russian"_s,
                 Voices::speechLanguage(u"Найти"_s, u"en"_s, {u"ru"_s, u"en"_s}) == u"ru"_s, u""_s);
    report.check(Wording::voicesCheck(), true, speaker.languages().join(u','));
}

} // namespace tivela::SelfTest
