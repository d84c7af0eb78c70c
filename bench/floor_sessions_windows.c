/* The floor of a terminal session on Windows: the work the session layer does to open one, in
 * plain C and nothing more. Each session: two pipes, a pseudo console of 80x24 on them (the
 * function looked up at run time, as the tool must for systems that lack it), the console's
 * own ends closed; cmd.exe from the system directory started on the console alone (an attribute
 * list with the console, standard handles named and none given), with this process's
 * environment; a reader thread with 2 MiB of stack reserved; 64 KiB reserved for the newest
 * output.
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

/* Starts `program` on the console; the process handle, or NULL. */
static HANDLE start_shell(HPCON console, wchar_t* program) {
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
            CreateProcessW(NULL, program, NULL, NULL, FALSE, EXTENDED_STARTUPINFO_PRESENT, NULL,
                           NULL, &startup.StartupInfo, &started)) {
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

    s->shell = start_shell(s->console, program);
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
