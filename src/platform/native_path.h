// Inside the platform layer only: paths travel through the program as UTF-8
// and become the system's own spelling at the system call.
#pragma once

#ifdef _WIN32
#include <string>

namespace tolvex::platform {

// The UTF-8 path as a wide string for the Windows file calls.
std::wstring wide_path(const std::string& utf8);
// A wide string (a name from a directory listing, an argument) as UTF-8.
std::string utf8_from_wide(const std::wstring& wide);

}  // namespace tolvex::platform
#endif
