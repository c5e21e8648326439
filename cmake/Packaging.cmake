# SPDX-License-Identifier: MIT
# Debian packages made by CPack from the install components:
#   libcorvexlink2      the shared core (no Qt)
#   libcorvexlink2-qt   the core's Qt module: port dialog, message boxes, event pump
#   libcorvexlink-dev   headers, pkg-config file, CMake package, man pages, C examples
#   libcorvexlink-doc   the HTML reference, registered with doc-base
#   corvexlink-tools    corvexctl, kx4417-sim, the udev rule and an example ports.conf
#   corvexlink-demo     DemoCorvexLink with its desktop entry and icon
#   python3-corvexlink  the Python package and its example
#   corvexlink-tango    the Tango device server, its man page and example file database
#   corvexlink-web      the web service, its page, man page, systemd unit and nginx site
# Build them with: cmake --build <build> --target package (the .deb files land in <build>).
# packaging/finish-packages.cmake completes them after CPack (Multi-Arch, stripping).

set(CORVEXLINK_MAINTAINER "CorvexLink developers <corvexlink@example.org>"
  CACHE STRING "Maintainer field of the Debian packages")
set(CORVEXLINK_HOMEPAGE "https://corvexlink.example.org"
  CACHE STRING "Homepage field of the Debian packages and source of the copyright file")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvexlink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The CorvexLink developers")
set(CPACK_PACKAGE_CONTACT "${CORVEXLINK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CORVEXLINK_MAINTAINER}")
# No summary shared by all packages: each package's description starts with its own synopsis.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs link the core of this very build, which no installed package provides yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/library)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CORVEXLINK_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The library package brings its own shlibs and symbols files (the symbols file is written
# by the build from the export table, see library/CMakeLists.txt).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

set(CPACK_COMPONENTS_ALL libcorvexlink2 libcorvexlink-dev corvexlink-tools corvexlink-python)
if(CORVEXLINK_WITH_QT)
  list(APPEND CPACK_COMPONENTS_ALL libcorvexlink2-qt corvexlink-demo)
endif()
if(TARGET reference)
  list(APPEND CPACK_COMPONENTS_ALL libcorvexlink-doc)
endif()
if(TARGET corvexlink-tango)
  list(APPEND CPACK_COMPONENTS_ALL corvexlink-tango)
endif()
if(TARGET corvexlink-web)
  include(${PROJECT_SOURCE_DIR}/packaging/corvexlink-web.cmake)
endif()

# Package fields CPack does not write; packaging/finish-packages.cmake adds them.
set(CPACK_CORVEXLINK_MULTIARCH_SAME libcorvexlink2 libcorvexlink2-qt libcorvexlink-dev)
set(CPACK_CORVEXLINK_MULTIARCH_FOREIGN libcorvexlink-doc)

# The descriptions: the first line is the package's synopsis, the rest its long description
# (CPack indents it; an empty line becomes a paragraph break).

# The run-time library: the core alone, which links no Qt.
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_NAME libcorvexlink2)
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBCORVEXLINK2_DESCRIPTION [[host library for KX4417 stepper controllers
CorvexLink drives KX4417 stepper controllers on Corvex-B boards, up to sixteen
stations on one RS-232 line, through a C interface: moves, speeds, positions,
status, trigger and pause lines, user I/O, analog inputs, SPI and FIFO
profiles. A line is a local serial device or one served over the network
(RFC 2217 or raw TCP).

This package holds the shared library. Its port dialog and message boxes for Qt
programs are in libcorvexlink2-qt.]])
# The loader's cache is refreshed by the triggers file; shlibs and symbols let programs built
# against 2.1 run with any later 2.x.
file(WRITE ${PROJECT_BINARY_DIR}/packaging/libcorvexlink2/shlibs
  "libCorvexLink ${PROJECT_VERSION_MAJOR} libcorvexlink2 (>= ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})\n")
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/libcorvexlink2/triggers
  ${PROJECT_BINARY_DIR}/packaging/libcorvexlink2/shlibs
  ${PROJECT_BINARY_DIR}/packaging/libcorvexlink2/symbols)

