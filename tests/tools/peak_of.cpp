// Runs a program and writes its own peak resident memory (KiB) to descriptor 3. The kernel
// starts a child's peak at its parent's, so a test that has held large buffers measures a
// program through this small process instead of starting it itself.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 127;
    ::fcntl(3, F_SETFD, FD_CLOEXEC);
    pid_t pid = -1;
    int status = 0;
    rusage usage{};
    if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0 || wait4(pid, &status, 0, &usage) < 0)
        return 127;
    ::dprintf(3, "%ld", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
