// r38_cpu_time COMMAND [ARGS...]: runs the command with its standard output sent to /dev/null
// and prints its CPU time in seconds (user + sys, to the microsecond) and its peak resident
// memory in KiB, from the kernel's account of the finished process. Exits with the command's
// status.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: r38_cpu_time COMMAND [ARGS...]\n", stderr);
    return 2;
  }
  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 2;
  }
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    ::execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) < 0) {
    std::perror("wait4");
    return 2;
  }
  const double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
