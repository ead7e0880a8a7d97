#!/usr/bin/env bash
# Binaries of a 32-bit target must call the C library's 64-bit file-offset and time entry points
# only. Which names exist only for 32-bit offsets or time is not written down here: a probe that
# calls the affected functions is compiled for the target with and without the two defines, once
# plain and once with the release flags (so the fortified variants are in it), and the names it
# imports only without them are the narrow ones. Every ELF file given (or found under a directory
# given) must import none of them.
# Usage: narrow_imports_test.sh CC NM FILE_OR_DIR...
set -euo pipefail
cc=$1 nm=$2
shift 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cat >"$scratch/probe.c" <<'C'
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <glob.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/timerfd.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>

/* Never run: only what it links against matters. The argument keeps every call alive. */
int probe(int n, char **v) {
  char buf[64];
  struct stat st;
  struct statfs sfs;
  struct statvfs svfs;
  struct timespec ts = {0, 0};
  struct timeval tv;
  struct rlimit rl;
  struct rusage ru;
  struct itimerspec its;
  struct iovec iov = {buf, sizeof buf};
  fpos_t pos;
  glob_t g;
  fd_set set;
  sigset_t ss;
  struct dirent **names;
  time_t t = time(NULL);
  struct tm tm;
  int r = 0;
  r += open(v[0], n) + open(v[0], n | O_CREAT, 0600) + openat(n, v[0], n) + creat(v[0], 0600);
  r += fstat(n, &st) + stat(v[0], &st) + lstat(v[0], &st) + fstatat(n, v[0], &st, 0);
  r += (int)lseek(n, n, SEEK_SET) + (int)pread(n, buf, sizeof buf, n);
  r += (int)pwrite(n, buf, sizeof buf, n) + (int)preadv(n, &iov, 1, n) + (int)pwritev(n, &iov, 1, n);
  r += (int)read(n, buf, (size_t)n) + truncate(v[0], n) + ftruncate(n, n) + lockf(n, F_LOCK, n);
  r += fcntl(n, F_GETFL) + posix_fadvise(n, 0, n, 0) + posix_fallocate(n, 0, n) + fallocate(n, 0, 0, n);
  r += mmap(NULL, (size_t)n, PROT_READ, MAP_SHARED, n, n) != MAP_FAILED;
  r += ioctl(n, (unsigned long)n, buf) + statfs(v[0], &sfs) + fstatfs(n, &sfs);
  r += statvfs(v[0], &svfs) + fstatvfs(n, &svfs) + (int)sendfile(n, n, NULL, (size_t)n);
  FILE *f = fopen(v[0], "r");
  f = freopen(v[0], "r", f);
  f = fdopen(n, "r");
  r += fseeko(f, n, SEEK_SET) + (int)ftello(f) + fgetpos(f, &pos) + fsetpos(f, &pos);
  r += tmpfile() != NULL;
  r += (int)fread(buf, 1, sizeof buf, f) + fclose(f);
  r += mkstemp(v[0]) + mkostemp(v[0], 0);
  DIR *d = opendir(v[0]);
  r += readdir(d) != NULL;
  r += scandir(v[0], &names, NULL, alphasort) + glob(v[0], 0, NULL, &g);
  r += nftw(v[0], NULL, n, 0) + ftw(v[0], NULL, n);
  r += getrlimit(RLIMIT_FSIZE, &rl) + setrlimit(RLIMIT_FSIZE, &rl) + getrusage(n, &ru);
  r += clock_gettime(CLOCK_MONOTONIC, &ts) + clock_getres(CLOCK_MONOTONIC, &ts);
  r += clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, NULL) + nanosleep(&ts, NULL);
  r += clock_settime(CLOCK_REALTIME, &ts) + gettimeofday(&tv, NULL) + settimeofday(&tv, NULL);
  r += futimens(n, &ts) + utimensat(n, v[0], &ts, 0) + utime(v[0], NULL) + utimes(v[0], &tv);
  r += localtime_r(&t, &tm) != NULL;
  r += gmtime_r(&t, &tm) != NULL;
  r += (int)mktime(&tm) + (int)timegm(&tm) + (int)difftime(t, t) + (ctime(&t) != NULL);
  r += (localtime(&t) != NULL) + (gmtime(&t) != NULL) + (int)strftime(buf, sizeof buf, "%s", &tm);
  r += setsockopt(n, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) + getsockopt(n, n, n, buf, NULL);
  r += (int)recvmsg(n, NULL, 0) + (int)sendmsg(n, NULL, 0) + recvmmsg(n, NULL, 0, 0, &ts);
  r += select(n, &set, NULL, NULL, &tv) + pselect(n, &set, NULL, NULL, &ts, NULL);
  r += ppoll(NULL, 0, &ts, NULL) + epoll_pwait2(n, NULL, 0, &ts, NULL);
  r += timerfd_settime(n, 0, &its, NULL) + timerfd_gettime(n, &its);
  r += sigtimedwait(&ss, NULL, &ts) + (int)wait4(n, NULL, 0, &ru) + (int)wait3(NULL, 0, &ru);
  r += sem_timedwait(NULL, &ts) + pthread_mutex_timedlock(NULL, &ts);
  r += pthread_cond_timedwait(NULL, NULL, &ts) + pthread_cond_clockwait(NULL, NULL, 0, &ts);
  r += pthread_rwlock_timedrdlock(NULL, &ts) + pthread_timedjoin_np(0, NULL, &ts);
  r += (int)sysconf(n) + getpagesize();
  FD_SET(n, &set);
  return r;
}
int main(int argc, char **argv) { return probe(argc, argv); }
C

