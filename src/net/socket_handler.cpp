// SocketHandler: the add queue, one select() per pass, dispatch in the order
// sockets entered the loop, and the close, erase and delete steps.
#include "net/socket_handler.h"

#include "net/socket.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

namespace {

bool contains(const DescriptorSet& set, SocketDescriptor descriptor) {
  for (unsigned i = 0; i < set.count; ++i) {
    if (set.descriptors[i] == descriptor) return true;
  }
  return false;
}

void updateSet(DescriptorSet& set, SocketDescriptor descriptor, bool wanted) {
  for (unsigned i = 0; i < set.count; ++i) {
    if (set.descriptors[i] != descriptor) continue;
    if (!wanted) {
      std::copy(set.descriptors + i + 1, set.descriptors + set.count, set.descriptors + i);
      --set.count;
    }
    return;
  }
  if (wanted && set.count < kDescriptorSetSize) set.descriptors[set.count++] = descriptor;
}

void eraseValue(std::vector<SocketDescriptor>& list, SocketDescriptor descriptor) {
  list.erase(std::remove(list.begin(), list.end(), descriptor), list.end());
}

// A wait that failed returns at once; the caller's loop would call it again
// at once and burn a core. It pauses as long as the wait would have waited
// (a wait without limit, a second), so the loop runs at its usual pace.
void pauseAfterFailedWait(const SelectTimeout* timeout) {
  const std::chrono::microseconds pause =
      timeout ? std::chrono::seconds(timeout->seconds) + std::chrono::microseconds(timeout->microseconds)
              : std::chrono::microseconds(std::chrono::seconds(1));
  if (pause.count() > 0) std::this_thread::sleep_for(pause);
}

// Error numbers of the reports carry descriptors as plain ints.
int asNumber(SocketDescriptor descriptor) { return static_cast<int>(descriptor); }

}  // namespace

SocketHandler::SocketHandler() = default;

SocketHandler::~SocketHandler() {
  while (!sockets_.empty()) {
    auto first = sockets_.begin();
    Socket* socket = first->second;
    socket->Close();
    sockets_.erase(first);
    if (socket->DeleteByHandler()) destroy(socket);
  }
  // Owned sockets that never reached the loop are let go of as well, so no
  // descriptor and no socket outlives the handler that owns it.
  while (!addQueue_.empty()) {
    auto first = addQueue_.begin();
    Socket* socket = first->second;
    addQueue_.erase(first);
    if (socket->DeleteByHandler()) destroy(socket);
  }
  while (!deleteList_.empty()) {
    Socket* socket = deleteList_.front();
    deleteList_.pop_front();
    if (socket->DeleteByHandler()) destroy(socket);
  }
}

void SocketHandler::Add(Socket* socket) {
  SocketDescriptor descriptor = socket->GetSocket();
  if (descriptor == kInvalidSocketDescriptor) {
    LogError(socket, "Add", -1, "Invalid socket", 0);
    if (socket->CloseAndDelete()) putOnDeleteList(socket);
    return;
  }
  if (addQueue_.count(descriptor) != 0) {
    LogError(socket, "Add", asNumber(descriptor), "Attempt to add socket already in add queue", 2);
    putOnDeleteList(socket);
    return;
  }
  addQueue_[descriptor] = socket;
}

int SocketHandler::Select(const SelectTimeout* timeout) {
  takeQueuedSockets();
  DescriptorSet read = readSet_;
  DescriptorSet write = writeSet_;
  DescriptorSet exception = exceptionSet_;
  int ready = socketSelect(highest_, read, write, exception, timeout);
  if (ready < 0) {
    if (HasLogSink()) {
      int error = socketLastError();
      LogError(nullptr, "select", error, Socket::StrError(error).c_str(), 0);
    }
    pauseAfterFailedWait(timeout);
  } else if (ready > 0) {
    ready = dispatch(ready, read, write, exception);
  }
  if (!closeList_.empty()) closeRequested();
  if (!eraseList_.empty()) eraseClosed();
  deleteRefused();
  return ready;
}

