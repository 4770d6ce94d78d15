#pragma once

#include "bridge/BridgeRequests.h"
#include "bridge/BridgeServices.h"
#include "bridge/BridgeTransport.h"

namespace tivela {

// The browser extension's native-messaging host: the requests of the channel on two
// descriptors. At the end of input the process ends with status 0.
class BridgeHost {
public:
    BridgeHost(int in, int out, BridgeServices services);

    // Starts reading requests.
    void start();

private:
    BridgeRequests m_requests;
    BridgeTransport m_transport;
};

} // namespace tivela
