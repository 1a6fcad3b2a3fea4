// Kept apart from <termios.h>: the kernel's termios2 structure clashes with the C library's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

int ReadLineRate(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace sim
