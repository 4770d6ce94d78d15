#include "app/checks/CheckWorkspace.h"

#include "app/MemoryPairSettings.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace tivela {

CheckWorkspace::CheckWorkspace(Lexicon& lexicon, std::optional<LanguagePair> pair,
                               const QString& prefix)
    : m_folder(QDir::tempPath() + u'/' + prefix + u"-XXXXXX"_s)
    , m_store(std::make_unique<Store>(filePath(u"workspace.sqlite"_s)))
    , m_services(AppServices::production(*m_store, lexicon)) {
    m_services.settings = std::make_shared<MemoryPairSettings>(std::move(pair));
}

AppModel& CheckWorkspace::model() {
    if (!m_model)
        m_model = std::make_unique<AppModel>(m_services);
    return *m_model;
}

CheckWorkspace::~CheckWorkspace() {
    m_model.reset();
    m_store.reset();
}

QString CheckWorkspace::filePath(const QString& name) const {
    return m_folder.filePath(name);
}

} // namespace tivela
