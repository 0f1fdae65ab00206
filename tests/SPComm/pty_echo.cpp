// pty_echo LINK: the device side for the Windows suite under wine. Creates a pseudo-terminal,
// points the symlink LINK (a wine dosdevices/comN entry) at its slave and echoes every byte
// that arrives back to the port. On the bytes "\x01HANGUP\x01" it closes the master (the port
// hangs up) and offers a fresh terminal under the same link. Prints "ready" once linked.
// Ends on SIGTERM or SIGINT.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace {

volatile sig_atomic_t stop = 0;
void OnStop(int) {
    stop = 1;
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: pty_echo LINK\n");
        return 2;
    }
    const std::string link = argv[1];
    signal(SIGHUP, SIG_IGN);  // our own terminal hanging up is the point
    signal(SIGTERM, OnStop);
    signal(SIGINT, OnStop);
    // Own session, so each terminal becomes ours and not wineserver's: otherwise closing
    // the master would send wineserver a SIGHUP.
    setsid();
    const std::string command = "\x01HANGUP\x01";
    bool first = true;
    while (!stop) {
        int master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
        const char* slavePath = ptsname(master);
        int slave = open(slavePath, O_RDWR);
        if (slave < 0) return 1;
        ioctl(slave, TIOCSCTTY, 0);
        termios tio{};
        tcgetattr(slave, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
        unlink(link.c_str());
        if (symlink(slavePath, link.c_str()) != 0) {
            perror("symlink");
            return 1;
        }
        if (first) {
            printf("ready %s\n", slavePath);
            fflush(stdout);
            first = false;
        }
        std::string recent;  // tail of the data, to spot the command across reads
        bool hangup = false;
        while (!stop && !hangup) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            char buffer[4096];
            ssize_t r = read(master, buffer, sizeof buffer);
            if (r <= 0) continue;
            recent.append(buffer, static_cast<size_t>(r));
            if (recent.find(command) != std::string::npos) {
                hangup = true;
                break;
            }
            if (recent.size() > command.size()) recent.erase(0, recent.size() - command.size());
            if (!WriteAll(master, buffer, static_cast<size_t>(r))) break;
        }
        unlink(link.c_str());
        close(master);
        close(slave);
        if (hangup) usleep(300 * 1000);  // a moment with no device, as when unplugged
    }
    return 0;
}
