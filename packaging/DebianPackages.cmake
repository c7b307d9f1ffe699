# How CPack turns the install components of packaging/CMakeLists.txt into
# Debian packages, one package per component from the one build:
#   tolvane-cli  the command line alone, for machines without a desktop: its
#                Depends (from dpkg-shlibdeps) name no Qt GUI and no QtWebEngine;
#   tolvane      the window, depending on tolvane-cli of the same version for
#                the private libpff and the demo mailbox.
# A build without the window (TOLVANE_BUILD_GUI=OFF) makes tolvane-cli alone.
# scripts/package.sh runs CPack; included from packaging/CMakeLists.txt.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TOLVANE_DEBIAN_REVISION})
set(CPACK_PACKAGE_VENDOR "Tolvane developers")
set(CPACK_PACKAGE_CONTACT "${TOLVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${TOLVANE_COMPONENTS})
set(CPACK_DEBIAN_CLI_PACKAGE_NAME ${TOLVANE_CLI_PACKAGE})
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ${TOLVANE_WINDOW_PACKAGE})
# Both packages come from Tolvane's one source (their changelog's name).
set(CPACK_DEBIAN_PACKAGE_SOURCE tolvane)
# The window's package depends on "tolvane-cli (= VERSION)": the window loads
# the libpff that package carries.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_WINDOW_DEPENDS ${TOLVANE_CLI_COMPONENT})
# Before the split one package, tolvane 5.0, held the command line's files
# too: tolvane-cli takes them over from it, and an upgrade replaces it with
# the split packages rather than failing on files two packages hold.
set(CPACK_DEBIAN_CLI_PACKAGE_BREAKS "${TOLVANE_WINDOW_PACKAGE} (<< 5.0-1)")
set(CPACK_DEBIAN_CLI_PACKAGE_REPLACES "${TOLVANE_WINDOW_PACKAGE} (<< 5.0-1)")

# Each description's first line is its package's synopsis (no
# CPACK_PACKAGE_DESCRIPTION_SUMMARY, which CPack would put above both).
set(CPACK_DEBIAN_CLI_DESCRIPTION "convert PST mailboxes to EML, mbox or Maildir on the command line
tolvane-cli reads a PST mailbox (the personal folders file of a desktop mail
client) and converts its mail into standard .eml files (RFC 5322 / MIME), one
mbox file per folder or a Maildir tree. Contacts come out as vCard files,
appointments and tasks as iCalendar files. Every conversion writes a manifest
with the SHA-256 of each file, which tolvane-cli verify checks the output
against. tolvane-cli scan prints a mailbox's folder tree or every record as
JSON.
.
The package also holds mkpst, which writes synthetic PST mailboxes for tests,
and a demo mailbox. It needs no desktop; the package tolvane adds the window.")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION "view PST mailboxes and convert their mail to EML, mbox or Maildir
Tolvane opens a PST mailbox (the personal folders file of a desktop mail
client), shows its folders, the items of a folder and a preview of the
selected item, and converts the mail into standard .eml files (RFC 5322 /
MIME), one mbox file per folder or a Maildir tree. Contacts come out as
vCard files, appointments and tasks as iCalendar files. Every conversion
writes a manifest with the SHA-256 of each file.
.
The package holds the desktop program tolvane; the command-line programs
tolvane-cli and mkpst are in the package tolvane-cli.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TOLVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TOLVANE_PATCHED_LIBPFF)
  # dpkg-shlibdeps must find the private libpff in the cli package's files,
  # or it would name Debian's libpff1 for the window. It looks for a program's
  # libraries in the tree CPack staged that program's package in, here
  # <staging>/window, joined with each -l directory as it is; CPack stages
  # every component before it packs any, side by side, so this directory
  # leads from either package's tree to the cli package's copy. A library
  # found there comes from no installed package and adds no dependency; the
  # window depends on tolvane-cli anyway.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
      /../${TOLVANE_CLI_COMPONENT}${CPACK_PACKAGING_INSTALL_PREFIX}/${TOLVANE_PRIVATE_LIBDIR})
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
