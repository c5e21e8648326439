/* SPDX-License-Identifier: MIT */
/* Compiled, not run, by the header tests: the public header and its inline helpers as a
 * C and a C++ caller sees them, under each language's strict warnings. */
#include <CorvexLink.h>

int header_check(int32_t status);

int header_check(int32_t status) {
    int named = 0;
    int bit;
    for (bit = 0; bit < CORVEXLINK_STATUS_BIT_COUNT; ++bit)
        if ((status & (1 << bit)) && CorvexLinkStatusBitName(bit)) ++named;
    if (CorvexLinkStatusBitName(CORVEXLINK_STATUS_BIT_COUNT)) ++named;
    if (CorvexLinkFromSignMagnitude24(status) < 0) ++named;
    return named + PortOpen(1, 9600);
}
