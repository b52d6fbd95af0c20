// Windows: Winsock puts datagram sockets into the exception set only for
// out-of-band data, which UDP has none of; there is no switch to change that.
#include "error_in_exception_set.h"

bool showErrorsInExceptionSet(SocketDescriptor) { return false; }
