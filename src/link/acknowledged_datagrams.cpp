// The ring of acknowledged datagrams: a linear search over at most 64 short
// entries, cheaper than the ACK that follows each lookup. Network thread only.
#include "link/acknowledged_datagrams.h"

#include <cstring>

bool AcknowledgedDatagrams::contains(const void* data, std::size_t length) const {
  if (data == nullptr || length == 0 || length > kMaxLength) return false;
  for (const Entry& entry : entries_) {
    if (entry.length == length && std::memcmp(entry.bytes.data(), data, length) == 0) return true;
  }
  return false;
}

void AcknowledgedDatagrams::remember(const void* data, std::size_t length) {
  if (data == nullptr || length == 0 || length > kMaxLength) return;
  Entry& entry = entries_[next_];
  std::memcpy(entry.bytes.data(), data, length);
  entry.length = length;
  next_ = (next_ + 1) % kCapacity;
}
