// SPDX-License-Identifier: MIT
/*
 * Queues a three-segment motion profile in station 0's FIFO and runs it, showing the free
 * FIFO room after each queued command and the position while the profile plays.
 *
 *   CORVEXLINK_COM1=/dev/ttyUSB0 ./corvexlink-fifo-profile
 */
#include <stdio.h>
#include <time.h>

#include "CorvexLink.h"

#define HALF_STEP 33
#define FIFO_PROFILE 0x40

static int check(const char *what, int result) {
    if (result == -1) fprintf(stderr, "%s: %s\n", what, ZelmarGetErrorMessage());
    return result == -1;
}

int main(void) {
    /* First rate, slope, steps of each segment. */
    static const int segments[3][3] = {{200, 2, 1000}, {1200, 0, 3000}, {1200, -2, 1000}};
    int32_t freeBytes = 0, position = 0, status = 0;

    if (check("PortOpen", PortOpen(1, 9600))) return 1;
    if (check("FIFOReset", FIFOReset("0"))) return 1;
    for (int i = 0; i < 3; ++i) {
        if (check("FIFOMotorFirstRate", FIFOMotorFirstRate("0", segments[i][0], &freeBytes)) ||
            check("FIFOMotorSlope", FIFOMotorSlope("0", segments[i][1], &freeBytes)) ||
            check("FIFOMotorNumberStepRel",
                  FIFOMotorNumberStepRel("0", segments[i][2], &freeBytes)))
            return 1;
        printf("segment %d queued, FIFO room left: %d bytes\n", i + 1, freeBytes);
    }
    /* The FIFO mode bit starts the queued profile. */
    if (check("MotorConfigureMode", MotorConfigureMode("0", HALF_STEP | FIFO_PROFILE))) return 1;
    do {
        const struct timespec pause = {0, 250000000L};
        nanosleep(&pause, NULL);
        if (check("MotorGetPosition", MotorGetPosition("0", &position)) ||
            check("FIFOGetRemainingBytes", FIFOGetRemainingBytes("0", &freeBytes)) ||
            check("MotorGetStatusRegister", MotorGetStatusRegister("0", &status)))
            return 1;
        printf("position %6d   FIFO room %3d bytes\n", position, freeBytes);
    } while (status & CORVEXLINK_STATUS_RUNING);
    MotorConfigureMode("0", HALF_STEP);
    PortClose();
    return 0;
}
