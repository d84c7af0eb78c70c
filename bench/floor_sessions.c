/* The floor of a terminal session: the work the session layer does to open one, in plain C and
 * nothing more. Each session: the pair (posix_openpt, grantpt, unlockpt, the slave side opened,
 * its size set); the shell started by posix_spawn in a session of its own, with every signal's
 * default disposition and an empty mask, on the terminal opened as its controlling terminal,
 * which returns once the shell has exec'd (an open waits for that, so that a missing shell is
 * the open's error); a reader thread with a 2 MiB stack; 64 KiB reserved for the newest output.
 * Usage: floor_sessions SESSIONS IDLE_MS
 * Prints what sessions_probe prints: the time of all the opens, the resident bytes after the
 * idle wait, and the time from the end of the shells until every one is reaped. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define MAX_SESSIONS 16
#define RING 65536
#define STACK (2 << 20)

extern char** environ;

struct session {
    int master;
    pid_t shell;
    pthread_t reader;
    char* ring;
    size_t used;
};

static double now_us(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

static void* read_output(void* arg) {
    struct session* s = arg;
    char buffer[4096];
    ssize_t n;
    while ((n = read(s->master, buffer, sizeof buffer)) > 0) {
        const size_t kept = (size_t)n;
        if (s->used + kept > RING) s->used = 0; /* the newest bytes, kept more crudely */
        memcpy(s->ring + s->used, buffer, kept);
        s->used += kept;
    }
    waitpid(s->shell, NULL, 0);
    return NULL;
}

/* Read as the tool reads it, without stdio: the first scanf alone touches some 300 KiB of the C
 * library's locale data, which would count in the figure. */
static long resident_bytes(void) {
    char text[256];
    const int statm = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    const ssize_t length = statm < 0 ? -1 : read(statm, text, sizeof text - 1);
    if (statm >= 0) close(statm);
    if (length <= 0) return 0;
    text[length] = '\0';
    const char* resident = strchr(text, ' ');
    return resident == NULL ? 0 : strtol(resident + 1, NULL, 10) * sysconf(_SC_PAGESIZE);
}

static int open_session(struct session* s, const char* shell, const pthread_attr_t* stack) {
    s->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s->master < 0 || grantpt(s->master) < 0 || unlockpt(s->master) < 0) return -1;
    char name[128];
    if (ptsname_r(s->master, name, sizeof name) != 0) return -1;
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    const struct winsize size = {24, 80, 0, 0};
    if (slave < 0 || ioctl(s->master, TIOCSWINSZ, &size) < 0) return -1;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, name, O_RDWR, 0); /* the controlling terminal */
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_adddup2(&actions, 0, 2);
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    char* argv[] = {(char*)shell, NULL};
    const int failed = posix_spawn(&s->shell, shell, &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(slave);
    if (failed) return -1;

    s->ring = malloc(RING);
    s->used = 0;
    return s->ring != NULL && pthread_create(&s->reader, stack, read_output, s) == 0 ? 0 : -1;
}

int main(int argc, char** argv) {
    const int count = argc > 1 ? atoi(argv[1]) : 5;
    const int idle_ms = argc > 2 ? atoi(argv[2]) : 2000;
    const char* shell = getenv("SHELL") ? getenv("SHELL") : "/bin/sh";
    struct session sessions[MAX_SESSIONS];
    if (count < 0 || count > MAX_SESSIONS) return 2;
    pthread_attr_t stack;
    pthread_attr_init(&stack);
    pthread_attr_setstacksize(&stack, STACK);

    const double opening = now_us();
    for (int i = 0; i < count; ++i) {
        if (open_session(&sessions[i], shell, &stack) < 0) return 2;
    }
    const double opened = now_us();

    usleep(idle_ms * 1000);
    const long rss = resident_bytes();

    /* A reader blocked in read() does not notice a close() of its descriptor by another
     * thread, so the shells are ended directly (outright: bash defers a SIGHUP that comes while
     * it starts); each reader then sees the end and reaps. */
    const double closing = now_us();
    for (int i = 0; i < count; ++i)
        kill(sessions[i].shell, SIGKILL);
    for (int i = 0; i < count; ++i)
        pthread_join(sessions[i].reader, NULL);
    for (int i = 0; i < count; ++i)
        close(sessions[i].master), free(sessions[i].ring);
    const double reaped = now_us();

    printf("open_us=%.0f rss_bytes=%ld reap_us=%.0f\n", opened - opening, rss, reaped - closing);
    return 0;
}
