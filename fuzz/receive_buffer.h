// Room for many waiting datagrams on a socket: a handshake for a full grid
// answers one datagram with some 260 requests, more than a default receive
// queue holds.
#pragma once

#include "net/socket_platform.h"

// False when the system refused; the socket keeps its old size then.
bool enlargeReceiveBuffer(SocketDescriptor descriptor, int bytes);
