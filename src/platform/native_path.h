// Inside the platform layer only: paths travel through the program as UTF-8
// and become the system's own spelling at the system call.
#pragma once

#ifdef _WIN32
#include <string>

// The Windows headers, for every platform file that calls Windows itself.
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tolvex::platform {

// UTF-8 text (a message for the console) as UTF-16.
std::wstring wide_from_utf8(const std::string& utf8);
// The UTF-8 path as a wide string for the Windows file calls: as it is when
// short and plain, else the verbatim "\\?\" form of its full path, which
// lifts the 260-character limit and keeps a trailing "." ("HONMON.").
std::wstring wide_path(const std::string& utf8);
// A wide string (a name from a directory listing, an argument) as UTF-8.
std::string utf8_from_wide(const std::wstring& wide);

}  // namespace tolvex::platform
#endif
