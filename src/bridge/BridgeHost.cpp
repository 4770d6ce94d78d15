#include "bridge/BridgeHost.h"

#include "core/LexiconDownloader.h"

#include <unistd.h>

namespace tivela {

BridgeHost::BridgeHost(int in, int out, BridgeServices services)
    : m_requests(std::move(services))
    , m_transport(
          in, out,
          [this](const QJsonObject& request, BridgeTransport::Reply reply) {
              m_requests.handle(request, std::move(reply));
          },
          [] {
              // Requests still running are abandoned; static destructors must not run under
              // them, but a download's lock must not outlive the process.
              LexiconDownloader::releaseHeldLocks();
              ::_exit(0);
          }) {
}

void BridgeHost::start() {
    m_transport.start();
}

} // namespace tivela
