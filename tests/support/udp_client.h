#pragma once

#include "../../net/udp_client.h"  // the project's own client, in net/

namespace vexa::testing {
using UdpClient = vexa::UdpClient;
}  // namespace vexa::testing
