# SPDX-License-Identifier: MIT
# Builds the CorvexLink examples against the installed library, each foo_bar.c into the
# program corvexlink-foo-bar:
#   cp -r /usr/share/doc/libcorvexlink-dev/examples ~/corvexlink-examples
#   make -C ~/corvexlink-examples
# Without hardware, start the simulator (package corvexlink-tools) and point COM1 at it:
#   kx4417-sim --stations 0-3 --link /tmp/com1 &
#   CORVEXLINK_COM1=/tmp/com1 ~/corvexlink-examples/corvexlink-scan

CFLAGS ?= -O2 -Wall -Wextra
CORVEXLINK_CFLAGS := $(shell pkg-config --cflags corvexlink)
CORVEXLINK_LIBS := $(shell pkg-config --libs corvexlink)
CFLAGS += $(CORVEXLINK_CFLAGS)
LDLIBS += $(CORVEXLINK_LIBS)

EXAMPLES = $(basename $(wildcard *.c))
PROGRAMS = $(foreach e,$(EXAMPLES),corvexlink-$(subst _,-,$(e)))

all: $(PROGRAMS)

define example
corvexlink-$(subst _,-,$(1)): $(1).c
	$$(CC) $$(CPPFLAGS) $$(CFLAGS) $$(LDFLAGS) -o $$@ $$< $$(LDLIBS)
endef
$(foreach e,$(EXAMPLES),$(eval $(call example,$(e))))

clean:
	rm -f $(PROGRAMS)

.PHONY: all clean
