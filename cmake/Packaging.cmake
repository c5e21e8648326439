# SPDX-License-Identifier: MIT
# Debian packages made by CPack from the install components:
#   libcorvexlink2     the shared core and its GUI module
#   libcorvexlink-dev  headers, pkg-config file, CMake package, man pages of the exports
#   corvexlink-tools   kx4417-sim (and the command-line tool when it is built)
#   corvexlink-demo    DemoCorvexLink with its desktop entry, icon and help reference
#   corvexlink-tango   the Tango device server, its man page and example file database
# Build them with: cmake --build <build> --target package (the .deb files land in <build>).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvexlink)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The CorvexLink developers")
set(CPACK_PACKAGE_CONTACT "CorvexLink developers <corvexlink@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host software for KX4417 stepper controllers")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs link the core of this very build, which no installed package provides yet.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/library)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://corvexlink.example.org")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_COMPONENTS_ALL libcorvexlink2 libcorvexlink-dev corvexlink-tools corvexlink-python)
if(CORVEXLINK_WITH_QT)
  list(APPEND CPACK_COMPONENTS_ALL corvexlink-demo)
endif()
if(TARGET corvexlink-tango)
  list(APPEND CPACK_COMPONENTS_ALL corvexlink-tango)
endif()

# The run-time library. Its GUI module needs Qt, but the core does not: Qt is recommended,
# not required, so a headless machine can install the library without a desktop stack.
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_NAME libcorvexlink2)
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_RECOMMENDS "libqt6widgets6 (>= 6.4)")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The loader's cache is refreshed when the library is installed or removed.
set(CPACK_DEBIAN_LIBCORVEXLINK2_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/libcorvexlink2/triggers)
set(CPACK_COMPONENT_LIBCORVEXLINK2_DESCRIPTION
  "host library for KX4417 stepper controllers\n The CorvexLink shared library drives KX4417 stepper controllers on Corvex-B\n boards over one RS-232 line, through a C interface. Its port dialog and\n message boxes are shown through Qt when the calling program runs a Qt\n application.")

set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_PACKAGE_NAME libcorvexlink-dev)
set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBCORVEXLINK-DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_LIBCORVEXLINK-DEV_DEPENDS libcorvexlink2)
set(CPACK_COMPONENT_LIBCORVEXLINK-DEV_DESCRIPTION
  "host library for KX4417 stepper controllers - development files\n The header, the pkg-config file, the CMake package (CorvexLink::CorvexLink)\n and the manual pages of the CorvexLink library.")

set(CPACK_DEBIAN_CORVEXLINK-TOOLS_PACKAGE_NAME corvexlink-tools)
set(CPACK_DEBIAN_CORVEXLINK-TOOLS_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CORVEXLINK-TOOLS_DEPENDS libcorvexlink2)
set(CPACK_COMPONENT_CORVEXLINK-TOOLS_DESCRIPTION
  "tools for KX4417 stepper controllers\n kx4417-sim simulates KX4417 stations on a pseudo-terminal, so programs that\n use CorvexLink can be tried and tested without hardware.")

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
set(CPACK_COMPONENT_CORVEXLINK-PYTHON_DESCRIPTION
  "Python interface to the CorvexLink library\n The corvexlink package drives KX4417 stepper controllers from Python through\n the CorvexLink shared library (ctypes, no compiler needed).")

set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_NAME corvexlink-demo)
set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CORVEXLINK-DEMO_DEPENDS libcorvexlink2)
set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_RECOMMENDS corvexlink-tools)
# The tool-button pictures are SVG: Qt loads its SVG icon engine at run time, which the
# shared-library scan cannot see.
set(CPACK_DEBIAN_CORVEXLINK-DEMO_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_COMPONENT_CORVEXLINK-DEMO_DESCRIPTION
  "operator program for KX4417 stepper controllers\n DemoCorvexLink opens the line, finds the stations and drives the motors,\n their I/O, analog inputs and FIFO profiles from Qt windows.")

# The device server; libtango and omniORB come in through the shared-library scan.
set(CPACK_DEBIAN_CORVEXLINK-TANGO_PACKAGE_NAME corvexlink-tango)
set(CPACK_DEBIAN_CORVEXLINK-TANGO_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CORVEXLINK-TANGO_DEPENDS libcorvexlink2)
set(CPACK_DEBIAN_CORVEXLINK-TANGO_PACKAGE_SUGGESTS "corvexlink-tools, python3-tango, libtango-tools")
set(CPACK_COMPONENT_CORVEXLINK-TANGO_DESCRIPTION
  "Tango device server for KX4417 stepper controllers\n corvexlink-tango makes one CorvexLink line and its KX4417 stations devices of\n a Tango control system (classes CorvexLine and CorvexMotor): any number of\n clients read, write and subscribe to the motors while the server owns the\n line. It runs with a Tango database, a file database or none.")

if(CORVEXLINK_WITH_QT)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/DemoCorvexLink.desktop
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT corvexlink-demo)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvexlink-demo.svg
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT corvexlink-demo)
endif()

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

# Each package carries the licence as its copyright file, and the changelog (changelog.gz:
# the packages are native, their version has no Debian revision).
foreach(component ${CPACK_COMPONENTS_ALL})
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    RENAME copyright COMPONENT ${component})
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

# The library package refreshes the loader's cache through its triggers file; the ldconfig
# calls that CPack writes into its postinst and postrm are taken out after packing.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/drop-ldconfig-scripts.cmake)

include(CPack)
