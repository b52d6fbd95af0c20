// Linux: SO_SELECT_ERR_QUEUE puts a socket with a pending error into the
// exception set of select().
#include "error_in_exception_set.h"

#include <sys/socket.h>

bool showErrorsInExceptionSet(SocketDescriptor descriptor) {
  int on = 1;
  return setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_SELECT_ERR_QUEUE, &on, sizeof on) == 0;
}
