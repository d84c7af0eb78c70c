/* The floor of a terminal session on Windows: the work the session layer does to open one, in
 * plain C and nothing more. Each session: two pipes, a pseudo console of 80x24 on them (the
 * function looked up at run time, as the tool must for systems that lack it), the console's
 * own ends closed; the user's profile folder looked up (shell32 and ole32 loaded from the system
 * directory at the first open); cmd.exe from the system directory started on the console alone
 * (an attribute list with the console, standard handles named and none given), in that folder,
 * with the environment of a new session: this process's own, the variables the system stores
 * for new sessions applied over it, then TERM, MURV, LANG and LC_CTYPE; a reader thread with
 * 2 MiB of stack reserved; 64 KiB reserved for the newest output.
 * Usage: floor_sessions SESSIONS IDLE_MS
 * Prints what sessions_probe prints: the time of all the opens, the working set after the idle
 * wait, and the time from the first close until every reader has reaped its shell. */
#define _WIN32_WINNT 0x0A00
#define NTDDI_VERSION 0x0A000006
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define MAX_SESSIONS 16
#define RING 65536
#define STACK (2 << 20)

typedef HRESULT(WINAPI* CreateConsole)(COORD, HANDLE, HANDLE, DWORD, HPCON*);
typedef void(WINAPI* CloseConsole)(HPCON);
typedef HRESULT(WINAPI* GetKnownFolderPath)(const GUID*, DWORD, HANDLE, PWSTR*);
typedef void(WINAPI* FreeTaskMemory)(void*);

struct session {
    HPCON console;
    HANDLE input;  /* the write end of the console's input */
    HANDLE output; /* the read end of its output: the reader's */
    HANDLE shell;
    HANDLE reader;
    char* ring;
    size_t used;
};

static double now_us(void) {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart * 1e6 / (double)frequency.QuadPart;
}

/* Reads until the console host closes its end, then lets the pipe go before it waits for the
 * shell: closing the console waits until its output is read or no read end is left. */
static DWORD WINAPI read_output(void* arg) {
    struct session* s = arg;
    char buffer[4096];
    DWORD n;
    while (ReadFile(s->output, buffer, sizeof buffer, &n, NULL) && n > 0) {
        if (s->used + n > RING) s->used = 0; /* the newest bytes, kept more crudely */
        memcpy(s->ring + s->used, buffer, n);
        s->used += n;
    }
    CloseHandle(s->output);
    WaitForSingleObject(s->shell, INFINITE);
    CloseHandle(s->shell);
    return 0;
}

static unsigned long long working_set(void) {
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
               ? (unsigned long long)counters.WorkingSetSize
               : 0;
}

/* The user's profile folder, where a shell starts when the lookup succeeds, to be freed with
 * free_task_memory; NULL when it fails. Its libraries are loaded at the first lookup, from the
 * system directory alone. */
