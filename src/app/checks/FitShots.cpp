#include "app/checks/FitShots.h"

#include "app/checks/ScreenshotRenderer.h"

using namespace Qt::StringLiterals;

namespace tivela::FitShots {

const QList<Sample>& samples() {
    static const QList<Sample> table{
        {u"1-word"_s, u"mountain"_s},
        {u"2-words"_s, u"good morning"_s},
        {u"sentence"_s,
         u"Could you recommend a quiet café near the old town where we can work for a few "
         u"hours?"_s},
        {u"paragraph"_s,
         u"The weather in the mountains changes quickly, so always check the forecast before you "
         u"leave and pack a warm jacket even in summer. Most trails start near the old railway "
         u"station; the visitor centre there has maps, sells water and can tell you which paths "
         u"are closed after a storm. The ridge walk to the lake takes about four hours with a "
         u"steep climb in the middle, and the last bus back leaves at six."_s},
        // No engine pair takes Russian: the picture shows the problem.
        {u"ru"_s, u"Доброе утро"_s},
        // With Spanish and English as hints, a greeting as short as "Bom dia" reads as Spanish.
        {u"pt"_s, u"Obrigado pela ajuda"_s},
        {u"es"_s, u"Buenos días"_s},
        {u"de-long"_s, u"Rechtsschutzversicherungsgesellschaften"_s},
    };
    return table;
}

void run(const QString& folder) {
    ScreenshotRenderer::start(folder, u"tivela-fit"_s, {u"es"_s, u"en"_s}, &render);
}

QCoro::Task<> render(ScreenshotRenderer::Session& session) {
    co_await session.prepare();
    for (const Sample& sample : samples()) {
        session.model().show(sample.text);
        // Single words too: the fitting is the subject, not the card.
        co_await ScreenshotRenderer::wait(session.model(), false);
        const QString name = u"mac-fit-"_s + sample.name;
        co_await session.popover(name);
    }
}

} // namespace tivela::FitShots
