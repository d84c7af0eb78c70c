// A program for tests to run in place of a shell or of the application: it reports what it
// was started with, one "name=value" line each, to the file %PROBE_OUT% when set ("-": its
// standard output), else to its console, opened by name so that it reaches the console even
// without standard handles.
//   PROBE_EXIT=N   exit with N          PROBE_STAY=1   stay up after the report
//   PROBE_LEAK=H   try to write to handle H (hex), which it must not have inherited
//   PROBE_SHOW=A,B report variables A and B too
#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include <windows.h>
#include <shellapi.h>

namespace {

std::wstring variable(const wchar_t* name) {
    std::wstring value(32768, L'\0');  // the most a variable can hold
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length =
        ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return L" unset";
    value.resize(length < value.size() ? length : 0);
    return L"=" + value;
}

// The names listed in PROBE_SHOW, separated by commas.
std::vector<std::wstring> names_to_show() {
    std::vector<std::wstring> names;
    const std::wstring list = variable(L"PROBE_SHOW");
    if (list.front() != L'=') return names;
    for (std::size_t at = 1; at <= list.size();) {
        const std::size_t comma = std::min(list.find(L',', at), list.size());
        if (comma > at) names.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return names;
}

// What a standard handle is: none, a console, another object, or a value that names nothing.
std::wstring standard_kind(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return L"none";
    DWORD mode;
    if (::GetConsoleMode(handle, &mode)) return L"console";
    DWORD flags;
    return ::GetHandleInformation(handle, &flags) ? L"other" : L"invalid";
}

std::wstring leak_write() {
    wchar_t text[32];
    if (::GetEnvironmentVariableW(L"PROBE_LEAK", text, 32) == 0) return L"untried";
    const auto handle = reinterpret_cast<HANDLE>(std::wcstoull(text, nullptr, 16));
    DWORD written;
    return ::WriteFile(handle, "leaked", 6, &written, nullptr) ? L"ok" : L"failed";
}

// How many entries of the environment block are named MURV, in any spelling: more than one
// would leave the program to pick one.
int murv_entries() {
    int count = 0;
    wchar_t* block = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const wchar_t* equals = std::wcschr(entry + 1, L'=');
        if (equals != nullptr && ::CompareStringOrdinal(entry, static_cast<int>(equals - entry),
                                                        L"MURV", 4, TRUE) == CSTR_EQUAL) {
            ++count;
        }
    }
    ::FreeEnvironmentStringsW(block);
    return count;
}

std::string utf8(const std::wstring& text) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                          length, nullptr, nullptr);
    return out;
}

}  // namespace

int main() {
    std::wstring report;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    report += L"argc=" + std::to_wstring(argc) + L"\n";
    for (int i = 1; i < argc; ++i)
        report += L"arg" + std::to_wstring(i) + L"=" + argv[i] + L"\n";
    ::LocalFree(argv);
    for (const wchar_t* name : {L"TERM", L"MURV", L"LANG", L"LC_CTYPE"}) {
        report += std::wstring(name) + variable(name) + L"\n";
    }
    for (const std::wstring& name : names_to_show()) {
        report += name + variable(name.c_str()) + L"\n";
    }
    report += L"murv_entries=" + std::to_wstring(murv_entries()) + L"\n";
    wchar_t cwd[MAX_PATH];
    report += L"cwd=" + std::wstring(cwd, ::GetCurrentDirectoryW(MAX_PATH, cwd)) + L"\n";
    report += L"stdin=" + standard_kind(STD_INPUT_HANDLE) + L"\n";
    report += L"stdout=" + standard_kind(STD_OUTPUT_HANDLE) + L"\n";
    report += L"stderr=" + standard_kind(STD_ERROR_HANDLE) + L"\n";
    report += std::wstring(L"console=") + (::GetConsoleCP() != 0 ? L"yes" : L"no") + L"\n";
    report += std::wstring(L"console_window=") +
              (::GetConsoleWindow() != nullptr ? L"yes" : L"no") + L"\n";
    report += L"leak_write=" + leak_write() + L"\n";
    report += L"pid=" + std::to_wstring(::GetCurrentProcessId()) + L"\n";
    report += L"done\n";

    wchar_t out[MAX_PATH];
    if (::GetEnvironmentVariableW(L"PROBE_OUT", out, MAX_PATH) != 0) {
        const bool standard = std::wstring(out) == L"-";
        const HANDLE file =
            standard ? ::GetStdHandle(STD_OUTPUT_HANDLE)
                     : ::CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const std::string bytes = utf8(report);
        DWORD written;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        if (!standard) ::CloseHandle(file);
    } else {
        const HANDLE console =
            ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        for (std::size_t at = 0; (at = report.find(L'\n', at)) != std::wstring::npos; at += 2) {
            report.insert(at, 1, L'\r');
        }
        DWORD written;
        ::WriteConsoleW(console, report.data(), static_cast<DWORD>(report.size()), &written,
                        nullptr);
    }

    wchar_t stay[4];
    if (::GetEnvironmentVariableW(L"PROBE_STAY", stay, 4) != 0) ::Sleep(INFINITE);
    wchar_t code[16];
    return ::GetEnvironmentVariableW(L"PROBE_EXIT", code, 16) != 0 ? std::wcstol(code, nullptr, 10)
                                                                   : 0;
}
