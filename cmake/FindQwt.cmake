# Finds Qwt 6 built for Qt 5 and gives the imported target Qwt::Qwt.
#
# Debian ships Qwt without a CMake package: the headers sit in
# /usr/include/qwt and the library is /usr/lib/libqwt-qt5.so. Upstream builds
# install libqwt.so and may put the headers beside Qt's own.
#
# Sets Qwt_FOUND, Qwt_VERSION, Qwt_INCLUDE_DIR and Qwt_LIBRARY.

find_path(Qwt_INCLUDE_DIR
    NAMES qwt_global.h
    PATH_SUFFIXES qwt qwt-qt5 qt5/qwt)
find_library(Qwt_LIBRARY NAMES qwt-qt5 qwt)

# The version comes from the header actually found; a header that cannot be
# read leaves it empty, and that counts as not found.
if(Qwt_INCLUDE_DIR AND EXISTS "${Qwt_INCLUDE_DIR}/qwt_global.h")
    file(STRINGS "${Qwt_INCLUDE_DIR}/qwt_global.h" _qwt_version_line
         REGEX "^#define[ \t]+QWT_VERSION_STR[ \t]+\"[0-9.]+\"")
    string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" Qwt_VERSION "${_qwt_version_line}")
    unset(_qwt_version_line)
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Qwt
    REQUIRED_VARS Qwt_LIBRARY Qwt_INCLUDE_DIR Qwt_VERSION
    VERSION_VAR Qwt_VERSION)

if(Qwt_FOUND AND NOT TARGET Qwt::Qwt)
    add_library(Qwt::Qwt UNKNOWN IMPORTED)
    set_target_properties(Qwt::Qwt PROPERTIES
        IMPORTED_LOCATION "${Qwt_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${Qwt_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES Qt5::Widgets)
endif()

mark_as_advanced(Qwt_INCLUDE_DIR Qwt_LIBRARY)
