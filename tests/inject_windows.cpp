// Loaded into a suspended program, this refuses it the Nth call of one function
// (INJECT_FAILURE=F:N:E, over all threads) and traces each call (INJECT_TRACE=PATH), as the
// README's Windows part says. Both variables leave the environment at once, so what the program
// starts runs unharmed. No C, C++ or threads runtime: nothing may depend on the program's.
#include <cerrno>
#include <cstdint>

#include <windows.h>

// Where the call returns to: MSVC has the intrinsic alone, GCC and clang the builtin.
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#define RETURN_ADDRESS() _ReturnAddress()
#else
#define RETURN_ADDRESS() __builtin_return_address(0)
#endif

namespace {

using Word = std::uintptr_t;
// Any function of up to twelve integer or pointer arguments: on x64 the caller passes the first
// four in registers and the rest on its stack, where the extra ones read are the caller's own.
using Function = Word (*)(Word, Word, Word, Word, Word, Word, Word, Word, Word, Word, Word, Word);

enum class Reports { last_error, errno_value, hresult };

struct Injectable {
    const char* name;
    Word failed;  // what the function returns when it fails (an HRESULT's is E's)
    Reports reports;
};

constexpr Injectable INJECTABLE[] = {
    {"CreateEventW", 0, Reports::last_error},
    {"CreateIoCompletionPort", 0, Reports::last_error},
    {"CreatePipe", FALSE, Reports::last_error},
    {"CreatePseudoConsole", 0, Reports::hresult},
    {"CreateThread", 0, Reports::last_error},
    {"CreateWaitableTimerW", 0, Reports::last_error},
    {"DuplicateHandle", FALSE, Reports::last_error},
    {"GetConsoleMode", FALSE, Reports::last_error},
    {"PostQueuedCompletionStatus", FALSE, Reports::last_error},
    {"SetEvent", FALSE, Reports::last_error},
    {"SetHandleInformation", FALSE, Reports::last_error},
    {"SetWaitableTimer", FALSE, Reports::last_error},
    {"TlsAlloc", TLS_OUT_OF_INDEXES, Reports::last_error},
    {"TlsSetValue", FALSE, Reports::last_error},
    {"WaitForSingleObject", WAIT_FAILED, Reports::last_error},
    {"WriteConsoleW", FALSE, Reports::last_error},
    {"_beginthreadex", 0, Reports::errno_value},
    {"calloc", 0, Reports::errno_value},
    {"malloc", 0, Reports::errno_value},
    {"realloc", 0, Reports::errno_value},
};

const Injectable* injected = nullptr;
long failing_call = 0;
int failing_error = 0;
void* real = nullptr;  // the function itself: set once, before the wrapper can be reached
volatile LONG calls = 0;
Word image = 0;
HANDLE trace = INVALID_HANDLE_VALUE;

decltype(&::GetProcAddress) real_get_proc_address = nullptr;

bool same(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// Appends `text`, then `value` in `base`, at `at`; returns the end.
char* put(char* at, const char* text, Word value, unsigned base) {
    while (*text != '\0')
        *at++ = *text++;
    char digits[24];
    int count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    while (count > 0)
        *at++ = digits[--count];
    return at;
}

void write_trace(long call, Word returns_to) {
    const DWORD error = ::GetLastError();  // a caller may read it after a success
    char line[96];
    char* end = put(line, "call ", static_cast<Word>(call), 10);
    end = put(end, " thread ", ::GetCurrentThreadId(), 10);
    end = put(end, " returns to +0x", returns_to - image, 16);
    *end++ = '\n';
    DWORD written;
    ::WriteFile(trace, line, static_cast<DWORD>(end - line), &written, nullptr);
    ::SetLastError(error);
}

Word wrapper(Word a, Word b, Word c, Word d, Word e, Word f, Word g, Word h, Word i, Word j, Word k,
             Word l) {
    const long call = ::InterlockedIncrement(&calls);
    if (trace != INVALID_HANDLE_VALUE) write_trace(call, reinterpret_cast<Word>(RETURN_ADDRESS()));
    if (call == failing_call) {
        switch (injected->reports) {
            case Reports::last_error:
                ::SetLastError(static_cast<DWORD>(failing_error));
                break;
            case Reports::errno_value:
                errno = failing_error;
                break;
            case Reports::hresult:
                return static_cast<DWORD>(HRESULT_FROM_WIN32(failing_error));
        }
        return injected->failed;
    }
    return reinterpret_cast<Function>(real)(a, b, c, d, e, f, g, h, i, j, k, l);
}

FARPROC WINAPI looked_up(HMODULE module, LPCSTR name) {
    const FARPROC found = real_get_proc_address(module, name);
    if (found == nullptr || IS_INTRESOURCE(name) || !same(name, injected->name)) return found;
    ::InterlockedCompareExchangePointer(&real, reinterpret_cast<void*>(found), nullptr);
    // Through void (*)(), which converts to any function pointer type without a warning.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&wrapper));
}

// Points the program's imports of `name` at `replacement`; returns the first's old target or null.
void* replace_imports(const char* name, void* replacement) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    void* original = nullptr;
    if (directory.VirtualAddress == 0) return original;
    for (auto* library =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image + directory.VirtualAddress);
         library->Name != 0; ++library) {
        if (library->OriginalFirstThunk == 0) continue;  // no names to go by
        const auto* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(image + library->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(image + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* by_name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(image + names->u1.AddressOfData);
            if (!same(reinterpret_cast<const char*>(by_name->Name), name)) continue;
            if (original == nullptr) original = reinterpret_cast<void*>(slots->u1.Function);
            DWORD protection;
            if (!::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                                  &protection)) {
                continue;
            }
            slots->u1.Function = reinterpret_cast<Word>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection,
                             &protection);
        }
    }
    return original;
}

