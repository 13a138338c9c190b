// Serial ports by handle: open, configure, write, read what the receive worker has
// gathered, close. Handles are integers from 0 up, never reused in a process; every call on
// a handle that is not open fails safely (-1, 0, false or no value).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace veltra::serial {

// The device path OPENCOMM opens for a name: a leading "\\.\" is dropped; a name beginning
// with "/" is used as is; "COM" + n (any case, n >= 1) is /dev/ttyS + (n-1); any other name
// is /dev/ + the name.
std::string COMMDEVICEPATH(std::string_view cDevice);

// Opens the device exclusively (a second open of the same port, by us or another locking
// program, fails), in raw mode at its current speed, with DTR raised, and starts its
// receive worker. Only terminals are opened. The queue sizes (low 16 bits) are kept in the
// record; Linux has no equivalent setting. Returns the handle or -1.
int OPENCOMM(std::string_view cDevice, int nInQueue = 1024, int nOutQueue = 128);

// Stops and joins the worker (also when it waits for its notification to be handled by the
// calling thread), restores the line settings found at open, closes the device. True when
// the handle was open.
bool CLOSECOMM(int nComm);

// Writes all of cData and returns once it has been transmitted. Returns the count written:
// less than the length when the device has gone, 0 for a handle that is not open.
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

// The queue sizes kept at open (input, output).
std::optional<std::pair<int, int>> COMMQUEUESIZES(int nComm);

// Bytes in the port's receive ring not yet read; -1 when the handle is not open.
int COMMRECEIVED(int nComm);

// True once the port's receive worker has seen the line go (the far end hung up, the adapter
// was unplugged, a read failed) and every byte received before that has been read out of the
// ring. The worker then calls WAKEWAIT(), so a waiting loop sees it at once. False for a
// handle that is not open.
bool COMMLOST(int nComm);

// Processor time used so far by the port's receive worker, in seconds.
std::optional<double> COMMWORKERCPUTIME(int nComm);

} // namespace veltra::serial
