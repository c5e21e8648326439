// SPDX-License-Identifier: MIT
/*
 * A short scripted session through the CorvexLink C API: open the port, scan for
 * stations, initialise the boards, move motor 1 and read its position while it runs.
 * Every call is printed with its result.
 *
 *   CORVEXLINK_COM1=/dev/ttyUSB0 ./corvexlink-session
 */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "CorvexLink.h"

static int show(const char *call, int result) {
    if (result == -1) {
        printf("%-40s -> %d  (error %d: %s)\n", call, result, ZelmarGetNumberError(),
               ZelmarGetErrorMessage());
    } else {
        printf("%-40s -> %d\n", call, result);
    }
    return result;
}

static void sleep_ms(long ms) {
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, NULL);
}

int main(void) {
    char found[CORVEXLINK_CONTROLLER_LIST_SIZE];
    int32_t position = 0, status = 0;

    if (show("PortOpen(1, 9600)", PortOpen(1, 9600)) != 1) return 1;
    printf("%-40s -> %d\n", "ZelmarGetPort()", ZelmarGetPort());
    printf("%-40s -> %d\n", "ZelmarGetBaudRate()", ZelmarGetBaudRate());

    show("GetConnectedControllers(buffer)", GetConnectedControllers(found));
    printf("%-40s    \"%s\"\n", "  stations found", found);
    show("MotorStationsInit()", MotorStationsInit());

    show("WriteCommandtoKX4417(\"_0P\")", WriteCommandtoKX4417("_0P"));
    printf("%-40s -> %d\n", "ZelmarGetValue()", ZelmarGetValue());

    show("MotorSlewRate(\"0\", 2000)", MotorSlewRate("0", 2000));
    show("MotorFirstRate(\"0\", 200)", MotorFirstRate("0", 200));
    show("MotorAccelDecel(\"0\", 100)", MotorAccelDecel("0", 100));
    show("MotorNumberStepRel(\"0\", 3000)", MotorNumberStepRel("0", 3000));
    for (int i = 0; i < 8; ++i) {
        show("MotorGetStatusRegister(\"0\", &status)", MotorGetStatusRegister("0", &status));
        show("MotorGetPosition(\"0\", &position)", MotorGetPosition("0", &position));
        printf("%-40s    position %d, status 0x%03X%s\n", "", position, status,
               (status & CORVEXLINK_STATUS_RUNING) ? " (running)" : "");
        if (!(status & CORVEXLINK_STATUS_RUNING) && i > 0) break;
        sleep_ms(300);
    }

    show("MotorSlewRate(\"0\", 8501)", MotorSlewRate("0", 8501));
    show("MotorStop(\"0\")", MotorStop("0"));
    show("PortClose()", PortClose());
    return 0;
}
