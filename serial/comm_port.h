// Serial ports by handle: open, configure, write, read what the receive worker has
// gathered, close. Handles are integers from 0 up, never reused in a process; every call on
// a handle that is not open fails safely (-1, 0, false or no value).
#pragma once

#include <string>
#include <string_view>

namespace veltra::serial {

// The device path OPENCOMM opens for a name.
// Linux: every leading "\\.\" is dropped; a name beginning with "/" is used as is; "COM" + n (any
// case, n >= 1) is /dev/ttyS + (n-1); any other name is /dev/ + the name.
// Windows: every leading "\\.\" is dropped and one is put back, so "COM10", "\\.\COM10" and
// "\\.\\\.\COM10" (the program's "\\.\" before a name that has it already) all open COM10.
// An empty name gives an empty path on both.
std::string COMMDEVICEPATH(std::string_view cDevice);

// Reasons of our own that OPENCOMM gives in errno on Linux, beyond the system's error numbers
// (they are above every number the system uses).
inline constexpr int ECOMMCONSOLE = 0x4000 + 1;     // the device is an active system console
inline constexpr int ECOMMOWNTERMINAL = 0x4000 + 2; // the device is this process's terminal

// Opens the device exclusively (a second open of the same port, by us or another program,
// fails), in raw mode at its current speed, with DTR raised, and starts its receive worker.
// Only serial devices are opened. What it finds of the line is saved for CLOSECOMM to put
// back. Returns the handle or -1.
//
// Where the platforms differ:
// - Linux: only terminals, and never an active system console (as the kernel lists them) or
//   the process's own controlling terminal (/dev/tty under any name); exclusive by flock and
//   TIOCEXCL, so a program that locks the same way is kept out too; the queue sizes go nowhere
//   (Linux has no such setting); a device without DTR (a pseudo-terminal) is opened all the
//   same.
// - Windows: the device path is claimed for the process with a named mutex ("Local\VeltraPort:"
//   and the path in capitals), since some drivers let a second open through; the queue sizes (low
//   16 bits) go to SetupComm as a recommendation; the port's time-outs, which stay from the last
//   program that used it, are saved and set so that a read returns at once with what has come
//   (ReadIntervalTimeout MAXDWORD, both read totals 0) and a write has no driver time-out
//   (WRITECOMM bounds itself); SetupComm, SetCommState, SetCommTimeouts, SetCommMask and
//   EscapeCommFunction(SETDTR) must all succeed.
//
// On -1, errno says why, as the failing step left it (saved before anything was cleaned
// up): ENOENT for an empty name, EINVAL for a name holding a NUL byte, EMFILE when no handle
// is left, EAGAIN when the receive worker cannot be started, and otherwise
// - Linux: the system's reason for the open (ENOENT, EACCES, EBUSY, ENXIO, ...), ECOMMCONSOLE
//   or ECOMMOWNTERMINAL for a device refused as above, ENOTTY for a device that is no
//   terminal, EWOULDBLOCK when another program holds the port's lock, or the reason a line
//   setting or the worker's stop event failed;
// - Windows: the failing call's GetLastError() as an errno: ENOENT for a port that does not
//   exist (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND), EBUSY for a port in use
//   (ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_BUSY, or claimed by this process
//   already), EINVAL for a name Windows does not take (ERROR_INVALID_NAME, ...), ENODEV for a
//   device that is not there (ERROR_DEV_NOT_EXIST, ERROR_DEVICE_NOT_CONNECTED, ...), ENOTTY for
//   a file or device that is no serial port (GetCommState refuses it), ENOMEM, EMFILE, and EIO
//   for any other reason.
int OPENCOMM(std::string_view cDevice, int nInQueue = 1024, int nOutQueue = 128);

// Stops and joins the worker (also when it waits for its notification to be handled by the
// calling thread), restores the line settings found at open, closes the device. True when the
// handle was open.
// Linux: the driver's low-latency flag is put back too; the worker's poll ends at once.
// Windows: the DCB and the time-outs found at open are put back. The worker cancels its
// pending wait (CancelIoEx; after 0.5 s it also clears the event mask, which ends a wait the
// driver cannot cancel), and CLOSECOMM waits for it 1.5 s at most. A worker whose driver has
// completed neither by then is left to end by itself: CLOSECOMM returns, and the device stays
// open and claimed (OPENCOMM of it gets EBUSY) until the driver completes the wait; then the
// line is put back and the device closed.
bool CLOSECOMM(int nComm);

// Closes every open port as CLOSECOMM does. Also runs by itself when the process ends with
// ports still open (a return from main, exit()), so no worker is left waiting and every line
// is put back.
void CLOSEALLCOMM();

// Writes all of cData and returns once it has been transmitted, as far as the driver can tell
// (Linux: its output queue empty, then tcdrain; Windows: the overlapped write complete, then
// ClearCommError's cbOutQue 0). Returns the count of bytes that left: less than the length
// when the device has gone or stalls, 0 for a handle that is not open. A write interrupted by
// a signal goes on.
//
// It never waits longer than twice the time the data takes on the wire at the port's current
// speed and format (start bit, data bits, parity, stop bits), plus 2 s; then it gives up,
// discards what the driver still holds (Linux: tcflush; Windows: PurgeComm with PURGE_TXABORT
// and PURGE_TXCLEAR) and returns the short count. So a stalled adapter never holds the caller
// for ever: 5121 bytes at 115200 baud 8N2 give up after about 3 s. On Windows the write given
// up is cancelled first, and a driver that has not completed it 1 s later makes the call
// return 0 (how much left is then unknown).
long WRITECOMM(int nComm, std::string_view cData);

// Copies received bytes into cBuffer in place, from its first byte, up to its length; the
// buffer keeps its length. Returns the count copied. Never waits, never touches the device.
int READCOMM(int nComm, std::string& cBuffer);

// Builds the 28-byte configuration record from "115200,N,8,2" or
// "baud=115200 parity=n data=8 stop=2". On failure cDcb becomes empty and the result is false.
bool BUILDCOMMDCB(std::string_view cDef, std::string& cDcb);
// The same for a caller that passes its variable by value: only the result is returned.
bool BUILDCOMMDCB(std::string_view cDef);

// Applies a record made by BUILDCOMMDCB (raw mode, baud rate, data bits, parity, stop bits,
// no flow control). False when the record is malformed, the handle is not open, or the
// device did not take the settings as read back.
bool SETCOMMSTATE(int nComm, std::string_view cDcb);

// True once the port's receive worker has seen the line go (the far end hung up, the adapter
// was unplugged, a read failed) and every byte received before that has been read out of the
// ring. The worker then calls WAKEWAIT(), so a waiting loop sees it at once. False for a
// handle that is not open.
bool COMMLOST(int nComm);

} // namespace veltra::serial
