# Provides the imported target Tolvane::libpff: Debian's libpff by default, or
# with TOLVANE_PATCHED_LIBPFF the project's patched build of Debian's libpff
# source (scripts/build-libpff.sh installs it into TOLVANE_LIBPFF_PREFIX).
option(TOLVANE_PATCHED_LIBPFF "Link the patched libpff built by scripts/build-libpff.sh" OFF)
set(TOLVANE_LIBPFF_PREFIX "${PROJECT_SOURCE_DIR}/build-libpff/prefix"
    CACHE PATH "Install prefix of the patched libpff")

if(TOLVANE_PATCHED_LIBPFF)
  if(NOT EXISTS "${TOLVANE_LIBPFF_PREFIX}/lib/pkgconfig/libpff.pc")
    message(FATAL_ERROR "The patched libpff is not built in ${TOLVANE_LIBPFF_PREFIX}: "
                        "run scripts/build-libpff.sh first")
  endif()
  set(_tolvane_saved_pkg_config_path "$ENV{PKG_CONFIG_PATH}")
  set(ENV{PKG_CONFIG_PATH} "${TOLVANE_LIBPFF_PREFIX}/lib/pkgconfig")
  # A prefix of its own so that switching the option re-checks the module.
  pkg_check_modules(PATCHED_LIBPFF REQUIRED IMPORTED_TARGET GLOBAL libpff)
  set(ENV{PKG_CONFIG_PATH} "${_tolvane_saved_pkg_config_path}")
  if(NOT PATCHED_LIBPFF_LINK_LIBRARIES MATCHES "^${TOLVANE_LIBPFF_PREFIX}/")
    message(FATAL_ERROR "pkg-config found libpff outside ${TOLVANE_LIBPFF_PREFIX}: ${PATCHED_LIBPFF_LINK_LIBRARIES}")
  endif()
  message(STATUS "libpff: patched build in ${TOLVANE_LIBPFF_PREFIX}")
  # Its item tree answers look-ups by identifier from an index: the readers
  # find items that way instead of walking every folder first.
  set_property(TARGET PkgConfig::PATCHED_LIBPFF APPEND PROPERTY
               INTERFACE_COMPILE_DEFINITIONS TOLVANE_LIBPFF_IDENTIFIER_INDEX=1)
  # Tests of what only the patched library reads (items holding a property
  # of an undefined type) skip with Debian's.
  set_property(TARGET PkgConfig::PATCHED_LIBPFF APPEND PROPERTY
               INTERFACE_COMPILE_DEFINITIONS TOLVANE_LIBPFF_UNKNOWN_TYPES_OPAQUE=1)
  add_library(Tolvane::libpff ALIAS PkgConfig::PATCHED_LIBPFF)
else()
  pkg_check_modules(LIBPFF REQUIRED IMPORTED_TARGET libpff)
  add_library(Tolvane::libpff ALIAS PkgConfig::LIBPFF)
  message(STATUS "libpff: system library")
endif()