static FreeTaskMemory free_task_memory;
static wchar_t* profile_folder(void) {
    static int loaded;
    static GetKnownFolderPath get_known_folder_path;
    if (!loaded) {
        loaded = 1;
        const HMODULE shell32 = LoadLibraryExW(L"shell32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
        const HMODULE ole32 = LoadLibraryExW(L"ole32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (shell32 != NULL && ole32 != NULL) {
            get_known_folder_path =
                (GetKnownFolderPath)(void (*)(void))GetProcAddress(shell32, "SHGetKnownFolderPath");
            free_task_memory =
                (FreeTaskMemory)(void (*)(void))GetProcAddress(ole32, "CoTaskMemFree");
        }
    }
    if (get_known_folder_path == NULL || free_task_memory == NULL) return NULL;
    /* FOLDERID_Profile */
    static const GUID profile = {
        0x5e6c858f, 0x0e22, 0x4760, {0x9a, 0xfe, 0xea, 0x33, 0x17, 0xb6, 0x71, 0x73}};
    wchar_t* path = NULL;
    const HRESULT result = get_known_folder_path(&profile, 0, NULL, &path);
    if (SUCCEEDED(result) && path != NULL && path[0] != L'\0') return path;
    free_task_memory(path); /* the caller's to free even when the lookup fails */
    return NULL;
}

/* A variable of the environment being built; both strings its own. */
struct variable {
    wchar_t* name;
    wchar_t* value;
};

struct environment {
    struct variable* variables;
    size_t count, capacity;
};

static wchar_t* copy_of(const wchar_t* text, size_t length) {
    wchar_t* copy = malloc((length + 1) * sizeof *copy);
    if (copy == NULL) return NULL;
    memcpy(copy, text, length * sizeof *copy);
    copy[length] = L'\0';
    return copy;
}

/* Names compare as a block orders them: upper-cased code units, no locale. */
static int compare_names(const wchar_t* a, int a_length, const wchar_t* b, int b_length) {
    return CompareStringOrdinal(a, a_length, b, b_length, TRUE);
}

static struct variable* find(struct environment* e, const wchar_t* name, size_t length) {
    for (size_t i = 0; i < e->count; ++i) {
        if (compare_names(e->variables[i].name, -1, name, (int)length) == CSTR_EQUAL) {
            return &e->variables[i];
        }
    }
    return NULL;
}

/* Sets `name` to `value`, taking both; the new spelling of the name is the one kept. */
static int set(struct environment* e, wchar_t* name, wchar_t* value) {
    if (name == NULL || value == NULL) {
        free(name);
        free(value);
        return -1;
    }
    struct variable* found = find(e, name, wcslen(name));
    if (found == NULL) {
        if (e->count == e->capacity) {
            const size_t capacity = e->capacity ? 2 * e->capacity : 64;
            struct variable* more = realloc(e->variables, capacity * sizeof *more);
            if (more == NULL) return -1;
            e->variables = more;
            e->capacity = capacity;
        }
        found = &e->variables[e->count++];
    } else {
        free(found->name);
        free(found->value);
    }
    found->name = name;
    found->value = value;
    return 0;
}

/* `value` with each %NAME% of a variable so far replaced by its value; any other reference is
 * kept as written, and the scan goes on after its closing '%'. */
static wchar_t* expanded(struct environment* e, const wchar_t* value) {
    size_t capacity = wcslen(value) + 1, length = 0;
    wchar_t* out = malloc(capacity * sizeof *out);
    while (out != NULL) {
        const wchar_t* open = wcschr(value, L'%');
        const wchar_t* close = open != NULL ? wcschr(open + 1, L'%') : NULL;
        const wchar_t* piece = value;
        size_t piece_length = close != NULL ? (size_t)(open - value) : wcslen(value);
        const struct variable* found = close != NULL && close > open + 1
                                           ? find(e, open + 1, (size_t)(close - open - 1))
                                           : NULL;
        for (int part = 0; part < 2; ++part) {
            if (length + piece_length + 1 > capacity) {
                capacity = 2 * (length + piece_length + 1);
                wchar_t* more = realloc(out, capacity * sizeof *more);
                if (more == NULL) {
                    free(out);
                    return NULL;
                }
                out = more;
            }
            memcpy(out + length, piece, piece_length * sizeof *out);
            length += piece_length;
            if (close == NULL) break;
            piece = found != NULL ? found->value : open;
            piece_length = found != NULL ? wcslen(found->value) : (size_t)(close - open + 1);
        }
        out[length] = L'\0';
        if (close == NULL) break;
        value = close + 1;
    }
    return out;
}

static int is_list(const wchar_t* name) {
    return compare_names(name, -1, L"Path", -1) == CSTR_EQUAL ||
           compare_names(name, -1, L"LibPath", -1) == CSTR_EQUAL ||
           compare_names(name, -1, L"Os2LibPath", -1) == CSTR_EQUAL;
}

/* Sets `name` to the stored `value`: expanded where `expandable`, and where `joins` and `name`
 * is a list that the environment has, appended to that list. Takes `value`. */
static int apply_one(struct environment* e, const wchar_t* name, wchar_t* value, int expandable,
                     int joins) {
    if (value != NULL && expandable) {
        wchar_t* whole = expanded(e, value);
        free(value);
        value = whole;
    }
    const struct variable* so_far = find(e, name, wcslen(name));
    if (value != NULL && joins && so_far != NULL && is_list(name)) {
        const size_t a = wcslen(so_far->value), b = wcslen(value);
        const int separate = a > 0 && so_far->value[a - 1] != L';' && value[0] != L';';
        wchar_t* both = malloc((a + separate + b + 1) * sizeof *both);
        if (both != NULL) {
            memcpy(both, so_far->value, a * sizeof *both);
            if (separate) both[a] = L';';
            memcpy(both + a + separate, value, (b + 1) * sizeof *both);
        }
        free(value);
        value = both;
    }
    return set(e, copy_of(name, wcslen(name)), value);
}

/* Applies the variables stored at `subkey`, each replacing one of the same name: the plain
 * values as they are listed, then the expandable ones (a list's always is), which may refer to
 * any of them; where `joins`, a list is appended to the list so far. An empty value, a name that
 * is empty or has '=', and `skipped` are left out. */
static int apply_stored(struct environment* e, HKEY root, const wchar_t* subkey, int joins,
                        const wchar_t* skipped) {
    HKEY key;
    if (RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    DWORD name_capacity = 0, data_capacity = 0;
    int result = -1;
    wchar_t *name = NULL, *data = NULL;
    struct environment later = {NULL, 0, 0}; /* the expandable ones */
    if (RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, &name_capacity,
                         &data_capacity, NULL, NULL) == ERROR_SUCCESS &&
        (name = malloc((name_capacity + 1) * sizeof *name)) != NULL &&
        (data = malloc(data_capacity + sizeof *data)) != NULL) {
        result = 0;
        for (DWORD index = 0; result == 0; ++index) {
            DWORD name_length = name_capacity + 1, type, size = data_capacity;
            const LSTATUS status =
                RegEnumValueW(key, index, name, &name_length, NULL, &type, (BYTE*)data, &size);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status == ERROR_MORE_DATA) continue;
            if (status != ERROR_SUCCESS) break;
            data[size / sizeof *data] = L'\0'; /* read up to its first NUL */
            if ((type != REG_SZ && type != REG_EXPAND_SZ) || data[0] == L'\0' || name_length == 0 ||
                wcschr(name, L'=') != NULL ||
                (skipped != NULL && compare_names(name, -1, skipped, -1) == CSTR_EQUAL)) {
                continue;
            }
            wchar_t* value = copy_of(data, wcslen(data));
            if (type == REG_EXPAND_SZ || is_list(name)) {
                result = set(&later, copy_of(name, name_length), value);
            } else {
                result = apply_one(e, name, value, 0, 0);
            }
        }
        for (size_t i = 0; i < later.count && result == 0; ++i) {
            result = apply_one(e, later.variables[i].name, later.variables[i].value, 1, joins);
            later.variables[i].value = NULL;
        }
    }
    for (size_t i = 0; i < later.count; ++i) {
        free(later.variables[i].name);
        free(later.variables[i].value);
    }
    free(later.variables);
    free(name);
    free(data);
    RegCloseKey(key);
    return result;
}

