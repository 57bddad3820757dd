#pragma once

// Waiting without fixed sleeps. A test waits for the event that proves its
// point with QTest::qWaitFor / QSignalSpy::wait and a generous limit; to show
// that nothing more happened it drains what is already pending instead of
// sleeping for a while.

#include <QtGlobal>

namespace TestWait {

// Limit for waits on real tool work: generous, since the suite runs on loaded
// machines; a wait that ends early costs nothing.
constexpr int toolWorkMs = 180000;

// Delivers every event already pending for this thread, deferred deletes
// included, until none is left. Deterministic: it never waits for new ones.
void drainEvents();

// A process with this id exists and has not ended (Linux: from /proc; a
// zombie that nobody reaps has ended).
bool processRunning(qint64 pid);

// Child processes of this test program right now (Linux: read from /proc).
int runningChildren();
// Their resident memory together, in kB.
long runningChildrenRssKb();

// Waits until this program has no child process left; false at the limit.
bool noChildrenLeft(int timeoutMs = toolWorkMs);

} // namespace TestWait
