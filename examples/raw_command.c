// SPDX-License-Identifier: MIT
/*
 * Sends one command text of your own and shows how the answer and the error state read.
 *
 *   CORVEXLINK_COM1=/dev/ttyUSB0 ./corvexlink-raw-command _0P
 */
#include <stdio.h>

#include "CorvexLink.h"

int main(int argc, char **argv) {
    char sent[CORVEXLINK_COMMAND_BUFFER_SIZE];
    if (argc < 2) {
        fprintf(stderr, "usage: %s COMMAND   (for example _0P: position of station 0)\n", argv[0]);
        return 2;
    }
    if (PortOpen(1, 9600) != 1) {
        fprintf(stderr, "COM1: %s\n", ZelmarGetErrorMessage());
        return 1;
    }
    const int result = WriteCommandtoKX4417(argv[1]);
    GetLastestCommand(sent);
    switch (result) {
    case 1: printf("ok, value %d\n", ZelmarGetValue()); break;
    case 2: printf("the station's FIFO is full: %s\n", ZelmarGetErrorMessage()); break;
    default:
        /* Station answer codes come as error numbers 1 to 9, silence as 26. */
        printf("failed, error %d: %s\n", ZelmarGetNumberError(), ZelmarGetErrorMessage());
        break;
    }
    PortClose();
    return result == -1 ? 1 : 0;
}
