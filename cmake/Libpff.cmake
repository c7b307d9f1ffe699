# Provides the imported target Tolvane::libpff: Debian's libpff by default.
pkg_check_modules(LIBPFF REQUIRED IMPORTED_TARGET libpff)
add_library(Tolvane::libpff ALIAS PkgConfig::LIBPFF)
