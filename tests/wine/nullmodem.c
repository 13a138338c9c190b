/* A null-modem cable between two pseudo-terminals, for the serial tests under Wine: the test
 * program opens one end as its port and plays the device on the other. Prints the two
 * terminal paths, one a line, then copies bytes both ways until it is ended. It keeps each
 * terminal open itself, so a side that closes and opens its port again finds the line as it
 * was (raw, nothing lost to a hang-up). */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

static int OpenEnd(char* cPath, size_t nSize, int* pSlave) {
  const int nMaster = posix_openpt(O_RDWR | O_NOCTTY);
  if (nMaster < 0 || grantpt(nMaster) != 0 || unlockpt(nMaster) != 0 ||
      ptsname_r(nMaster, cPath, nSize) != 0) {
    return -1;
  }
  *pSlave = open(cPath, O_RDWR | O_NOCTTY);
  struct termios oTio;
  if (*pSlave < 0 || tcgetattr(*pSlave, &oTio) != 0) {
    return -1;
  }
  cfmakeraw(&oTio);
  tcsetattr(*pSlave, TCSANOW, &oTio);
  return nMaster;
}

/* Copies what one master has to the other; 0 when the copy cannot go on. */
static int Copy(int nFrom, int nTo) {
  char aBuf[4096];
  const ssize_t nRead = read(nFrom, aBuf, sizeof aBuf);
  if (nRead < 0) {
    return errno == EINTR || errno == EAGAIN || errno == EIO;
  }
  for (ssize_t nDone = 0; nDone < nRead;) {
    const ssize_t n = write(nTo, aBuf + nDone, (size_t)(nRead - nDone));
    if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return 0;
    }
    nDone += n > 0 ? n : 0;
  }
  return 1;
}

int main(void) {
  char cA[128], cB[128];
  int nSlaveA = -1, nSlaveB = -1;
  const int nA = OpenEnd(cA, sizeof cA, &nSlaveA);
  const int nB = OpenEnd(cB, sizeof cB, &nSlaveB);
  if (nA < 0 || nB < 0) {
    perror("nullmodem");
    return 1;
  }
  printf("%s\n%s\n", cA, cB);
  fflush(stdout);
  for (;;) {
    struct pollfd aFds[2] = {{nA, POLLIN, 0}, {nB, POLLIN, 0}};
    if (poll(aFds, 2, -1) < 0 && errno != EINTR) {
      return 1;
    }
    if (((aFds[0].revents & POLLIN) && !Copy(nA, nB)) ||
        ((aFds[1].revents & POLLIN) && !Copy(nB, nA))) {
      return 1;
    }
  }
}
