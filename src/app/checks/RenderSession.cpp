#include "app/checks/RenderSession.h"

#include "app/AppDelegate.h"
#include "app/checks/Await.h"
#include "app/checks/ScreenshotRenderer.h"
#include "app/views/DictionaryCard.h"
#include "app/views/PopoverView.h"
#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Translator.h"
#include "platform/Defaults.h"

#include <QAction>
#include <QUuid>
#include <QVBoxLayout>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tivela::ScreenshotRenderer {
namespace {

constexpr QSize popoverCard(420, 600);

Item seeded(const Seed& seed, const QString& translation, double created) {
    Item item;
    item.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    item.text = seed.text;
    item.translation = translation;
    item.from = seed.from;
    item.to = seed.to;
    item.created = created;
    return item;
}

} // namespace

Session::Session(const QString& folder, const QString& prefix, const LanguagePair& pair)
    : m_folder(folder)
    , m_pair(pair)
    , m_workspace(Lexicon::shared(), pair, prefix)
    , m_selectionHelp(AppDelegate::makeSelectionHelp())
    , m_views(ViewServices::production()) {
    // The voices are chosen among the mode's pair, not the person's.
    m_views.hints = [pair] { return QStringList{pair.mine, pair.second}; };
    m_views.selectionHelp = m_selectionHelp.get();
}

Session::~Session() = default;

void Session::notDrawn(const QString& name, const QString& reason) {
    std::fprintf(stderr, "tivela: %s not drawn: %s\n", qPrintable(name), qPrintable(reason));
    fail();
}

void Session::skipped(const QString& name, const QString& reason) {
    std::fprintf(stderr, "tivela: %s skipped: %s\n", qPrintable(name), qPrintable(reason));
}

QCoro::Task<> Session::seed(QList<Seed> seeds) {
    Store& store = m_workspace.store();
    const double now = Store::now();
    for (qsizetype i = 0; i < seeds.size(); ++i) {
        const Seed& row = seeds[i];
        QFuture<QString> future =
            Defaults::translator().translate(row.text, row.from, row.to, false);
        QString translation = row.text;
        if (!co_await finishedWithin(future, seedBound)) {
            std::fprintf(stderr, "tivela: no translation of \"%s\" within %lld s\n",
                         qPrintable(row.text), qlonglong(seedBound.count() / 1000));
            fail();
        } else {
            try {
                translation = future.result();
            } catch (const std::exception&) {
            }
        }
        store.addHistory(seeded(row, translation, now - double(i) * 3700));
        if (row.inPhrasebook)
            store.addPhrase(seeded(row, translation, now - double(i) * 86000));
    }
}

QCoro::Task<> Session::prepare() {
    AppModel& model = this->model();
    if (!co_await finishedWithin(model.loadLanguages(), seedBound)) {
        std::fprintf(stderr, "tivela: the engine's languages did not come within %lld s\n",
                     qlonglong(seedBound.count() / 1000));
        fail();
    }
    model.setPair(m_pair);
    model.reloadHistory();
    model.reloadPhrases();
}

QCoro::Task<> Session::shoot(std::function<QWidget*()> make, QSize card, QString name) {
    for (const bool dark : {false, true}) {
        const QString file = dark ? name + u"-dark"_s : name;
        const bool written = co_await save(make, card, file, dark, m_folder);
        if (!written)
            fail();
    }
}

QCoro::Task<> Session::popover(QString name) {
    const std::function<QWidget*()> make = [this] { return new PopoverView(model(), m_views); };
    co_await shoot(make, popoverCard, name);
}

QCoro::Task<> Session::dictionaryCard(QSize card, QString name) {
    const std::optional<DictionaryEntry> entry = model().entry();
    if (!entry) {
        const QString word = model().input().trimmed();
        const QString from = model().detected().value_or(m_pair.second);
        QStringList missing;
        for (const QString& code : LexiconDownloader::packs(from, m_pair.target(from)))
            if (!Lexicon::shared().isInstalled(code))
                missing << code;
        if (missing.isEmpty())
            skipped(name, u"\""_s + word + u"\" has no dictionary card"_s);
        else
            notDrawn(name, u"no dictionary pack of "_s + missing.join(u", "_s) +
                               (LexiconDownloader::shared().baseURL()
                                    ? QString()
                                    : u" (no pack source configured)"_s));
        co_return;
    }
    const std::function<QWidget*()> make = [this, entry] {
        auto* frame = new QWidget;
        auto* layout = new QVBoxLayout(frame);
        layout->setContentsMargins(14, 14, 14, 14);
        layout->addWidget(new DictionaryCard(*entry, model(), m_views), 1, Qt::AlignTop);
        return frame;
    };
    co_await shoot(make, card, name);
}

} // namespace tivela::ScreenshotRenderer
