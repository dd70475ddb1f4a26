# The Debian package, made by CPack from an install into /usr:
#   cpack --preset default     (or: cmake --build --preset default --target package)
# Library dependencies are computed by dpkg-shlibdeps from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME hollowmere)
set(CPACK_PACKAGE_VENDOR "Hollowmere")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Hollowmere maintainers <maintainers@hollowmere.example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for the Voyla message log")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://hollowmere.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Japanese glyphs for the pages and the toolkit's Japanese button texts.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic, fonts-ipafont-mincho, qt6-translations-l10n, xdg-utils")
# The synopsis comes from the summary; CPack indents these lines and turns
# the empty one into the paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Hollowmere fetches the message log of the Voyla relay chat for a period you
choose, turns every message's SakuraScript into coloured speech balloons
with the speaking character's surface picture, writes the messages as
numbered HTML pages and shows them in its window.

Every message can be voted for or agreed with, and played to a ghost
running on the same desktop. With four arguments the program works as a
batch page generator; hollowmere-render renders a saved log without a
window.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