void SocketHandler::takeQueuedSockets() {
  while (!addQueue_.empty()) {
    if (sockets_.size() >= kMaxSockets) {
      LogError(nullptr, "Select", static_cast<int>(sockets_.size()), "FD_SETSIZE reached", 0);
      return;
    }
    auto first = addQueue_.begin();
    SocketDescriptor descriptor = first->first;
    Socket* socket = first->second;
    addQueue_.erase(first);
    if (sockets_.count(descriptor) != 0) {
      LogError(socket, "Add", asNumber(descriptor), "Attempt to add socket already in controlled queue", 2);
      putOnDeleteList(socket);
      continue;
    }
    // Closed while it waited: its old descriptor may belong to another socket by now.
    if (socket->GetSocket() != descriptor) {
      LogError(socket, "Add", -1, "Invalid socket", 0);
      if (socket->CloseAndDelete()) putOnDeleteList(socket);
      continue;
    }
    // A socket may already wait for writability (a stream socket whose
    // connect is under way); that wish is kept.
    UpdateSets(descriptor, true, contains(writeSet_, descriptor), true);
    if (descriptor > highest_) highest_ = descriptor;
    descriptors_.push_back(descriptor);
    sockets_[descriptor] = socket;
  }
}

int SocketHandler::dispatch(int ready, const DescriptorSet& read, const DescriptorSet& write,
                            const DescriptorSet& exception) {
  dispatching_ = true;
  for (std::size_t i = 0; i < descriptors_.size() && ready > 0; ++i) {
    SocketDescriptor descriptor = descriptors_[i];
    if (descriptor == kInvalidSocketDescriptor) continue;
    // Looked up afresh for each set: an operation may have let go of the socket.
    if (contains(read, descriptor)) {
      if (Socket* socket = findControlled(descriptor, "GetSocket/handler/1")) socket->OnRead();
      --ready;
    }
    if (contains(write, descriptor)) {
      if (Socket* socket = findControlled(descriptor, "GetSocket/handler/2")) socket->OnWrite();
      --ready;
    }
    if (contains(exception, descriptor)) {
      if (Socket* socket = findControlled(descriptor, "GetSocket/handler/3")) {
        socket->OnException();
      }
      --ready;
    }
  }
  dispatching_ = false;
  if (descriptorsStale_) {
    eraseValue(descriptors_, kInvalidSocketDescriptor);
    descriptorsStale_ = false;
  }
  return ready;
}

Socket* SocketHandler::findControlled(SocketDescriptor descriptor, const char* context) {
  auto found = sockets_.find(descriptor);
  if (found != sockets_.end()) return found->second;
  LogError(nullptr, context, asNumber(descriptor), "Did not find expected socket using file descriptor", 0);
  return nullptr;
}

void SocketHandler::closeRequested() {
  // A copy: closing a socket takes its descriptor off the close list.
  closeListCopy_.assign(closeList_.begin(), closeList_.end());
  for (SocketDescriptor descriptor : closeListCopy_) {
    Socket* socket = nullptr;
    bool queued = false;
    auto controlled = sockets_.find(descriptor);
    if (controlled != sockets_.end()) {
      socket = controlled->second;
    } else {
      auto waiting = addQueue_.find(descriptor);
      if (waiting != addQueue_.end()) {
        socket = waiting->second;
        queued = true;
      }
    }
    if (!socket) {
      LogError(nullptr, "GetSocket/handler/8", asNumber(descriptor),
               "Did not find expected socket using file descriptor", 0);
      continue;
    }
    if (!socket->CloseAndDelete()) continue;
    UpdateSets(descriptor, false, false, false);
    socket->Close();
    RemoveFromCloseList(descriptor);
    socket->OnDelete();
    if (queued) {
      // Never polled: it leaves the queue now instead of entering the loop closed.
      addQueue_.erase(descriptor);
      if (socket->DeleteByHandler()) destroy(socket);
      continue;
    }
    if (socket->DeleteByHandler()) socket->SetErasedByHandler();
    if (std::find(eraseList_.begin(), eraseList_.end(), descriptor) == eraseList_.end()) {
      eraseList_.push_back(descriptor);
    }
  }
}

