# SPDX-License-Identifier: MIT
# The Debian package of the web service (included by cmake/Packaging.cmake when the service
# is built); civetweb and OpenSSL come in through the shared-library scan, Chart.js is
# Debian's.
list(APPEND CPACK_COMPONENTS_ALL corvexlink-web)
set(CPACK_DEBIAN_CORVEXLINK-WEB_PACKAGE_NAME corvexlink-web)
set(CPACK_DEBIAN_CORVEXLINK-WEB_PACKAGE_SECTION electronics)
set(CPACK_COMPONENT_CORVEXLINK-WEB_DEPENDS libcorvexlink2)
set(CPACK_DEBIAN_CORVEXLINK-WEB_PACKAGE_DEPENDS "libjs-chart.js")
set(CPACK_DEBIAN_CORVEXLINK-WEB_PACKAGE_SUGGESTS "nginx, corvexlink-tools")
set(CPACK_DEBIAN_CORVEXLINK-WEB_DESCRIPTION [[web service for KX4417 stepper controllers
corvexlink-web serves the CorvexLink lines of a machine to browsers and to
programs in any language: a JSON API with an OpenAPI description, the motors'
state pushed over a WebSocket, and a page with a card per motor, STOP ALL and a
live chart. Several people work at once, each signed in with an access token
(viewer or operator); jogs run only while their client keeps them alive.

The package holds the program, its page, a systemd unit and an nginx site that
puts HTTPS in front of it.]])
