// Pieces the Windows files share: an owned handle, waiting for a process, a system library's
// function, text conversion between UTF-8 and the system's UTF-16, and command-line quoting.
// Windows only.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <windows.h>

#include "base/error.hpp"
#include "os/process.hpp"

namespace murv::os::win32 {

// An owned kernel handle. Both of the values the API uses for "no handle" (null and
// INVALID_HANDLE_VALUE) count as empty.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE handle = nullptr) {
        if (*this) ::CloseHandle(handle_);
        handle_ = handle;
    }

  private:
    HANDLE handle_ = nullptr;
};

// An owned list of attributes for CreateProcessW. Each value must stay put while the list is
// in use: the list keeps only its address.
class AttributeList {
  public:
    AttributeList() = default;
    AttributeList(const AttributeList&) = delete;
    AttributeList& operator=(const AttributeList&) = delete;
    ~AttributeList();

    // Room for `count` attributes; called once, before add.
    Result<void> init(DWORD count);
    Result<void> add(DWORD_PTR attribute, void* value, std::size_t size);

    LPPROC_THREAD_ATTRIBUTE_LIST get() {
        return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    }

  private:
    std::vector<std::byte> storage_;
    bool initialised_ = false;
};

// Waits until `process` has exited and gives its exit code. The error is the system's.
Result<ExitStatus> wait_for_exit(HANDLE process);

// The function `name` of the system library `library`, loaded from the system directory alone
// at the first call, so that a run loads it only when needed; null when either is missing.
template <class Function>
Function system_function(const wchar_t* library, const char* name) {
    const HMODULE module = ::LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) return nullptr;
    // Through void(*)(), which converts to any function pointer type without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// Writes the UTF-16 form of `c`, a Unicode scalar value, to `out`: one or two code units, as
// many as it returns.
std::size_t encode_utf16(char32_t c, wchar_t* out);

// UTF-16 text as UTF-8. A surrogate without its partner, which the system lets through in
// names, values and paths, becomes its three-byte form, so that to_wide gives it back as it was.
std::string to_utf8(std::wstring_view text);

// UTF-8 text (and those three-byte forms) as UTF-16; nothing when `text` holds any other byte
// sequence that is not UTF-8.
std::optional<std::wstring> to_wide(std::string_view text);

// The same for text that is only shown: what is not UTF-8 becomes U+FFFD.
std::wstring to_wide_lossy(std::string_view text);

// Whether every surrogate in `text` is part of a pair.
bool is_valid_utf16(std::wstring_view text);

// Appends `argument` so that CommandLineToArgvW and the C runtimes read it back unchanged.
void append_argument(std::wstring& line, std::wstring_view argument);

// The name or path that `text` writes: one pair of quotes around the whole of it (as a path
// with blanks is often written, as a command line's first word or an entry of Path) is quoting,
// not part of it, as it is for Windows.
std::wstring_view unquoted(std::wstring_view text);

// Appends the program name that starts a command line. Its parsing knows no escapes: the
// name is quoted when it has blanks or is empty, and taken as it is otherwise.
void append_program(std::wstring& line, std::wstring_view program);

}  // namespace murv::os::win32
