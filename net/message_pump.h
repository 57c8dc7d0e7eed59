// net/message_pump.h
//
// The points at which a request lets the window process its pending
// messages. The network layer knows no window: the program sets a hook
// (QCoreApplication::processEvents), tests may set a counter; by default the
// hook is empty and nothing happens.
#ifndef TAVREL_NET_MESSAGE_PUMP_H_
#define TAVREL_NET_MESSAGE_PUMP_H_

namespace tavrel {

using MessagePump = void (*)();

// Sets the hook and returns the previous one; nullptr clears it.
MessagePump SetMessagePump(MessagePump pump) noexcept;

// Calls the hook, if one is set.
void ProcessPendingMessages();

}  // namespace tavrel

#endif  // TAVREL_NET_MESSAGE_PUMP_H_
