/* measure: runs a command and reports its wall time and peak memory, for
 * bench/compare-peers.
 *
 *   measure OUTFILE COMMAND [ARG...]
 *
 * The command's standard output goes to /dev/null. While it runs, its
 * /proc/PID/status is read every millisecond and the largest RssAnon seen is
 * kept: private memory only (heap, stacks, anonymous maps), not the pages of
 * files it maps or reads. VmHWM, the peak of all resident memory file pages
 * included, comes from the kernel's own count (ru_maxrss) when it ends.
 * Appends one line to OUTFILE:
 *
 *   <exit status> <wall seconds> <peak RssAnon KiB> <VmHWM KiB>
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* RssAnon of pid in KiB, or -1 once the process has no memory left to show. */
static long ReadRssAnon(int statusFd) {
  char text[4096];
  ssize_t got = pread(statusFd, text, sizeof text - 1, 0);
  if (got <= 0) return -1;
  text[got] = '\0';
  const char* field = strstr(text, "RssAnon:");
  return field == NULL ? -1 : strtol(field + 8, NULL, 10);
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fputs("usage: measure OUTFILE COMMAND [ARG...]\n", stderr);
    return 2;
  }
  const double start = Now();
  pid_t child = fork();
  if (child < 0) {
    perror("fork");
    return 1;
  }
  if (child == 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    execvp(argv[2], argv + 2);
    perror(argv[2]);
    _exit(127);
  }
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/status", (int)child);
  int statusFd = open(path, O_RDONLY);
  long peakAnon = 0;
  int status = 0;
  struct rusage usage;
  const struct timespec pause = {0, 1000000};
  for (;;) {
    pid_t done = wait4(child, &status, WNOHANG, &usage);
    if (done == child) break;
    if (done < 0) {
      perror("wait4");
      return 1;
    }
    if (statusFd >= 0) {
      long anon = ReadRssAnon(statusFd);
      if (anon > peakAnon) peakAnon = anon;
    }
    nanosleep(&pause, NULL);
  }
  const double wall = Now() - start;
  if (statusFd >= 0) close(statusFd);
  FILE* out = fopen(argv[1], "a");
  if (out == NULL) {
    perror(argv[1]);
    return 1;
  }
  fprintf(out, "%d %.4f %ld %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
          wall, peakAnon, usage.ru_maxrss);
  fclose(out);
  return 0;
}