static int by_name(const void* a, const void* b) {
    const int order =
        compare_names(((const struct variable*)a)->name, -1, ((const struct variable*)b)->name, -1);
    return order == CSTR_LESS_THAN ? -1 : order == CSTR_EQUAL ? 0 : 1;
}

/* Sets `name` to `fallback` unless this process's own value is there and not empty. */
static int default_unless_inherited(struct environment* e, const wchar_t* name,
                                    const wchar_t* fallback) {
    wchar_t one[1];
    if (GetEnvironmentVariableW(name, one, 1) > 0) return 0;
    return set(e, copy_of(name, wcslen(name)), copy_of(fallback, wcslen(fallback)));
}

/* The block a new session's shell starts with, in the order of names; NULL if it cannot be
 * built. */
static wchar_t* environment_block(void) {
    struct environment e = {NULL, 0, 0};
    int failed = 0;
    wchar_t* own = GetEnvironmentStringsW();
    if (own == NULL) return NULL;
    /* "=C:=C:\dir" entries are the command interpreter's per-drive directories. */
    for (const wchar_t* entry = own; *entry != L'\0' && !failed; entry += wcslen(entry) + 1) {
        const wchar_t* equals = wcschr(entry, L'=');
        if (equals == NULL || equals == entry) continue;
        failed = set(&e, copy_of(entry, (size_t)(equals - entry)),
                     copy_of(equals + 1, wcslen(equals + 1)));
    }
    FreeEnvironmentStringsW(own);

    wchar_t volatile_session[64] = L"Volatile Environment";
    DWORD session;
    const int of_session = ProcessIdToSessionId(GetCurrentProcessId(), &session);
    if (of_session) swprintf(volatile_session, 64, L"Volatile Environment\\%lu", session);
    failed = failed ||
             apply_stored(&e, HKEY_LOCAL_MACHINE,
                          L"System\\CurrentControlSet\\Control\\Session Manager\\Environment", 0,
                          L"USERNAME") < 0 ||
             apply_stored(&e, HKEY_CURRENT_USER, L"Environment", 1, NULL) < 0 ||
             apply_stored(&e, HKEY_CURRENT_USER, L"Volatile Environment", 0, NULL) < 0 ||
             (of_session && apply_stored(&e, HKEY_CURRENT_USER, volatile_session, 0, NULL) < 0);
    failed = failed || set(&e, copy_of(L"TERM", 4), copy_of(L"xterm-256color", 14)) < 0 ||
             set(&e, copy_of(L"MURV", 4), copy_of(L"1", 1)) < 0 ||
             default_unless_inherited(&e, L"LANG", L"en_US.UTF-8") < 0 ||
             default_unless_inherited(&e, L"LC_CTYPE", L"UTF-8") < 0;

    wchar_t* block = NULL;
    if (!failed) {
        qsort(e.variables, e.count, sizeof *e.variables, by_name);
        size_t length = 2;
        for (size_t i = 0; i < e.count; ++i) {
            length += wcslen(e.variables[i].name) + wcslen(e.variables[i].value) + 2;
        }
        block = malloc(length * sizeof *block);
    }
    if (block != NULL) {
        wchar_t* at = block;
        for (size_t i = 0; i < e.count; ++i) {
            const size_t name = wcslen(e.variables[i].name);
            const size_t value = wcslen(e.variables[i].value);
            memcpy(at, e.variables[i].name, name * sizeof *at);
            at[name] = L'=';
            memcpy(at + name + 1, e.variables[i].value, (value + 1) * sizeof *at);
            at += name + value + 2;
        }
        if (at == block) *at++ = L'\0'; /* an empty block still has its two NULs */
        *at = L'\0';
    }
    for (size_t i = 0; i < e.count; ++i) {
        free(e.variables[i].name);
        free(e.variables[i].value);
    }
    free(e.variables);
    return block;
}

