// Bounded waits of the serial suites that pump the event loop, on every platform and event
// loop of the serial layer, and the port read that gathers a count of bytes.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace veltra::serial::test {

using namespace std::chrono_literals;

// Pumps events (SYSWAIT) until lDone() holds or tLimit passes; returns lDone().
bool PumpUntil(const std::function<bool()>& lDone, std::chrono::milliseconds tLimit = 5s);

// Pumps events for a while.
void PumpFor(std::chrono::milliseconds tFor);

// Runs fn on its own thread; if it has not returned after tLimit the process fails at once
// (a hang must fail the test, not stall the suite).
void Bounded(const std::function<void()>& fn, std::chrono::milliseconds tLimit = 5s);

// All bytes from the port, reading until nCount have come or 5 s pass.
std::string ReadAll(int nComm, std::size_t nCount);

} // namespace veltra::serial::test
