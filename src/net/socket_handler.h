// The select() loop of the network layer: polls its sockets, hands readiness
// to them and closes and deletes the sockets that ask for it.
#pragma once

#include "net/socket_platform.h"

#include <cstddef>
#include <list>
#include <map>
#include <vector>

class Socket;
class SocketHandler;

// Receiver of the network layer's error reports. Levels run from 0 (note)
// to 3 (fatal).
class SocketLogSink {
 public:
  virtual ~SocketLogSink() = default;
  virtual void OnLogError(SocketHandler& handler, Socket* socket, const char* context, int error,
                          const char* text, int level) = 0;
};

class SocketHandler {
 public:
  // No descriptor set holds more, and no more sockets are polled at once.
  static constexpr std::size_t kMaxSockets = kDescriptorSetSize;

  SocketHandler();
  // Closes every polled socket and deletes those it owns. Sockets created
  // with this handler must not outlive it.
  virtual ~SocketHandler();
  SocketHandler(const SocketHandler&) = delete;
  SocketHandler& operator=(const SocketHandler&) = delete;

  // Queues a socket with a descriptor for the loop; it is polled from the
  // next Select on.
  void Add(Socket* socket);
  // One pass: take in queued sockets, wait up to the time-out (none: no
  // limit), dispatch, then close, erase and delete what asked for it.
  // Returns select()'s count less the events dispatched, -1 if it failed:
  // then the failure is reported and the pass takes its time-out all the same.
  int Select(const SelectTimeout* timeout);
  // Polled sockets, plus queued ones, plus those waiting to be deleted.
  std::size_t SocketCount() const;
  // Adds the descriptor to (true) or removes it from (false) each set.
  void UpdateSets(SocketDescriptor descriptor, bool read, bool write, bool exception);
  // Called by a socket's destructor: forgets the socket.
  void Remove(Socket* socket);
  void LogError(Socket* socket, const char* context, int error, const char* text, int level);
  void SetLogSink(SocketLogSink* sink) { logSink_ = sink; }
  bool HasLogSink() const { return logSink_ != nullptr; }

 private:
  friend class Socket;
  void AddToCloseList(SocketDescriptor descriptor);
  void RemoveFromCloseList(SocketDescriptor descriptor);

  void takeQueuedSockets();
  int dispatch(int ready, const DescriptorSet& read, const DescriptorSet& write,
               const DescriptorSet& exception);
  Socket* findControlled(SocketDescriptor descriptor, const char* context);
  void closeRequested();
  void eraseClosed();
  void deleteRefused();
  void putOnDeleteList(Socket* socket);
  void removeDescriptor(SocketDescriptor descriptor);
  // Drops every reference to an owned socket, then deletes it.
  void destroy(Socket* socket);

  std::map<SocketDescriptor, Socket*> sockets_;
  std::map<SocketDescriptor, Socket*> addQueue_;
  std::list<Socket*> deleteList_;
  SocketLogSink* logSink_ = nullptr;
  SocketDescriptor highest_ = 0;
  DescriptorSet readSet_;
  DescriptorSet writeSet_;
  DescriptorSet exceptionSet_;
  // Polled descriptors in the order they entered the loop; the order of
  // dispatch. Entries of sockets gone during dispatch are marked invalid
  // and dropped after it.
  std::vector<SocketDescriptor> descriptors_;
  bool dispatching_ = false;
  bool descriptorsStale_ = false;
  std::vector<SocketDescriptor> closeList_;
  std::vector<SocketDescriptor> closeListCopy_;
  std::vector<SocketDescriptor> eraseList_;
};
