// r38_cpu_time COMMAND [ARGS...]: runs the command with its standard output sent to /dev/null
// and prints its CPU time in seconds (user + sys, to the microsecond), its peak resident memory
// in KiB, and the user and sys seconds apart, from the kernel's account of the finished process.
// Exits with the command's status.
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
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  const double user = seconds(usage.ru_utime);
  const double sys = seconds(usage.ru_stime);
  std::printf("%.6f %ld %.6f %.6f\n", user + sys, usage.ru_maxrss, user, sys);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
