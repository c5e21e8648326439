# SPDX-License-Identifier: MIT
# Section-1 manual pages made by help2man from a program's --help and --version, packed
# with gzip -9n (no name, no time stamp) and installed to man1 with the program's component.
#
#   corvexlink_help2man(<target> NAME "<what the program does>" COMPONENT <component>
#                       [INCLUDE <file.h2m>] [ENVIRONMENT VAR=value...])
#
# ENVIRONMENT is set while the program runs for help2man (for example so that a GUI
# program prints its help on a machine without a display). Without help2man or gzip, or in a
# cross build (whose programs do not run here), the page is left out.

find_program(CORVEXLINK_HELP2MAN help2man)
find_program(CORVEXLINK_GZIP gzip)

function(corvexlink_help2man target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "NAME;COMPONENT;INCLUDE" "ENVIRONMENT")
  if(CMAKE_CROSSCOMPILING)
    return()
  endif()
  if(NOT CORVEXLINK_HELP2MAN OR NOT CORVEXLINK_GZIP)
    message(STATUS "help2man or gzip not found: the ${target} man page is not built")
    return()
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  set(include_option "")
  if(ARG_INCLUDE)
    set(include_option --include=${ARG_INCLUDE})
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env ${ARG_ENVIRONMENT}
            ${CORVEXLINK_HELP2MAN} --no-info --no-discard-stderr --section=1 --name=${ARG_NAME}
            ${include_option} --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${CORVEXLINK_GZIP} -9nf ${page}
    DEPENDS ${target} ${ARG_INCLUDE}
    COMMENT "Generating the ${name} man page"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page}.gz)
  include(GNUInstallDirs)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${ARG_COMPONENT})
endfunction()
