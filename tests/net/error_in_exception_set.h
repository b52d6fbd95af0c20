// Lets a test make a socket's pending error show up in select()'s exception
// set, so the handler's exception path runs for real.
#pragma once

#include "net/socket_platform.h"

// False where the platform has no such switch.
bool showErrorsInExceptionSet(SocketDescriptor descriptor);
