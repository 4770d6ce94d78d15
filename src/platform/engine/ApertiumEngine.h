#pragma once

#include "core/TranslationEngine.h"
#include "platform/engine/ApertiumCatalogue.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace tivela {

class ApertiumSession;

// The on-device engine on Apertium. A direction is installed when its mode file is in the
// modes folder, and supported when a package of the catalogue installs it. Apertium has one
// engine per direction, so both strategies give the same answers. A session keeps the mode's
// stages running between translations. Stopping kills the stages of every session it made.
class ApertiumEngine : public TranslationEngine {
public:
    struct Options {
        // Empty: the folder named by TIVELA_APERTIUM_MODES, else Apertium's own.
        QString modesFolder;
        // A request may take this long, plus the share per kilobyte of its text, but never more
        // than the most.
        std::chrono::milliseconds timeout{10000};
        std::chrono::milliseconds timeoutPerKilobyte{50};
        std::chrono::milliseconds maxTimeout{120000};
        // A new session's first request also waits while the stages load their dictionaries,
        // seconds on a busy machine or with nothing in the disk cache yet: this much on top,
        // within the most.
        std::chrono::milliseconds startAllowance{20000};
    };

    ApertiumEngine();
    explicit ApertiumEngine(Options options);

    static QString defaultModesFolder();
    QString modesFolder() const { return m_options.modesFolder; }
    // The installed directions, read afresh from the modes folder.
    QHash<ApertiumCatalogue::Direction, ApertiumCatalogue::Mode> installed() const;

    QStringList supportedLanguages() override;
    EngineStatus status(const QString& source, const QString& target, bool fast) override;
    EngineResult<std::shared_ptr<TranslationSession>>
    makeSession(const QString& source, const QString& target, bool fast) override;
    bool oneEngineForBothStrategies() const override { return true; }
    void stop() override;

private:
    Options m_options;
    std::mutex m_mutex;
    bool m_stopped = false;
    // Every session made, for stop(); a session lives as long as its holders keep it.
    std::vector<std::weak_ptr<ApertiumSession>> m_sessions;
};

} // namespace tivela
