#pragma once
// A blocking WinINet call that a transfer guard can end. WinINet's synchronous calls cannot be
// interrupted under Wine (closing the handle from another thread does not make a blocked
// HttpSendRequest or InternetReadFile return), so the call runs on a thread of a small pool
// while the caller watches the guard; on a verdict the caller leaves the call to finish alone.
// Everything the call touches must therefore be the task's own (held by the function object),
// never the caller's stack or buffers.
//
// Pool threads hold a reference on the module they run in, so that a library that is unloaded
// while one of them still waits in WinINet stays mapped until that thread has left it; idle
// threads end after a few seconds.

#include <cstdint>
#include <functional>

namespace afx::inet {

class TransferGuard;

// Runs call and returns true once it has finished, or false with verdictOut as soon as guard
// gives a verdict (checked every kGuardPollMs); onAbandon then runs on the caller's thread to
// let the call end sooner where the system allows it (closing its handle). Without a pool
// thread the call runs on the caller's thread, unwatched.
bool RunWatched(TransferGuard& guard, std::function<void()> call,
                const std::function<void()>& onAbandon, uint32_t& verdictOut);

}  // namespace afx::inet
