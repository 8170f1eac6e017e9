// Inside the platform layer only: the temporary files in progress, kept in
// fixed slots that a signal handler (or the console's control handler on
// Windows) can walk without allocating, to remove them before the process
// ends.
#pragma once

#include <string>

namespace tolvex::platform {

// Takes a slot for `temporary` (before the file is created, so that a stop
// in between leaves nothing); -1 when every slot is taken or the name is too
// long for one, and the file then simply goes without the clean-up.
int register_temporary(const std::string& temporary);
void unregister_temporary(int slot);

// The process id written into temporary names, and whether another
// process of that id is still running.
long current_process_id();
bool process_is_alive(long pid);

}  // namespace tolvex::platform
