// Preloaded into a test: a folder that behaves as FAT and exFAT do (chmod and
// the time calls answer EPERM) or as a FUSE driver without them (ENOSYS).
//   FLY_NOMODE_PREFIX  paths that begin with it refuse (unset: nothing does)
//   FLY_NOMODE_ERRNO   the errno they answer (default EPERM)
//   FLY_NOMODE_LINKS   set: symlink and symlinkat refuse there too, with EPERM
// Descriptors are judged by the path /proc gives for them, so a temporary
// name made with openat counts as the folder it is in.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <utime.h>

// Found by dlsym: the test knows the shim is in.
int fly_nomode_shim_loaded = 1;

// The full path of name below dirfd (of dirfd itself for a null or empty
// name); 0, or -1 when it cannot be told.
static int full_of(int dirfd, const char* name, char* out, size_t size) {
  if (name && name[0] == '/') return snprintf(out, size, "%s", name) < (int)size ? 0 : -1;
  char base[PATH_MAX];
  if (dirfd == AT_FDCWD) {
    if (!getcwd(base, sizeof(base))) return -1;
  } else {
    char link[64];
    snprintf(link, sizeof(link), "/proc/self/fd/%d", dirfd);
    const ssize_t n = readlink(link, base, sizeof(base) - 1);
    if (n < 0) return -1;
    base[n] = 0;
  }
  const int n = name && *name ? snprintf(out, size, "%s/%s", base, name)
                              : snprintf(out, size, "%s", base);
  return n < (int)size ? 0 : -1;
}

// 1 with errno set when the call on this path is to be refused.
static int refused(int dirfd, const char* name, int err) {
  const char* prefix = getenv("FLY_NOMODE_PREFIX");
  if (!prefix || !*prefix) return 0;
  const int saved = errno;
  char path[2 * PATH_MAX];
  const int known = full_of(dirfd, name, path, sizeof(path)) == 0;
  errno = saved;
  if (!known || strncmp(path, prefix, strlen(prefix)) != 0) return 0;
  if (!err) {
    const char* e = getenv("FLY_NOMODE_ERRNO");
    err = e && *e ? atoi(e) : EPERM;
  }
  errno = err;
  return 1;
}

static int links_refused(int dirfd, const char* name) {
  return getenv("FLY_NOMODE_LINKS") && refused(dirfd, name, EPERM);
}

#define REAL(f) ((__typeof__(&f))dlsym(RTLD_NEXT, #f))

int chmod(const char* p, mode_t m) { return refused(AT_FDCWD, p, 0) ? -1 : REAL(chmod)(p, m); }
int lchmod(const char* p, mode_t m) { return refused(AT_FDCWD, p, 0) ? -1 : REAL(lchmod)(p, m); }
int fchmod(int fd, mode_t m) { return refused(fd, NULL, 0) ? -1 : REAL(fchmod)(fd, m); }
int fchmodat(int d, const char* p, mode_t m, int flags) {
  return refused(d, p, 0) ? -1 : REAL(fchmodat)(d, p, m, flags);
}
int utimensat(int d, const char* p, const struct timespec t[2], int flags) {
  return refused(d, p, 0) ? -1 : REAL(utimensat)(d, p, t, flags);
}
int futimens(int fd, const struct timespec t[2]) {
  return refused(fd, NULL, 0) ? -1 : REAL(futimens)(fd, t);
}
int utimes(const char* p, const struct timeval t[2]) {
  return refused(AT_FDCWD, p, 0) ? -1 : REAL(utimes)(p, t);
}
int lutimes(const char* p, const struct timeval t[2]) {
  return refused(AT_FDCWD, p, 0) ? -1 : REAL(lutimes)(p, t);
}
int futimes(int fd, const struct timeval t[2]) {
  return refused(fd, NULL, 0) ? -1 : REAL(futimes)(fd, t);
}
int futimesat(int d, const char* p, const struct timeval t[2]) {
  return refused(d, p, 0) ? -1 : REAL(futimesat)(d, p, t);
}
int utime(const char* p, const struct utimbuf* t) {
  return refused(AT_FDCWD, p, 0) ? -1 : REAL(utime)(p, t);
}
int symlink(const char* text, const char* p) {
  return links_refused(AT_FDCWD, p) ? -1 : REAL(symlink)(text, p);
}
int symlinkat(const char* text, int d, const char* p) {
  return links_refused(d, p) ? -1 : REAL(symlinkat)(text, d, p);
}
