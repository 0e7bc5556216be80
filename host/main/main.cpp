#include <cstdio>
#include <cstring>

#include "host/service_main.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "-service") == 0) return LServiceMain(argc, argv);
    std::fprintf(stderr, "usage: porlinex -service\n");
    return 1;
}
