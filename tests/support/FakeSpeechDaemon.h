#pragma once

#include <QByteArrayList>
#include <QHash>
#include <QLocalServer>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTemporaryDir>

class QLocalSocket;

namespace tivela::test {

// A speech-dispatcher stand-in on a socket of the test's own, served by the test's event
// loop; SPEECHD_ADDRESS names it for the process and the programs it starts while it lives.
// It speaks enough of the protocol for the client, or, as told, stalls or babbles.
class FakeDaemon : public QObject {
public:
    enum class Mode { answer, stall, babble };

    explicit FakeDaemon(Mode mode = Mode::answer);
    ~FakeDaemon() override;

    // Sends the voice lists held back while holdLists was set.
    void release();
    // As a module that lists hundreds of thousands of voices (some neural ones do), while the
    // list of "rhvoice" is held back: a client reading the long list is still waiting after it.
    void listManyVoices(const QByteArray& module, int count, const QByteArray& language);
    // Every reply so far has left for the clients.
    bool sent() const;

    // Voice lines ("name TAB language TAB variant") by module; a module without an entry
    // cannot report its voices.
    QMap<QByteArray, QByteArrayList> modules{
        {"espeak-ng",
         {"English (America)\ten-US\tnone", "English (America)+whisper\ten-US\twhisper",
          "Chinese (Cantonese)\tyue\tnone"}},
        {"rhvoice", {"Anna Petrovna\tru-RU\tfemale"}},
        {"crashed", {}}};
    // Every module's voice list is held back until release(), or only these modules' lists.
    bool holdLists = false;
    QSet<QByteArray> heldModules;
    // Every command line received, and "DATA " with the body of each message.
    QByteArrayList log;

private:
    void serve(QLocalSocket* client);
    QByteArray answer(QLocalSocket* client, const QByteArray& line);

    Mode m_mode;
    QTemporaryDir m_dir;
    QLocalServer m_server;
    QHash<QLocalSocket*, QByteArray> m_buffers;
    QHash<QLocalSocket*, QByteArray> m_module;
    QHash<QLocalSocket*, QByteArrayList> m_bodies;
    QSet<QLocalSocket*> m_receiving;
    QList<std::pair<QPointer<QLocalSocket>, QByteArray>> m_held;
};

} // namespace tivela::test
