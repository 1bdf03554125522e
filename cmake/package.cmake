# The Debian package: `cpack -G DEB` in a build folder (scripts/package does it
# in the release build) writes keyloom_VERSION_amd64.deb with the files that
# cmake/install.cmake installs, below /usr.
#
# Its Depends come from the binaries' shared libraries (dpkg-shlibdeps, of
# dpkg-dev). It has no maintainer scripts: the caches of desktop entries, mime
# types and icons are brought up to date by the file triggers that Debian's
# desktop-file-utils, shared-mime-info and hicolor-icon-theme hold on those
# folders.
set(CPACK_PACKAGE_NAME keyloom)
set(CPACK_PACKAGE_VENDOR "The Keyloom developers")
set(CPACK_PACKAGE_CONTACT "${KEYLOOM_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read-only viewer for Windows registry hive files")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
# The release build keeps its line tables: the error report of a fault names
# the source line from them, so the binaries are installed as built.
set(CPACK_STRIP_FILES OFF)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without these the new mime type, desktop entry and icon are installed but
# not yet known to the desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, hicolor-icon-theme")
# The long description, below the summary; CPack indents it and writes the
# empty line as " .".
set(CPACK_PACKAGE_DESCRIPTION "Keyloom shows the keys and values of a Windows NT registry hive file (the
regf files of Windows/System32/config, NTUSER.DAT, UsrClass.dat and others)
in a tree and a table. It never writes to the hive, stays safe on damaged
files, and can open newer and not cleanly saved hives with their
transaction logs applied in memory.

keyloom-dump prints the key tree and the values of a hive as text, and finds
keys and values, for scripts.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
