# `make deb`: a Debian package of everything the install rules put under the
# prefix. make deb configures the prefix as /usr, where the package installs
# and where the files that name installed paths (the user unit, the manual
# pages) must point.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarndemo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The ZARNDemo developers")
set(CPACK_PACKAGE_CONTACT "The ZARNDemo developers <zarndemo@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video clip or camera shows that sound the picture's bright and dark parts")
set(CPACK_PACKAGE_DESCRIPTION [[
ZARNDemo is a demonstration program for interactive installations. Its
launcher takes a video clip (AVI) or a camera and a list of WAV sounds. The
detection show plays the picture full-screen, ranks a 7 by 3 grid of it by
its red level about every 0.85 seconds, outlines the brightest, middle and
darkest cell and plays the sound of each; up to 21 sounds play at once. The
gate show plays an interactive branching clip in four gates.

It speaks Open Sound Control, starts a show unattended in venue mode under
the service manager, and zarndemo-replay runs a show without screen or
speakers into a ranking table, a mix and a video.]])

# The libraries the programs link come from dpkg-shlibdeps; what they run or
# load by name does not show there: the Qt platform plugins (xcb for the
# desktop, offscreen for the replay) and the Nanum fonts that stand in for
# the Korean Windows faces.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-nanum")

# The installed programs bind every symbol at start, so that the whole
# relocation table can be read-only.
target_link_options(zarndemo PRIVATE -Wl,-z,relro,-z,now)
target_link_options(zarndemo-replay PRIVATE -Wl,-z,relro,-z,now)

set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
