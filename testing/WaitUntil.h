// How a test waits for what another thread brings about: WaitUntil looks at
// the condition until it holds or `limit` has passed, and says which. Tests
// wait on outcomes this way, never on the clock; the limit only bounds how
// long a broken program takes to fail its test.
//
// Each test program's main library brings the definition: in the Qt test
// programs (vorelan_qt_test_main) the calling thread's events run between
// looks, so that queued calls, timers and deferred deletions reach the
// objects the test waits on; in the others (vorelan_test_main) the thread
// sleeps a millisecond between looks.
//
// Threads: called on the thread whose events the test waits for (a Qt test
// program's main thread); the condition runs on that thread only.
#pragma once

#include <chrono>
#include <functional>

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(10));
