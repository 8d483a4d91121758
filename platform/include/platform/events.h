#pragma once

namespace sv {

// Lets the event loop run pending events (button clicks during a job) and returns.
void DoEvents();

}  // namespace sv
