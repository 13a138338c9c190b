// The port record shared by the platform-free part of the port layer (handle table,
// READCOMM, notification) and the platform part (device, receive worker).
#pragma once

#include "serial/port_signal.h"
#include "serial/receive_ring.h"

#include <atomic>
#include <memory>

namespace veltra::serial::detail {

// Defined by the platform part: the open device and the receive worker.
struct CommDevice;

struct CommPort {
  CommPort(); // defined by the platform part, where CommDevice is complete
  ~CommPort();
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;

  int nComm = -1;
  int nInQueue = 0;
  int nOutQueue = 0;
  ReceiveRing oRing;
  std::atomic<int> hNotifyWnd{0}; // 0: notification off
  // Set by the receive worker once the line is gone (hang-up, unplugged, read error); it never
  // reads the device again afterwards.
  std::atomic<bool> lLost{false};
  std::shared_ptr<PortSignal> oSignal = std::make_shared<PortSignal>();
  std::unique_ptr<CommDevice> oDevice;
};

// Handle table. AddPort gives the record the next handle and returns it.
int AddPort(const std::shared_ptr<CommPort>& oPort);
std::shared_ptr<CommPort> FindPort(int nComm);
std::shared_ptr<CommPort> RemovePort(int nComm);

// Worker side. NotifyWindow hands a notification for the armed window to the user-interface
// thread and waits until it has been handled or the port closes; false when no window was
// told.
bool NotifyWindow(CommPort& oPort);

enum class RoomWait { Room, Armed, Closing };
// Waits, with the ring full, until READCOMM makes room, the port closes, or (when bytes in
// the ring were never announced) notification is armed anew. nSeenArm is the arm count the
// worker last acted on.
RoomWait WaitForRoom(CommPort& oPort, bool lAnnounced, unsigned& nSeenArm);

// Marks the port as closing and wakes every wait of its worker.
void SignalClosing(CommPort& oPort);

} // namespace veltra::serial::detail
