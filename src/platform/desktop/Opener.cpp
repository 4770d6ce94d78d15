#include "platform/desktop/Opener.h"

#include "platform/desktop/XdgMime.h"

#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace tivela {

Opener& Opener::shared() {
    static Opener opener;
    return opener;
}

Opener::Opener(QObject* parent, int queryMilliseconds)
    : QObject(parent)
    , m_queryMilliseconds(queryMilliseconds) {
}

bool Opener::open(const QString& url) {
    const QString program = QStandardPaths::findExecutable(u"xdg-open"_s);
    return !program.isEmpty() && QProcess::startDetached(program, {url});
}

std::optional<bool> Opener::hasHandler(const QString& scheme) {
    if (const auto it = m_handlers.constFind(scheme); it != m_handlers.cend())
        return *it;
    m_handlers.insert(scheme, std::nullopt);

    const QString program = QStandardPaths::findExecutable(u"xdg-mime"_s);
    if (program.isEmpty()) {
        m_handlers.insert(scheme, false);
        return false;
    }
    // With no handler xdg-mime prints nothing and still ends with status 0.
    QProcess* process = XdgMime::start({u"query"_s, u"default"_s, u"x-scheme-handler/"_s + scheme},
                                       m_queryMilliseconds, this);
    connect(process, &QProcess::finished, this,
            [this, process, scheme](int code, QProcess::ExitStatus status) {
                process->deleteLater();
                answer(scheme, status == QProcess::NormalExit && code == 0 &&
                                   !process->readAllStandardOutput().trimmed().isEmpty());
            });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, scheme](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                process->deleteLater();
                answer(scheme, false);
            });
    return std::nullopt;
}

void Opener::answer(const QString& scheme, bool has) {
    if (m_handlers.value(scheme).has_value())
        return;
    m_handlers.insert(scheme, has);
    Q_EMIT handlerKnown(scheme);
}

} // namespace tivela