/* Starts `program` on the console, in `directory` unless it is NULL; the process handle, or
 * NULL. */
static HANDLE start_shell(HPCON console, wchar_t* program, const wchar_t* directory,
                          wchar_t* environment) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(NULL, 1, 0, &size);
    LPPROC_THREAD_ATTRIBUTE_LIST attributes = HeapAlloc(GetProcessHeap(), 0, size);
    if (attributes == NULL) return NULL;
    HANDLE shell = NULL;
    if (InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        STARTUPINFOEXW startup;
        PROCESS_INFORMATION started;
        memset(&startup, 0, sizeof startup);
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.lpAttributeList = attributes;
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE, console,
                                      sizeof console, NULL, NULL) &&
            CreateProcessW(NULL, program, NULL, NULL, FALSE,
                           EXTENDED_STARTUPINFO_PRESENT | CREATE_UNICODE_ENVIRONMENT, environment,
                           directory, &startup.StartupInfo, &started)) {
            CloseHandle(started.hThread);
            shell = started.hProcess;
        }
        DeleteProcThreadAttributeList(attributes);
    }
    HeapFree(GetProcessHeap(), 0, attributes);
    return shell;
}

static int open_session(struct session* s, CreateConsole create, wchar_t* program) {
    HANDLE input_read, output_write;
    memset(s, 0, sizeof *s);
    if (!CreatePipe(&input_read, &s->input, NULL, 0)) return -1;
    if (!CreatePipe(&s->output, &output_write, NULL, 0)) return -1;
    const COORD size = {80, 24};
    const HRESULT created = create(size, input_read, output_write, 0, &s->console);
    /* The host holds its own copies: with these gone, the output breaks when the host goes. */
    CloseHandle(input_read);
    CloseHandle(output_write);
    if (FAILED(created)) return -1;

    wchar_t* directory = profile_folder();
    wchar_t* environment = environment_block();
    if (environment == NULL) return -1;

    s->shell = start_shell(s->console, program, directory, environment);
    free(environment);
    if (directory != NULL) free_task_memory(directory);
    s->ring = malloc(RING);
    if (s->shell == NULL || s->ring == NULL) return -1;
    s->reader = CreateThread(NULL, STACK, read_output, s, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL);
    return s->reader != NULL ? 0 : -1;
}

