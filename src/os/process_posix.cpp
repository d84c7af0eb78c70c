#include <signal.h>
#include <spawn.h>

#include "os/posix.hpp"
#include "os/process.hpp"
#include "os/system_error.hpp"

extern char** environ;

namespace murv::os {
namespace {

// Owns posix_spawn's two argument objects.
class SpawnSetup {
  public:
    SpawnSetup() {
        ::posix_spawnattr_init(&attributes_);
        ::posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Default dispositions (the tool ignores SIGPIPE), an empty mask, and nothing but the
    // three standard streams. Returns 0 or an error number.
    int clean_start() {
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        // Everything the tool opens is close-on-exec already; this also covers descriptors
        // the tool itself inherited.
        if (int error = ::posix_spawn_file_actions_addclosefrom_np(&actions_, 3)) return error;
        if (int error = ::posix_spawnattr_setsigdefault(&attributes_, &all)) return error;
        if (int error = ::posix_spawnattr_setsigmask(&attributes_, &none)) return error;
        return ::posix_spawnattr_setflags(&attributes_,
                                          POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }

    const posix_spawnattr_t* attributes() const { return &attributes_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }

  private:
    posix_spawnattr_t attributes_;
    posix_spawn_file_actions_t actions_;
};

}  // namespace

Result<ExitStatus> run_to_exit(const std::string& program, const std::string& argument) {
    SpawnSetup setup;
    if (int error = setup.clean_start()) return std::unexpected(system_error(error));

    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                    nullptr};
    pid_t pid;
    if (int error = ::posix_spawn(&pid, program.c_str(), setup.actions(), setup.attributes(), argv,
                                  environ)) {
        return std::unexpected(system_error(error));
    }
    return wait_for_child(pid);
}

}  // namespace murv::os
