# SPDX-License-Identifier: MIT
# Debian's hardening flags for every target of an optimised build: fortified string and I/O
# functions, the strong stack protector, format checks, read-only relocations bound at load
# time (relro, bind-now). They come from dpkg-buildflags with every hardening feature on,
# less its optimisation, debug and path-mapping flags, which the build type and the
# developer choose. Left out where they cannot work or would mislead: a debug build (no
# fortify without optimisation), a sanitizer build, a cross build, a machine without dpkg.
#   -DCORVEXLINK_HARDENING=OFF builds without them.

option(CORVEXLINK_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)" ON)

function(corvexlink_hardening)
  if(NOT CORVEXLINK_HARDENING OR WIN32 OR CMAKE_CROSSCOMPILING)
    return()
  endif()
  string(TOUPPER "${CMAKE_BUILD_TYPE}" type)
  if(type STREQUAL "" OR type STREQUAL "DEBUG")
    message(STATUS "Hardening flags: not in a debug build (fortify needs optimisation)")
    return()
  endif()
  if("${CMAKE_CXX_FLAGS} ${CMAKE_C_FLAGS}" MATCHES "-fsanitize")
    message(STATUS "Hardening flags: not in a sanitizer build")
    return()
  endif()
  find_program(CORVEXLINK_DPKG_BUILDFLAGS dpkg-buildflags)
  if(NOT CORVEXLINK_DPKG_BUILDFLAGS)
    message(STATUS "Hardening flags: dpkg-buildflags not found")
    return()
  endif()
  foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${CORVEXLINK_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      message(WARNING "dpkg-buildflags --get ${kind} failed: building without hardening flags")
      return()
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^(-g.*|-O.*|-ffile-prefix-map=.*|-fdebug-prefix-map=.*)$")
    set(${kind} ${flags})
  endforeach()
  foreach(flag IN LISTS CPPFLAGS)
    add_compile_options(${flag})
  endforeach()
  foreach(flag IN LISTS CFLAGS)
    add_compile_options($<$<COMPILE_LANGUAGE:C>:${flag}>)
  endforeach()
  foreach(flag IN LISTS CXXFLAGS)
    add_compile_options($<$<COMPILE_LANGUAGE:CXX>:${flag}>)
  endforeach()
  add_link_options(${LDFLAGS})
  string(JOIN " " shown ${CPPFLAGS} ${CXXFLAGS} ${LDFLAGS})
  message(STATUS "Hardening flags: ${shown}")
endfunction()

corvexlink_hardening()
