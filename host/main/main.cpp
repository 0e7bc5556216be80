#include "host/switches.h"

int main(int argc, char** argv) { return LHostMain(argc, argv); }