void SocketHandler::eraseClosed() {
  while (!eraseList_.empty()) {
    SocketDescriptor descriptor = eraseList_.front();
    eraseList_.erase(eraseList_.begin());
    removeDescriptor(descriptor);
    auto controlled = sockets_.find(descriptor);
    if (controlled == sockets_.end()) continue;
    Socket* socket = controlled->second;
    sockets_.erase(controlled);
    if (socket->ErasedByHandler()) destroy(socket);
  }
  highest_ = 0;
  for (SocketDescriptor descriptor : descriptors_) {
    if (descriptor != kInvalidSocketDescriptor && descriptor > highest_) highest_ = descriptor;
  }
}

void SocketHandler::deleteRefused() {
  while (!deleteList_.empty()) {
    Socket* socket = deleteList_.front();
    socket->OnDelete();
    deleteList_.pop_front();
    if (socket->DeleteByHandler()) destroy(socket);
  }
}

std::size_t SocketHandler::SocketCount() const {
  return sockets_.size() + addQueue_.size() + deleteList_.size();
}

void SocketHandler::UpdateSets(SocketDescriptor descriptor, bool read, bool write, bool exception) {
  updateSet(readSet_, descriptor, read);
  updateSet(writeSet_, descriptor, write);
  updateSet(exceptionSet_, descriptor, exception);
}

void SocketHandler::Remove(Socket* socket) {
  if (socket->ErasedByHandler()) return;
  // Reported at the first place it is found; every entry goes, so the loop
  // never reaches a destroyed socket.
  int place = 0;
  for (auto entry = sockets_.begin(); entry != sockets_.end();) {
    if (entry->second != socket) {
      ++entry;
      continue;
    }
    if (place == 0) place = -1;
    UpdateSets(entry->first, false, false, false);
    removeDescriptor(entry->first);
    entry = sockets_.erase(entry);
  }
  for (auto entry = addQueue_.begin(); entry != addQueue_.end();) {
    if (entry->second != socket) {
      ++entry;
      continue;
    }
    if (place == 0) place = -2;
    entry = addQueue_.erase(entry);
  }
  if (std::find(deleteList_.begin(), deleteList_.end(), socket) != deleteList_.end()) {
    if (place == 0) place = -3;
    deleteList_.remove(socket);
  }
  if (place != 0) {
    LogError(socket, "Remove", place, "Socket destructor called while still in use", 0);
  }
}

void SocketHandler::LogError(Socket* socket, const char* context, int error, const char* text, int level) {
  if (logSink_) logSink_->OnLogError(*this, socket, context, error, text, level);
}

void SocketHandler::AddToCloseList(SocketDescriptor descriptor) {
  if (std::find(closeList_.begin(), closeList_.end(), descriptor) == closeList_.end()) {
    closeList_.push_back(descriptor);
  }
}

void SocketHandler::RemoveFromCloseList(SocketDescriptor descriptor) { eraseValue(closeList_, descriptor); }

void SocketHandler::putOnDeleteList(Socket* socket) {
  if (std::find(deleteList_.begin(), deleteList_.end(), socket) == deleteList_.end()) {
    deleteList_.push_back(socket);
  }
}

void SocketHandler::removeDescriptor(SocketDescriptor descriptor) {
  if (dispatching_) {
    std::replace(descriptors_.begin(), descriptors_.end(), descriptor, kInvalidSocketDescriptor);
    descriptorsStale_ = true;
  } else {
    eraseValue(descriptors_, descriptor);
  }
}

void SocketHandler::destroy(Socket* socket) {
  for (auto entry = sockets_.begin(); entry != sockets_.end();) {
    if (entry->second != socket) {
      ++entry;
      continue;
    }
    UpdateSets(entry->first, false, false, false);
    removeDescriptor(entry->first);
    entry = sockets_.erase(entry);
  }
  for (auto entry = addQueue_.begin(); entry != addQueue_.end();) {
    entry = entry->second == socket ? addQueue_.erase(entry) : std::next(entry);
  }
  deleteList_.remove(socket);
  socket->SetErasedByHandler();
  delete socket;
}
