// net/message_pump.cc
#include "net/message_pump.h"

#include <atomic>

namespace tavrel {
namespace {

std::atomic<MessagePump> g_pump{nullptr};

}  // namespace

MessagePump SetMessagePump(MessagePump pump) noexcept { return g_pump.exchange(pump); }

void ProcessPendingMessages() {
  if (const MessagePump pump = g_pump.load(); pump != nullptr) pump();
}

}  // namespace tavrel
