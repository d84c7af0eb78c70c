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

// The three functions as `module` exports them; a fatal stop when any is missing.
ConptyFunctions load_conpty(HMODULE module);

}  // namespace murv::pty
