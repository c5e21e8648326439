// SPDX-License-Identifier: MIT
/*
 * Lists the stations that answer on a port.
 *
 *   CORVEXLINK_COM1=/dev/ttyUSB0 ./corvexlink-scan [port] [baud]
 */
#include <stdio.h>
#include <stdlib.h>

#include "CorvexLink.h"

int main(int argc, char **argv) {
    const int port = argc > 1 ? atoi(argv[1]) : 1;
    const int baud = argc > 2 ? atoi(argv[2]) : 9600;
    char found[CORVEXLINK_CONTROLLER_LIST_SIZE];

    if (PortOpen(port, baud) != 1) {
        fprintf(stderr, "COM%d: %s (error %d)\n", port, ZelmarGetErrorMessage(),
                ZelmarGetNumberError());
        return 1;
    }
    GetConnectedControllers(found);
    printf("COM%d at %d baud: %s\n", port, baud, found);
    PortClose();
    return 0;
}
