#include "app/checks/SiteShots.h"

#include "app/AppModel.h"

using namespace Qt::StringLiterals;

namespace tivela::SiteShots {
namespace {

QString trail() {
    return u"The trail to the lake is closed after the storm, so take the path along the river."_s;
}

} // namespace

const QList<ScreenshotRenderer::Seed>& seeds() {
    static const QList<ScreenshotRenderer::Seed> table{
        {u"en"_s, u"es"_s, u"discovery"_s},
        {u"pt"_s, u"es"_s, u"Boa viagem"_s},
        {u"en"_s, u"es"_s, u"See you tomorrow"_s},
        {u"en"_s, u"es"_s, u"to take something for granted"_s},
        {u"fr"_s, u"es"_s, u"Où est la gare ?"_s},
        {u"en"_s, u"es"_s, u"mountain"_s},
    };
    return table;
}

QStringList samples() {
    return {u"mountain"_s, trail()};
}

void run(const QString& folder) {
    ScreenshotRenderer::start(folder, u"tivela-site"_s, {u"es"_s, u"en"_s}, &render);
}

QCoro::Task<> render(ScreenshotRenderer::Session& session) {
    AppModel& model = session.model();
    co_await session.seed(seeds());
    co_await session.prepare();

    model.show(u"mountain"_s);
    co_await ScreenshotRenderer::wait(model, true);
    co_await session.popover(u"site-mac-word"_s);
    co_await session.dictionaryCard(QSize(420, 640), u"site-mac-card"_s);

    model.show(trail());
    co_await ScreenshotRenderer::wait(model, false);
    co_await session.popover(u"site-mac-sentence"_s);

    model.setTab(Tab::phrasebook);
    co_await session.popover(u"site-mac-phrasebook"_s);
    model.setTab(Tab::cards);
    co_await session.popover(u"site-mac-cards"_s);
    model.setTab(Tab::translate);
}

} // namespace tivela::SiteShots
