#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

namespace tivela {

// Hands URLs to the desktop's handlers of their schemes, through xdg-utils.
class Opener : public QObject {
    Q_OBJECT

public:
    // xdg-mime takes about a second on a busy desktop; one that takes this long is stuck.
    static constexpr int defaultQueryMilliseconds = 3000;

    // The process's own, so each scheme is asked about once per process.
    static Opener& shared();

    explicit Opener(QObject* parent = nullptr, int queryMilliseconds = defaultQueryMilliseconds);

    // Starts xdg-open on the URL and leaves it to run on its own (it waits for the handler,
    // which may stay open as long as the user keeps it). False when it could not start.
    static bool open(const QString& url);

    // Whether the desktop has a default handler for a URL scheme; nothing until xdg-mime has
    // answered. The first call asks in the background and handlerKnown() tells when the answer
    // is in. An xdg-mime that is missing, fails, or overruns counts as no handler.
    std::optional<bool> hasHandler(const QString& scheme);

Q_SIGNALS:
    void handlerKnown(const QString& scheme);

private:
    void answer(const QString& scheme, bool has);

    int m_queryMilliseconds;
    QHash<QString, std::optional<bool>> m_handlers;
};

} // namespace tivela
