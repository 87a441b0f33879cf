// main.cpp - entry of the pmedian program.  It takes no arguments: the
// instance is read from the working directory, and the exit status is 1
// after a normal run as after every fatal error.
#include "pmedian.h"

int main(int, char **) {
    read_instance();
    solve();
    return 1;
}
