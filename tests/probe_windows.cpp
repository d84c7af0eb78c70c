// Run in place of a shell or of the application, it reports what it was started with, one
// "name=value" line each, to the file %PROBE_OUT% ("-": standard output), else to its console
// by name, which it reaches even without standard handles.
//   PROBE_EXIT=N   exit with N          PROBE_STAY=1   stay up after the report
//   PROBE_LEAK=H   try to write to handle H (hex), which it must not have inherited
//   PROBE_SHOW=A,B report variables A and B too
#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <string>

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

// What a standard handle is: none, a console, another object, or a value that names nothing.
std::wstring standard_kind(DWORD which) {
    const HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return L"none";
    DWORD mode, flags;
    if (::GetConsoleMode(handle, &mode)) return L"console";
    return ::GetHandleInformation(handle, &flags) ? L"other" : L"invalid";
}

std::wstring leak_write() {
    const std::wstring text = variable(L"PROBE_LEAK");
    if (text[0] != L'=') return L"untried";
    const auto handle = reinterpret_cast<HANDLE>(std::wcstoull(text.c_str() + 1, nullptr, 16));
    DWORD written;
    return ::WriteFile(handle, "leaked", 6, &written, nullptr) ? L"ok" : L"failed";
}

// Entries of the environment block named MURV in any spelling: more would leave it to pick one.
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

}  // namespace

int main() {
    std::wstring report;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    report += L"argc=" + std::to_wstring(argc) + L"\n";
    for (int i = 1; i < argc; ++i)
        report += L"arg" + std::to_wstring(i) + L"=" + argv[i] + L"\n";
    ::LocalFree(argv);
    for (const wchar_t* name : {L"TERM", L"MURV", L"LANG", L"LC_CTYPE"})
        report += std::wstring(name) + variable(name) + L"\n";
    const std::wstring shown = variable(L"PROBE_SHOW");  // "=A,B" when set
    for (std::size_t at = 1; shown[0] == L'=' && at <= shown.size();) {
        const std::size_t comma = std::min(shown.find(L',', at), shown.size());
        const std::wstring name = shown.substr(at, comma - at);
        if (!name.empty()) report += name + variable(name.c_str()) + L"\n";
        at = comma + 1;
    }
    report += L"murv_entries=" + std::to_wstring(murv_entries()) + L"\n";
    wchar_t cwd[MAX_PATH];
    report += L"cwd=" + std::wstring(cwd, ::GetCurrentDirectoryW(MAX_PATH, cwd)) + L"\n";
    report += L"stdin=" + standard_kind(STD_INPUT_HANDLE) + L"\nstdout=" +
              standard_kind(STD_OUTPUT_HANDLE) + L"\nstderr=" + standard_kind(STD_ERROR_HANDLE) +
              L"\n";
    report += L"leak_write=" + leak_write() + L"\npid=" + std::to_wstring(::GetCurrentProcessId()) +
              L"\ndone\n";

    DWORD written;
    wchar_t out[MAX_PATH];
    if (::GetEnvironmentVariableW(L"PROBE_OUT", out, MAX_PATH) != 0) {
        const bool standard = std::wstring(out) == L"-";
        const HANDLE file =
            standard ? ::GetStdHandle(STD_OUTPUT_HANDLE)
                     : ::CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        std::string bytes(report.size() * 3, '\0');  // the most UTF-8 a UTF-16 unit takes
        bytes.resize(static_cast<std::size_t>(
            ::WideCharToMultiByte(CP_UTF8, 0, report.data(), static_cast<int>(report.size()),
                                  bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr)));
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        if (!standard) ::CloseHandle(file);
    } else {
        const HANDLE console =
            ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        for (std::size_t at = 0; (at = report.find(L'\n', at)) != std::wstring::npos; at += 2)
            report.insert(at, 1, L'\r');
        ::WriteConsoleW(console, report.data(), static_cast<DWORD>(report.size()), &written,
                        nullptr);
    }

    if (variable(L"PROBE_STAY")[0] == L'=') ::Sleep(INFINITE);
    const std::wstring code = variable(L"PROBE_EXIT");
    return code[0] == L'=' ? std::wcstol(code.c_str() + 1, nullptr, 10) : 0;
}
