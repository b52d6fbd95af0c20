// Starts the socket library for the lifetime of one object.
#include "net/socket_library.h"

#include "net/socket_platform.h"

SocketLibrary::SocketLibrary() : started_(socketLibraryStart()) {}

SocketLibrary::~SocketLibrary() {
  if (started_) socketLibraryStop();
}