# The Qt module, which the core loads in a process that runs a Qt application. It is built
# with this very core (their interface is internal), hence the exact version.
set(CPACK_DEBIAN_LIBCORVEXLINK2-QT_PACKAGE_NAME libcorvexlink2-qt)
set(CPACK_DEBIAN_LIBCORVEXLINK2-QT_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBCORVEXLINK2-QT_DEPENDS libcorvexlink2)
set(CPACK_DEBIAN_LIBCORVEXLINK2-QT_DESCRIPTION [[Qt port dialog and message boxes of the CorvexLink library
The CorvexLink library shows its port dialog and message boxes, and keeps a
Qt program's events flowing while it closes a port, through this module when
the calling program runs a Qt application. Without it, the library works the
same but shows nothing: the dialog opens the selected port at once and box
texts go to the library's debug output.]])

set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_PACKAGE_NAME libcorvexlink-dev)
set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_LIBCORVEXLINK-DEV_DEPENDS libcorvexlink2)
set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_PACKAGE_SUGGESTS "libcorvexlink-doc, corvexlink-tools")
set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_DESCRIPTION [[development files of the CorvexLink library
CorvexLink drives KX4417 stepper controllers on Corvex-B boards over one RS-232
line, through a C interface.

This package holds the header, the pkg-config file (corvexlink), the CMake
package (CorvexLink::CorvexLink), one manual page per function in section 3
and small C example programs.]])

set(CPACK_DEBIAN_LIBCORVEXLINK-DOC_PACKAGE_NAME libcorvexlink-doc)
set(CPACK_DEBIAN_LIBCORVEXLINK-DOC_PACKAGE_SECTION doc)
set(CPACK_DEBIAN_LIBCORVEXLINK-DOC_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_LIBCORVEXLINK-DOC_DESCRIPTION [[reference manual of the CorvexLink library
CorvexLink drives KX4417 stepper controllers on Corvex-B boards over one RS-232
line, through a C interface.

This package holds the reference of every function in HTML, registered with
doc-base; DemoCorvexLink shows it from its Help menu.]])

set(CPACK_DEBIAN_CORVEXLINK-TOOLS_PACKAGE_NAME corvexlink-tools)
set(CPACK_DEBIAN_CORVEXLINK-TOOLS_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CORVEXLINK-TOOLS_DEPENDS libcorvexlink2)
set(CPACK_DEBIAN_CORVEXLINK-TOOLS_DESCRIPTION [[command-line tool and simulator for KX4417 stepper controllers
corvexctl drives KX4417 stepper controllers from a shell or a script: it finds
the stations, moves the motors, reads positions, status and inputs, plays FIFO
profiles from CSV files and lists the serial devices with their COM numbers,
with plain or JSON output.

kx4417-sim simulates KX4417 stations on a pseudo-terminal, so programs that use
CorvexLink can be tried and tested without hardware.

The package also holds a udev rule for the serial adapters that an
administrator names in it, and an example ports.conf.]])

set(CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_NAME python3-corvexlink)
set(CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_DEPENDS "python3:any")
if(CORVEXLINK_PYTHON_REFERENCE_SYSTEM_SCRIPTS)  # the reference's links to Sphinx's scripts
  string(APPEND CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_DEPENDS ", libjs-sphinxdoc (>= 5.3)")
endif()
set(CPACK_COMPONENT_CORVEXLINK-PYTHON_DEPENDS libcorvexlink2)
# corvexlink.testing runs the simulator.
set(CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_RECOMMENDS corvexlink-tools)
# Byte-compiled when installed and cleaned when removed, as dh_python3's packages are.
set(CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/python/debian/postinst ${PROJECT_SOURCE_DIR}/python/debian/prerm)
set(CPACK_DEBIAN_CORVEXLINK-PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_CORVEXLINK-PYTHON_DESCRIPTION [[Python interface to the CorvexLink library
The corvexlink package drives KX4417 stepper controllers from Python through
the CorvexLink shared library (ctypes, no compiler needed).]])

set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_NAME corvexlink-demo)
set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CORVEXLINK-DEMO_DEPENDS libcorvexlink2)
# The library's port dialog needs its Qt module; the Help menu shows the reference.
set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_RECOMMENDS
  "libcorvexlink2-qt (= ${PROJECT_VERSION}), libcorvexlink-doc, corvexlink-tools")
# The tool-button pictures are SVG: Qt loads its SVG icon engine at run time, which the
# shared-library scan cannot see.
set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_CORVEXLINK-DEMO_DESCRIPTION [[operator program for KX4417 stepper controllers
DemoCorvexLink opens the line, finds the stations and drives the motors, their
I/O, analog inputs and FIFO profiles from Qt windows, one window per motor.
With the simulator of corvexlink-tools it runs without hardware.]])

