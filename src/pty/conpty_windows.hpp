// The pseudo-console functions, looked up at run time: Windows before 10 version 1809 does not
// have them, and a tool linked against them would not even start there. Windows only.
#pragma once

#include <windows.h>

namespace murv::pty {

struct ConptyFunctions {
    decltype(&::CreatePseudoConsole) create;
    decltype(&::ResizePseudoConsole) resize;
    decltype(&::ClosePseudoConsole) close;
};

// The three functions of the system library `library`; a fatal stop when any is missing.
ConptyFunctions load_conpty(const wchar_t* library);

}  // namespace murv::pty
