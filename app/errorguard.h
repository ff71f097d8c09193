// The window's error guard as the data-aware controls hold it: it runs an action that may throw
// CommandError and shows the failure in the error box. A control given none runs actions bare.
#pragma once

#include <functional>

using ErrorGuard = std::function<void(const std::function<void()> &)>;

// Runs the action through the guard, or bare when none is set.
inline void runGuarded(const ErrorGuard &guard, const std::function<void()> &action) {
    if (guard)
        guard(action);
    else
        action();
}