# undefined OBJECT: the names it imports, without their version.
undefined() {
  "$nm" -D --undefined-only "$1" | awk '{print $NF}' | sed 's/@.*//' | sort -u
}

: >"$scratch/narrow"
for release in "" "-O2 -D_FORTIFY_SOURCE=2"; do
  for wide in "" "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64"; do
    name="probe-${release:+release}-${wide:+wide}"
    # shellcheck disable=SC2086
    "$cc" -w $release $wide -o "$scratch/$name" "$scratch/probe.c" -lpthread
    undefined "$scratch/$name" >"$scratch/$name.imports"
  done
  comm -23 "$scratch/probe-${release:+release}-.imports" \
    "$scratch/probe-${release:+release}-wide.imports" >>"$scratch/narrow"
done
sort -u -o "$scratch/narrow" "$scratch/narrow"
[ -z "${SHOW_NARROW:-}" ] || cat "$scratch/narrow"
# The probe is meaningless if the defines changed nothing (a 64-bit target): say so, not pass.
if ! grep -qx open "$scratch/narrow" || ! grep -qx clock_gettime "$scratch/narrow"; then
  echo "FAIL: the probe's narrow names lack open or clock_gettime; is $cc for a 32-bit target?" >&2
  cat "$scratch/narrow" >&2
  exit 1
fi
echo "$(wc -l <"$scratch/narrow") names exist only for 32-bit offsets or time"

is_elf() {
  [ "$(head -c4 "$1" | od -An -c | tr -d ' ')" = '177ELF' ]
}

files=()
for arg in "$@"; do
  if [ -d "$arg" ]; then
    # CMake's own compiler checks are not ours, nor the board build a test makes of its own.
    while IFS= read -r f; do
      is_elf "$f" && files+=("$f")
    done < <(find "$arg" -type f \( -perm -u+x -o -name '*.so' -o -name '*.so.*' \) \
               -not -path '*/CMakeFiles/*' -not -path '*/board-build/*' | sort)
  else
    files+=("$arg")
  fi
done
[ ${#files[@]} -gt 0 ] || { echo "FAIL: no ELF file to check in: $*" >&2; exit 1; }

status=0
for f in "${files[@]}"; do
  while IFS= read -r symbol; do
    echo "FAIL: $f imports $symbol, which takes 32-bit offsets or time" >&2
    status=1
  done < <(undefined "$f" | comm -12 - "$scratch/narrow")
done
echo "checked ${#files[@]} ELF files"
exit $status
