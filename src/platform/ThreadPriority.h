#pragma once
// Thread priorities on Linux.

namespace tessarin {

// Makes the calling thread a background thread: the ordinary time-sharing
// policy (even when the process was started with a real-time one) at a
// lower priority, so that on a machine with few cores the application's
// interface thread is scheduled ahead of work it handed off. Best effort:
// a refusal leaves the thread as it was.
void lowerCurrentThreadPriority();

}  // namespace tessarin
