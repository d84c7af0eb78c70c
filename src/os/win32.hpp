// Pieces the Windows files share: owners, a system library's function, UTF-16 text, quoting.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "base/error.hpp"
#include "base/owned.hpp"

namespace murv::os::win32 {

// A kernel handle: the API uses both null and INVALID_HANDLE_VALUE for "no handle".
struct HandleTraits : FreedBy<HANDLE, ::CloseHandle> {
    static bool none(HANDLE handle) { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
};
using UniqueHandle = Owned<HandleTraits>;

// A list of one attribute for CreateProcessW, which keeps only its value's address.
class AttributeList {
  public:
    AttributeList() = default;
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;
    ~AttributeList();

    // Makes the list, once, and hands it to `startup`, which is then an extended one.
    Result<void> attach(STARTUPINFOEXW& startup, DWORD_PTR attribute, void* value,
                        std::size_t size);

  private:
    LPPROC_THREAD_ATTRIBUTE_LIST get() {
        return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    }

    std::vector<std::byte> storage_;
    bool initialised_ = false;
};

// The function `name` of `library`, loaded from the system directory alone; null if missing.
template <class Function>
Function system_function(const wchar_t* library, const char* name) {
    const HMODULE module = ::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return nullptr;
    // Through void(*)(), which converts to any function pointer type without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// Writes the one or two UTF-16 units of the scalar value `c` to `out`; returns how many.
std::size_t encode_utf16(char32_t c, wchar_t* out);

// A lone surrogate, which names and paths may hold, becomes a three-byte form that to_wide reads.
std::string to_utf8(std::wstring_view text);

// Nothing when `text` holds bytes that are neither UTF-8 nor those three-byte forms.
std::optional<std::wstring> to_wide(std::string_view text);

// What is not UTF-8 becomes U+FFFD.
std::wstring to_wide_lossy(std::string_view text);

bool is_valid_utf16(std::wstring_view text);

// Appends `argument` so that CommandLineToArgvW and the C runtimes read it back unchanged.
void append_argument(std::wstring& line, std::wstring_view argument);

// One pair of quotes around the whole of `text` is quoting, as for Windows, not part of it.
std::wstring_view unquoted(std::wstring_view text);

// A command line's first word knows no escapes: quoted when it has blanks or is empty.
void append_program(std::wstring& line, std::wstring_view program);

}  // namespace murv::os::win32
