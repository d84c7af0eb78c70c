/* The baseline: five pseudo-terminal sessions in plain C, each a shell with a reader thread
 * that keeps the newest 64 KiB of output, measured as sessions_probe measures the tool's.
 * Usage: bare_sessions IDLE_MS */
#define _GNU_SOURCE
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define SESSIONS 5
#define RING 65536

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
        if (s->used + (size_t)n > RING) s->used = 0; /* crude, but it touches the same memory */
        for (ssize_t i = 0; i < n; ++i)
            s->ring[s->used++] = buffer[i];
    }
    waitpid(s->shell, NULL, 0);
    return NULL;
}

static long resident_bytes(void) {
    long pages = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == NULL || fscanf(statm, "%*s %ld", &pages) != 1) return 0;
    fclose(statm);
    return pages * sysconf(_SC_PAGESIZE);
}

int main(int argc, char** argv) {
    const int idle_ms = argc > 1 ? atoi(argv[1]) : 2000;
    const char* shell = getenv("SHELL") ? getenv("SHELL") : "/bin/sh";
    struct session sessions[SESSIONS];

    const double opening = now_us();
    for (int i = 0; i < SESSIONS; ++i) {
        struct session* s = &sessions[i];
        s->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (s->master < 0 || grantpt(s->master) < 0 || unlockpt(s->master) < 0) return 2;
        const int slave = open(ptsname(s->master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        struct winsize size = {24, 80, 0, 0};
        ioctl(s->master, TIOCSWINSZ, &size);
        s->shell = fork();
        if (s->shell == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(slave, 0), dup2(slave, 1), dup2(slave, 2);
            execl(shell, shell, (char*)NULL);
            _exit(127);
        }
        close(slave);
        s->ring = malloc(RING);
        s->used = 0;
        pthread_create(&s->reader, NULL, read_output, s);
    }
    const double opened = now_us();

    usleep(idle_ms * 1000);
    const long rss = resident_bytes();

    const double closing = now_us();
    /* A reader blocked in read() does not notice a close() of its descriptor by another
     * thread, so the shells are hung up directly; each reader then sees the end and reaps. */
    for (int i = 0; i < SESSIONS; ++i)
        kill(sessions[i].shell, SIGHUP);
    for (int i = 0; i < SESSIONS; ++i)
        pthread_join(sessions[i].reader, NULL);
    for (int i = 0; i < SESSIONS; ++i)
        close(sessions[i].master);
    const double reaped = now_us();

    printf("open_us=%.0f rss_bytes=%ld reap_us=%.0f\n", opened - opening, rss, reaped - closing);
    return 0;
}
