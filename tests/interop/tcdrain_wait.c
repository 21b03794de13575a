/* Preloaded into lrzsz peers: on a pseudo-terminal tcdrain (and a draining tcsetattr) returns
   before the bytes have left, and a peer that exits right after loses its last bytes (an ACK,
   the end of a batch). This waits until the terminal's output queue is empty (at most two
   seconds) and then 200 ms more, so a relay such as socat can pass them on before the peer
   closes its end (with 20 ms, a loaded machine still lost rx's last ACK about once in fifty). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

/* The next definition of name into the function pointer at fn. dlsym hands back an object
   pointer; copying it keeps pedantic compilers quiet. */
static void find_next(const char* name, void* fn) {
  void* p = dlsym(RTLD_NEXT, name);
  memcpy(fn, &p, sizeof p);
}

static void wait_for_output(int fd) {
  const struct timespec step = {0, 1000000};
  const struct timespec settle = {0, 200000000};
  int queued = 0;
  if (!isatty(fd)) return;
  for (int i = 0; i < 2000 && ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0; ++i) nanosleep(&step, NULL);
  nanosleep(&settle, NULL);
}

int tcdrain(int fd) {
  static int (*real)(int);
  if (!real) find_next("tcdrain", &real);
  const int r = real ? real(fd) : 0;
  wait_for_output(fd);
  return r;
}

int tcsetattr(int fd, int when, const struct termios* settings) {
  static int (*real)(int, int, const struct termios*);
  if (!real) find_next("tcsetattr", &real);
  if (when == TCSADRAIN || when == TCSAFLUSH) wait_for_output(fd);
  return real ? real(fd, when, settings) : -1;
}
