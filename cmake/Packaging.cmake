# The Debian package: `make deb`, or `cpack` in the build folder, turns what
# `cmake --install` puts in place into orvo-wav-downloader_<version>_amd64.deb,
# installed under /usr whatever CMAKE_INSTALL_PREFIX says.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvo-wav-downloader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "${ORVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Save your Orvo music library as WAV files")
# Under the summary: one paragraph, lines under 80 characters.
set(CPACK_PACKAGE_DESCRIPTION "Orvo WAV Downloader exports your own music library from the Orvo service
as WAV files. You sign in inside the app's web page; it scans your library,
groups the tracks into their workspaces, and saves the ones you tick as WAV
files, one folder per workspace. Slow conversions are retried, and tracks
that cannot be saved are listed with a link to their page.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/orvowav/OrvoWavDownloader)
# Depends: worked out by dpkg-shlibdeps from the executable's libraries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Weston lends a display to a --download-new started where there is none
# (a timer, an SSH session); without it such a run says so and stops.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS weston)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian's usual hardening for the executable: every symbol bound at start,
# then the relocation table read-only (full RELRO).
if(TARGET orvo-wav-downloader)
  target_link_options(orvo-wav-downloader PRIVATE -Wl,-z,relro,-z,now)
endif()

include(CPack)