# The device server; libtango and omniORB come in through the shared-library scan.
set(CPACK_DEBIAN_CORVEXLINK-TANGO_PACKAGE_NAME corvexlink-tango)
set(CPACK_DEBIAN_CORVEXLINK-TANGO_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CORVEXLINK-TANGO_DEPENDS libcorvexlink2)
set(CPACK_DEBIAN_CORVEXLINK-TANGO_PACKAGE_SUGGESTS "corvexlink-tools, python3-tango, libtango-tools")
set(CPACK_DEBIAN_CORVEXLINK-TANGO_DESCRIPTION [[Tango device server for KX4417 stepper controllers
corvexlink-tango makes one CorvexLink line and its KX4417 stations devices of a
Tango control system (classes CorvexLine and CorvexMotor): any number of
clients read, write and subscribe to the motors while the server owns the
line. It runs with a Tango database, a file database or none.]])

if(CORVEXLINK_WITH_QT)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/DemoCorvexLink.desktop
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT corvexlink-demo)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvexlink-demo.svg
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT corvexlink-demo)
endif()

# Examples where developers look for them: the C programs with a Makefile that builds them
# against the installed library, and the Python script.
file(GLOB CORVEXLINK_C_EXAMPLES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.c)
install(FILES ${CORVEXLINK_C_EXAMPLES}
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libcorvexlink-dev/examples COMPONENT libcorvexlink-dev)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/examples.mk
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libcorvexlink-dev/examples RENAME Makefile
  COMPONENT libcorvexlink-dev)
install(FILES ${PROJECT_SOURCE_DIR}/python/examples/scan_and_move.py
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/python3-corvexlink/examples COMPONENT corvexlink-python)

# The udev rule (as shipped it names no adapter: an administrator copies it to
# /etc/udev/rules.d and names them there) and an example ports.conf.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/60-corvexlink-serial.rules
  DESTINATION lib/udev/rules.d COMPONENT corvexlink-tools)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/ports.conf
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvexlink-tools/examples COMPONENT corvexlink-tools)

# The HTML reference is registered with doc-base.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/libcorvexlink-doc.doc-base
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc-base RENAME libcorvexlink-doc.corvexlink-reference
  COMPONENT libcorvexlink-doc)

# The project's changelog, packed as Debian wants it (gzip -9n). Its first entry should be
# this version.
set(CORVEXLINK_CHANGELOG ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CORVEXLINK_CHANGELOG})
file(STRINGS ${CORVEXLINK_CHANGELOG} CORVEXLINK_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT CORVEXLINK_CHANGELOG_TOP MATCHES "^corvexlink \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog: the first entry is not version ${PROJECT_VERSION}")
endif()
execute_process(COMMAND gzip -9nc INPUT_FILE ${CORVEXLINK_CHANGELOG}
  OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz RESULT_VARIABLE CORVEXLINK_GZIP_FAILED)
if(CORVEXLINK_GZIP_FAILED)
  message(FATAL_ERROR "gzip could not pack packaging/changelog")
endif()

# The copyright file in the machine-readable format, with the licence's full text.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE CORVEXLINK_LICENSE_TEXT)
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" CORVEXLINK_LICENSE_TEXT "${CORVEXLINK_LICENSE_TEXT}")
string(REGEX REPLACE "\n+$" "" CORVEXLINK_LICENSE_TEXT "${CORVEXLINK_LICENSE_TEXT}")
string(REGEX REPLACE "\n\n" "\n.\n" CORVEXLINK_LICENSE_TEXT "${CORVEXLINK_LICENSE_TEXT}")
string(REGEX REPLACE "\n" "\n " CORVEXLINK_LICENSE_TEXT " ${CORVEXLINK_LICENSE_TEXT}")
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE CORVEXLINK_COPYRIGHT REGEX "^Copyright ")
string(REGEX REPLACE "^Copyright (\\([cC]\\) )?" "" CORVEXLINK_COPYRIGHT "${CORVEXLINK_COPYRIGHT}")
file(WRITE ${PROJECT_BINARY_DIR}/packaging/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: CorvexLink
Upstream-Contact: ${CORVEXLINK_MAINTAINER}
Source: ${CORVEXLINK_HOMEPAGE}

Files: *
Copyright: ${CORVEXLINK_COPYRIGHT}
License: Expat

License: Expat
${CORVEXLINK_LICENSE_TEXT}
")

# Each package carries the copyright file and the changelog (changelog.gz: the packages are
# native, their version has no Debian revision), and its lintian overrides, if any.
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_BINARY_DIR}/packaging/copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  if(EXISTS ${PROJECT_SOURCE_DIR}/packaging/lintian/${package})
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian/${package}
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides COMPONENT ${component})
  endif()
endforeach()

# Multi-Arch fields, stripping of the notes that strip leaves, and the library package's
# ldconfig calls (its triggers file does that work), after CPack has built the packages.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/finish-packages.cmake)

include(CPack)
