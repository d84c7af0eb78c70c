// Looked up at run time: linked against them, the tool would not start before Windows 10 1809.
#pragma once

#include <windows.h>

namespace murv::pty {

struct ConptyFunctions {
    decltype(&::CreatePseudoConsole) create;
    decltype(&::ResizePseudoConsole) resize;
    decltype(&::ClosePseudoConsole) close;
};

// The three functions of the system library `library`; a fatal stop when any is missing.
// The library is named so that a test can name one without them.
ConptyFunctions load_conpty(const wchar_t* library);

}  // namespace murv::pty
