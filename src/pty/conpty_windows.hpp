// Looked up at run time: linked against them, the tool would not start before Windows 10 1809.
#pragma once

#include <windows.h>

namespace murv::pty {

struct ConptyFunctions {
    decltype(&::CreatePseudoConsole) create;
    decltype(&::ResizePseudoConsole) resize;
    decltype(&::ClosePseudoConsole) close;
};

// The three functions of the system library `library` (a test names one without them); a fatal
// stop when any is missing.
ConptyFunctions load_conpty(const wchar_t* library);

}  // namespace murv::pty
