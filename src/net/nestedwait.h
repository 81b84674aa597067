#pragma once
// Nested waits: a blocking call that keeps the program responsive runs the
// event loop until its request is done. While nothing happens the thread
// sleeps in the event dispatcher; it never spins.

#include <functional>

// The application is ending (the user closed the program): nested waits
// give up instead of waiting for their requests.
void SetApplicationTerminating(bool terminating);
bool ApplicationTerminating();

enum class WaitOutcome { Done, TimedOut, Terminating };

// Processes events until `isDone()` holds. After every batch of events, and
// at least every `checkIntervalMs` while idle, it checks in this order:
// isDone(), the application ending, and `timedOut()` (which may be null for
// no limit).
WaitOutcome WaitWhileProcessingEvents(const std::function<bool()>& isDone,
                                      const std::function<bool()>& timedOut, int checkIntervalMs = 1000);
