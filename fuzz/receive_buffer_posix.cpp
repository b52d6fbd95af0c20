// The receive queue size of a BSD socket.
#include "receive_buffer.h"

#include <sys/socket.h>

bool enlargeReceiveBuffer(SocketDescriptor descriptor, int bytes) {
  return ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0;
}
