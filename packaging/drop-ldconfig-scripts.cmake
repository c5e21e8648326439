# SPDX-License-Identifier: MIT
# Runs after CPack has built the packages (CPACK_POST_BUILD_SCRIPTS). CPack gives a package
# with a shared library in the system library folder a postinst and a postrm that call
# ldconfig; the library package refreshes the loader's cache through its triggers file
# (activate-noawait ldconfig) instead, so those two scripts are taken out of it again.
# Nothing else in the package changes.

find_program(DPKG_DEB dpkg-deb REQUIRED)
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${package}" NAME)
  if(NOT name MATCHES "^libcorvexlink2_.*\\.deb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND ${DPKG_DEB} --raw-extract "${package}" "${tree}"
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb could not unpack ${package}")
  endif()
  if(NOT EXISTS "${tree}/DEBIAN/triggers")
    message(FATAL_ERROR "${name} has no triggers file: its ldconfig calls stay")
  endif()
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND ${DPKG_DEB} --root-owner-group --build "${tree}" "${package}"
    OUTPUT_QUIET RESULT_VARIABLE failed)
  file(REMOVE_RECURSE "${tree}")
  if(failed)
    message(FATAL_ERROR "dpkg-deb could not pack ${package} again")
  endif()
endforeach()