int main(int argc, char** argv) {
    const int count = argc > 1 ? atoi(argv[1]) : 5;
    const int idle_ms = argc > 2 ? atoi(argv[2]) : 2000;
    if (count < 0 || count > MAX_SESSIONS) return 2;
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const CreateConsole create =
        (CreateConsole)(void (*)(void))GetProcAddress(kernel, "CreatePseudoConsole");
    const CloseConsole close_console =
        (CloseConsole)(void (*)(void))GetProcAddress(kernel, "ClosePseudoConsole");
    wchar_t program[MAX_PATH];
    const UINT length = GetSystemDirectoryW(program, MAX_PATH);
    if (create == NULL || close_console == NULL || length == 0 ||
        length + wcslen(L"\\cmd.exe") >= MAX_PATH) {
        return 2;
    }
    wcscat(program, L"\\cmd.exe");
    struct session sessions[MAX_SESSIONS];

    /* A failed open ends the program, and the system closes what it holds. */
    const double opening = now_us();
    for (int i = 0; i < count; ++i) {
        if (open_session(&sessions[i], create, program) < 0) return 2;
    }
    const double opened = now_us();

    Sleep((DWORD)idle_ms);
    const unsigned long long resident = working_set();

    /* Each close ends the console's programs and its host, and (before Windows 11 24H2) waits
     * until the host has gone, which it does once its output is read: the readers go on
     * reading meanwhile. The host's end of the output then breaks, and each reader reaps. */
    const double closing = now_us();
    for (int i = 0; i < count; ++i) {
        CloseHandle(sessions[i].input);
        close_console(sessions[i].console);
    }
    for (int i = 0; i < count; ++i) {
        WaitForSingleObject(sessions[i].reader, INFINITE);
        CloseHandle(sessions[i].reader);
        free(sessions[i].ring);
    }
    const double reaped = now_us();

    printf("open_us=%.0f rss_bytes=%llu reap_us=%.0f\n", opened - opening, resident,
           reaped - closing);
    return 0;
}