// Reads "F:N:E"; false when it does not name a function of the table.
bool parse(const char* text) {
    char name[64];
    unsigned length = 0;
    while (*text != '\0' && *text != ':' && length + 1 < sizeof name)
        name[length++] = *text++;
    name[length] = '\0';
    long numbers[2] = {0, 0};
    for (long& number : numbers) {
        if (*text++ != ':') return false;
        while (*text >= '0' && *text <= '9')
            number = number * 10 + (*text++ - '0');
    }
    for (const Injectable& candidate : INJECTABLE)
        if (same(candidate.name, name)) injected = &candidate;
    failing_call = numbers[0];
    failing_error = static_cast<int>(numbers[1]);
    return injected != nullptr && *text == '\0';
}

bool set_up() {
    char failure[128];
    const DWORD length = ::GetEnvironmentVariableA("INJECT_FAILURE", failure, sizeof failure);
    wchar_t trace_path[MAX_PATH];
    const DWORD trace_length = ::GetEnvironmentVariableW(L"INJECT_TRACE", trace_path, MAX_PATH);
    ::SetEnvironmentVariableW(L"INJECT_FAILURE", nullptr);
    ::SetEnvironmentVariableW(L"INJECT_TRACE", nullptr);
    if (length == 0 || length >= sizeof failure || !parse(failure)) return false;
    if (trace_length > 0 && trace_length < MAX_PATH) {
        trace = ::CreateFileW(trace_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
    }

    image = reinterpret_cast<Word>(::GetModuleHandleW(nullptr));
    real = replace_imports(injected->name, reinterpret_cast<void*>(&wrapper));
    real_get_proc_address = reinterpret_cast<decltype(&::GetProcAddress)>(
        replace_imports("GetProcAddress", reinterpret_cast<void*>(&looked_up)));
    if (real_get_proc_address == nullptr) real_get_proc_address = &::GetProcAddress;
    return true;
}

}  // namespace

// The library's entry: there is no C runtime start to run first.
extern "C" BOOL WINAPI inject_entry(HINSTANCE, DWORD reason, void*) {
    return reason != DLL_PROCESS_ATTACH || set_up();
}
