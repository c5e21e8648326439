/* SPDX-License-Identifier: MIT */
/*
 * A program built against an installed CorvexLink: opens COM1, scans for stations and
 * checks the answer. Exits 0 when station 0 answered and the header's version matches
 * the one the build was told to expect (EXPECTED_VERSION, when given).
 *
 *   CORVEXLINK_COM1=<simulator pty> ./consumer
 */
#include <stdio.h>
#include <string.h>

#include <CorvexLink.h>

int main(void) {
    char found[CORVEXLINK_CONTROLLER_LIST_SIZE];
    printf("CorvexLink %s (%d.%d.%d)\n", CORVEXLINK_VERSION_STRING, CORVEXLINK_VERSION_MAJOR,
           CORVEXLINK_VERSION_MINOR, CORVEXLINK_VERSION_PATCH);
#ifdef EXPECTED_VERSION
    if (strcmp(CORVEXLINK_VERSION_STRING, EXPECTED_VERSION) != 0) {
        fprintf(stderr, "header version %s, expected %s\n", CORVEXLINK_VERSION_STRING,
                EXPECTED_VERSION);
        return 1;
    }
#endif
    if (PortOpen(1, 9600) != 1) {
        fprintf(stderr, "COM1: %s (error %d)\n", ZelmarGetErrorMessage(), ZelmarGetNumberError());
        return 1;
    }
    if (GetConnectedControllers(found) != 1) {
        fprintf(stderr, "scan failed: %s\n", ZelmarGetErrorMessage());
        return 1;
    }
    PortClose();
    printf("stations: %s\n", found);
    return strncmp(found, "0,", 2) == 0 ? 0 : 1;
}
