// A stand-in for murv's release build: answers --version, so that perf_assert runs out of the
// box. Point APP_PROJECT_DIR at the real project to measure the real application.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("murv 0.0.0 (stand-in)");
        return 0;
    }
    std::fputs("usage: murv --version\n", stderr);
    return 2;
}
