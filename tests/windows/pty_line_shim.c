/* LD_PRELOAD set-up letting wine's serial layer use a pty as a COM port: what a pty lacks is
 * faked for ptys only; every other call and descriptor goes to libc unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

static int is_pty(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  /* Unix98 pty slaves (/dev/pts/N) have majors 136..143. */
  return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*tcsetattr_fn)(int, int, const struct termios*);
typedef int (*tcflush_fn)(int, int);

int ioctl(int fd, unsigned long request, ...) {
  static ioctl_fn real;
  if (!real) real = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  switch (request) { /* no modem lines: a quiet connected cable, no line errors */
    case TIOCMGET:
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCGICOUNT:
    case TCFLSH:
      if (!is_pty(fd)) break;
      if (request == TIOCMGET) {
        *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
      } else if (request == TIOCGICOUNT) {
        memset(arg, 0, sizeof(struct serial_icounter_struct));
      } else if (request == TCFLSH) {
        const long queue = (long)arg;
        /* Flushing output would drop what the peer has not read: no serial line can. */
        if (queue == TCOFLUSH) return 0;
        if (queue == TCIOFLUSH) return real(fd, TCFLSH, (void*)(long)TCIFLUSH);
        break;
      }
      return 0;
    default:
      break;
  }
  return real(fd, request, arg);
}

int tcflush(int fd, int queue) {
  static tcflush_fn real;
  if (!real) real = (tcflush_fn)dlsym(RTLD_NEXT, "tcflush");
  if (queue != TCIFLUSH && is_pty(fd)) {
    if (queue == TCOFLUSH) return 0;
    queue = TCIFLUSH;
  }
  return real(fd, queue);
}

int tcsetattr(int fd, int action, const struct termios* wanted) {
  static tcsetattr_fn real;
  if (!real) real = (tcsetattr_fn)dlsym(RTLD_NEXT, "tcsetattr");
  const int saved = errno;
  const int result = real(fd, action, wanted);
  if (result == 0 || errno != EINVAL || !is_pty(fd)) return result;
  struct termios held;
  if (tcgetattr(fd, &held) != 0) {
    errno = EINVAL;
    return result;
  }
  /* EINVAL for the parity bit a pty cannot hold, all else applied (it forces CS8 | CREAD). */
  const tcflag_t ignored = PARENB | PARODD | CMSPAR;
  if (((held.c_cflag ^ wanted->c_cflag) & ~ignored & (CSIZE | CREAD | CSTOPB)) == 0 &&
      held.c_iflag == wanted->c_iflag && held.c_oflag == wanted->c_oflag &&
      held.c_lflag == wanted->c_lflag) {
    errno = saved;
    return 0;
  }
  errno = EINVAL;
  return result;
}
