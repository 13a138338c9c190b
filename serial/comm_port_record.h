// The port record shared by the platform-free part of the port layer (handle table,
// READCOMM, notification) and the platform part (device, receive worker).
//
// How a received byte reaches the program
// ---------------------------------------
// docs/architecture.md shows the same path on Linux and Windows side by side, with the
// poll loop of the programs without Qt. On Linux with the Qt loop:
// 1. Worker (comm_port_posix.cpp). Each open port has one receive worker thread. It sleeps
//    in poll() on three descriptors: the device, the stop eventfd and the arm eventfd. The
//    device wakes it when bytes come or the line goes (hang-up, unplugged); CLOSECOMM writes
//    the stop eventfd; ENABLECOMMNOTIFICATION writes the arm eventfd when bytes in the ring
//    were never announced. The worker reads at most 1023 bytes, never more than the ring has
//    room for, so the rest stays in the driver's queue.
// 2. Ring (receive_ring.h). The worker appends, READCOMM takes; no lock, each side writes
//    only its own position. When the ring is full the worker stops reading the device and
//    waits on the port's condition variable (WaitForRoom) until READCOMM makes room (it
//    wakes the worker only when the worker has said it waits), notification is armed for
//    unannounced bytes, or the port closes.
// 3. Queue (comm_port.cpp, comm_notify_queue.cpp). After each batch the worker looks at the
//    armed window (hNotifyWnd, stored under the port's mutex). None: the bytes are marked
//    unannounced and the worker goes back to the device. A window: NotifyWindow queues a
//    notification, under the port's mutex so that a close either finds it queued (and drops it) or
//    is seen before it is queued.
// 4. Doorbell (ui_doorbell_eventfd.cpp, ui_doorbell_qt.cpp). The worker then rings the
//    user-interface thread: one eventfd for the process, answered by a socket notifier in
//    whatever event loop that thread runs (SYSREFRESH, SYSWAIT, a dialog's or a popup's own loop).
// 5. Window. The answer takes each queued notification, builds the comm-notify event on the
//    user-interface thread and sends it to the window's receiver; the window runs its
//    comm-notify callback, which reads the ring with READCOMM (the program's CONNECT).
// 6. Release. Meanwhile the worker waits on the port's condition variable until the
//    notification is no longer pending or the port is closing. The event's destruction
//    (NotificationDone) clears "pending" and wakes it; so does dropping the queued entry.
//    The delivery first records under the port's mutex whether a window took the event
//    (lTold) and only then lets the event go: the worker reads lTold as soon as it wakes,
//    so the order tells it the truth, and the lock is released before the event is
//    destroyed because NotificationDone takes the same, non-recursive, mutex.
//
// Every wait of the worker ends on close: SignalClosing sets lClosing under the mutex and
// wakes the condition variable (the notification wait and the room wait), and the stop
// eventfd ends poll. Closing never waits on the user-interface thread, which is the thread
// that closes, so a notification still queued for it cannot hold the close up.
// After a hang-up or a failed read the worker marks the port lost, wakes a waiting
// SYSWAIT (WAKEWAIT) and then waits only for the stop eventfd.
#pragma once

#include "serial/port_signal.h"
#include "serial/receive_ring.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace veltra::serial::detail {

// Defined by the platform part: the open device and the receive worker.
struct CommDevice;
struct LineSettings; // comm_dcb.h

struct CommPort {
  CommPort();  // defined by the platform part, where CommDevice is complete
  ~CommPort(); // shuts the worker down (ShutDown) before the device is released
  CommPort(const CommPort&) = delete;
  CommPort& operator=(const CommPort&) = delete;

  int nComm = -1;
  ReceiveRing oRing;
  std::atomic<int> hNotifyWnd{0}; // 0: notification off; stored under oSignal->mutex
  // Set by the receive worker once the line is gone (hang-up, unplugged, read error); it never
  // reads the device again afterwards.
  std::atomic<bool> lLost{false};
  std::shared_ptr<PortSignal> oSignal = std::make_shared<PortSignal>();
  std::unique_ptr<CommDevice> oDevice;
};

// OPENCOMM's last common step, for a record holding the device it has opened and set up: a
// handle given. False, with errno EMFILE, when no handle is left; the record has then been let
// go (oPort is null), which puts the line back.
bool AddOpenedPort(std::shared_ptr<CommPort>& oPort);

// Handle table. AddPort gives the record the next handle and returns it, or -1 with errno
// EMFILE when no handle is left.
int AddPort(const std::shared_ptr<CommPort>& oPort);
std::shared_ptr<CommPort> FindPort(int nComm);
std::shared_ptr<CommPort> RemovePort(int nComm);

// Worker side. NotifyWindow hands a notification for the armed window to the user-interface
// thread and waits until it has been handled or the port closes; false when no window was
// told. lNewBytes: the batch just stored bytes (they count as unannounced unless told).
bool NotifyWindow(CommPort& oPort, bool lNewBytes);

// True, once, when notification was armed for bytes no window was told about.
bool TakeArmRequest(CommPort& oPort);

enum class RoomWait { Room, Armed, Closing };
// Waits, with the ring full, until READCOMM makes room, the port closes, or notification is
// armed for bytes that were never announced.
RoomWait WaitForRoom(CommPort& oPort);

// Marks the port as closing and wakes every wait of its worker on the condition variable.
void SignalClosing(CommPort& oPort);

// The one way a port's worker is ended: SignalClosing, then the platform's StopWorker. Used by
// CLOSECOMM and by the record's destructor.
void ShutDown(CommPort& oPort);

// Defined by the platform part: OPENCOMM for a device path (never empty), once the platform-free
// part has checked the name. The queue sizes are the driver's recommendation where the system
// takes one (Windows); a Linux terminal's queues have sizes of their own.
int OpenDevice(const std::string& cPath, int nInQueue, int nOutQueue);

// Defined by the platform part, on the device of an open port.
// Sets the worker's stop event and joins the worker (never kills it); nothing when it has none.
void StopWorker(CommDevice& oDevice);
// Wakes the worker from its wait on the device so that it takes an arm request.
void WakeWorkerForArm(CommPort& oPort);
// Releases the device once the worker is gone: the line put back as it was found, the device
// closed.
void CloseDevice(CommPort& oPort);
// Puts decoded line settings on the device; true when it took them.
bool ConfigureLine(CommDevice& oDevice, const LineSettings& oSettings);
// Processor time used so far by the receive worker, in seconds.
std::optional<double> WorkerCpuTime(CommDevice& oDevice);

} // namespace veltra::serial::detail
