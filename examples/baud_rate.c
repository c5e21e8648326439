// SPDX-License-Identifier: MIT
/*
 * Moves the stations and the port to another line rate and back: scans at 9600 baud,
 * changes to the given rate, reads every station's position there, and returns to 9600.
 *
 *   CORVEXLINK_COM1=/dev/ttyUSB0 ./corvexlink-baud-rate [rate]     (default 57600)
 */
#include <stdio.h>
#include <stdlib.h>

#include "CorvexLink.h"

/* Reads the position of every station the scan found; the number of answers. */
static int read_positions(const char *found) {
    int answered = 0;
    for (int address = 0; address < 16; ++address) {
        if (found[2 * address] == 'N') continue;
        char station[4];
        snprintf(station, sizeof station, "%d", address);
        int32_t position = 0;
        if (MotorGetPosition(station, &position) == 1) {
            printf("  station %d at %ld\n", address, (long)position);
            ++answered;
        } else {
            printf("  station %d: %s\n", address, ZelmarGetErrorMessage());
        }
    }
    return answered;
}

static int change(int rate) {
    const int result = ZelmarChangeBaudRate(rate);
    if (result != 1) {
        fprintf(stderr, "ZelmarChangeBaudRate(%d): %s (error %d)\n", rate, ZelmarGetErrorMessage(),
                ZelmarGetNumberError());
        return 0;
    }
    printf("line rate now %d baud\n", ZelmarGetBaudRate());
    return 1;
}

int main(int argc, char **argv) {
    const int rate = argc > 1 ? atoi(argv[1]) : 57600;
    char found[CORVEXLINK_CONTROLLER_LIST_SIZE];

    if (PortOpen(1, 9600) != 1) {
        fprintf(stderr, "COM1: %s (error %d)\n", ZelmarGetErrorMessage(), ZelmarGetNumberError());
        return 1;
    }
    GetConnectedControllers(found);
    printf("COM1 at 9600 baud: %s\n", found);
    int ok = change(rate) && read_positions(found) > 0 && change(9600) && read_positions(found) > 0;
    PortClose();
    return ok ? 0 : 1;
}
