#pragma once
#include <functional>

// Runs the thread's messages until `condition` holds or `timeoutMs` has passed; true when
// it holds. Wakes on every message, and at least every few milliseconds for conditions
// that another thread changes.
bool PumpUntil(const std::function<bool()>& condition, unsigned timeoutMs = 5000);
