/* http_post PORT PATH COOKIE BODY : one POST to 127.0.0.1:PORT/PATH with the
 * session cookie and the X-AJAX header, the answer's body on stdout; exit 0
 * only for a 200 answer. search_compare.sh starts it once a request beside
 * curl: a client whose own start costs next to nothing, so that the time of
 * a request with process start is the service's and not the client's
 * (curl loads some thirty shared libraries before it sends a byte). */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

static int send_all(int fd, const char *p, size_t n) {
    while (n > 0) {
        ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return -1;
        p += k;
        n -= (size_t)k;
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: http_post PORT PATH COOKIE BODY\n");
        return 2;
    }
    size_t body = strlen(argv[4]);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct timeval timeout = {120, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    struct sockaddr_in a = {0};
    a.sin_family = AF_INET;
    a.sin_port = htons((unsigned short)atoi(argv[1]));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || connect(fd, (struct sockaddr *)&a, sizeof a) != 0) return 1;
    char head[1024];
    int n = snprintf(head, sizeof head,
                     "POST /%s HTTP/1.0\r\nHost: 127.0.0.1\r\nX-AJAX: 1\r\nCookie: porlinex_sess=%s\r\n"
                     "Content-Type: application/json\r\nContent-Length: %zu\r\n\r\n",
                     argv[2], argv[3], body);
    if (n <= 0 || (size_t)n >= sizeof head || send_all(fd, head, (size_t)n) || send_all(fd, argv[4], body)) return 1;
    /* The answer ends when the service closes the connection (HTTP/1.0). */
    size_t cap = 1 << 16, len = 0, limit = (size_t)64 << 20;
    char *buf = malloc(cap);
    for (;;) {
        if (!buf) return 1;
        if (len == cap) {
            if (cap >= limit) return 1;
            cap *= 2;
            buf = realloc(buf, cap);
            continue;
        }
        ssize_t k = recv(fd, buf + len, cap - len, 0);
        if (k < 0) return 1;
        if (k == 0) break;
        len += (size_t)k;
    }
    close(fd);
    char *end = NULL;
    for (size_t i = 0; i + 3 < len; ++i)
        if (!memcmp(buf + i, "\r\n\r\n", 4)) {
            end = buf + i + 4;
            break;
        }
    if (!end || len < 12 || memcmp(buf + 8, " 200", 4)) return 1;
    fwrite(end, 1, len - (size_t)(end - buf), stdout);
    free(buf);
    return 0;
}
