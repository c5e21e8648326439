# SPDX-License-Identifier: MIT
# Runs after CPack has built the packages (CPACK_POST_BUILD_SCRIPTS) and completes each one
# where CPack cannot:
#   - the Multi-Arch field (CPACK_CORVEXLINK_MULTIARCH_SAME and _FOREIGN name the packages);
#   - the .comment and .note sections of the programs and libraries, which strip leaves;
#   - the library package's postinst and postrm, which CPack writes to call ldconfig: its
#     triggers file (activate-noawait ldconfig) refreshes the loader's cache instead.
# The md5sums are written anew for the changed files; nothing else in a package changes.

find_program(DPKG_DEB dpkg-deb REQUIRED)
find_program(OBJCOPY NAMES objcopy REQUIRED)

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(file "${package}" NAME)
  string(REGEX REPLACE "_.*" "" name "${file}")
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND ${DPKG_DEB} --raw-extract "${package}" "${tree}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb could not unpack ${package}")
  endif()

  # Multi-Arch after Architecture, where Debian's tools write it.
  set(multiarch "")
  if(name IN_LIST CPACK_CORVEXLINK_MULTIARCH_SAME)
    set(multiarch same)
  elseif(name IN_LIST CPACK_CORVEXLINK_MULTIARCH_FOREIGN)
    set(multiarch foreign)
  endif()
  if(multiarch)
    file(READ "${tree}/DEBIAN/control" control)
    string(REGEX REPLACE "(\nArchitecture: [^\n]*\n)" "\\1Multi-Arch: ${multiarch}\n" control "\n${control}")
    string(SUBSTRING "${control}" 1 -1 control)
    file(WRITE "${tree}/DEBIAN/control" "${control}")
  endif()

  if(name STREQUAL "libcorvexlink2")
    if(NOT EXISTS "${tree}/DEBIAN/triggers")
      message(FATAL_ERROR "${file} has no triggers file: its ldconfig calls stay")
    endif()
    file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  endif()

  # Sections without use at run time, as Debian's own packaging removes them.
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/*")
  list(FILTER files EXCLUDE REGEX "^DEBIAN/")
  list(SORT files)
  set(md5sums "")
  foreach(path IN LISTS files)
    if(IS_SYMLINK "${tree}/${path}")
      continue()
    endif()
    file(READ "${tree}/${path}" magic LIMIT 4 HEX)
    if(magic STREQUAL "7f454c46")
      execute_process(COMMAND ${OBJCOPY} --remove-section=.comment --remove-section=.note
                              "${tree}/${path}" RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "objcopy could not take the notes out of ${path} in ${file}")
      endif()
    endif()
    file(MD5 "${tree}/${path}" sum)
    string(APPEND md5sums "${sum}  ${path}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${md5sums}")

  execute_process(COMMAND ${DPKG_DEB} --root-owner-group --build "${tree}" "${package}"
    OUTPUT_QUIET RESULT_VARIABLE failed)
  file(REMOVE_RECURSE "${tree}")
  if(failed)
    message(FATAL_ERROR "dpkg-deb could not pack ${package} again")
  endif()
endforeach()
