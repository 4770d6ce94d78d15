#include "bridge/BridgeServices.h"

#include "core/Lexicon.h"
#include "core/LexiconDownloader.h"
#include "core/Paths.h"
#include "platform/Defaults.h"
#include "platform/desktop/Opener.h"

using namespace Qt::StringLiterals;

namespace tivela {

BridgeServices BridgeServices::production(QString version, Store& store, Translator& translator) {
    BridgeServices services;
    services.version = std::move(version);
    services.store = &store;
    services.translator = &translator;
    services.lexicon = &Lexicon::shared();
    services.downloader = []() -> LexiconDownloader& { return LexiconDownloader::shared(); };
    services.speaker = []() -> Speaker& { return Defaults::speaker(); };
    services.detect = &Defaults::detectAny;
    services.leftUntranslated = &Defaults::leftUntranslated;
    services.prepareJudging = &Defaults::loadAnalysers;
    services.savedPair = [] { return SharedSettings::pair(); };
    services.shortcut = [] { return SharedSettings::string(u"shortcutDisplay"_s); };
    services.open = [](const QString& url) { Opener::open(url); };
    return services;
}

} // namespace tivela
