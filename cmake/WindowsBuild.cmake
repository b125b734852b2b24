# What the Windows build needs beyond the POSIX one.

# Every file that includes <windows.h> wants it without the min and max
# macros (they break std::min and std::numeric_limits) and without the old
# winsock.h, which clashes with winsock2.h.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN)

# Executables that run from any folder: the MinGW runtime (libstdc++,
# libgcc, winpthread) linked in, not expected beside them as DLLs.
# Release executables are stripped: the symbols would double their size.
if(MINGW)
  add_link_options(-static $<$<CONFIG:Release,MinSizeRel>:-s>)
endif()

# PCRE2 for the Windows build. A static Qt carries the 16-bit PCRE2 library
# itself (Qt6::BundledPcre2, linked into Qt Core); the digit filter links the
# same library instead of a second copy, with the library's public header,
# which is the same file on every platform (the host's Debian copy).
find_package(Qt6 REQUIRED COMPONENTS Core)
if(NOT TARGET Qt6::BundledPcre2)
  message(FATAL_ERROR "The Qt for Windows carries no bundled PCRE2 (Qt6::BundledPcre2)")
endif()
find_file(QUORVEL_PCRE2_HEADER pcre2.h PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(_pcre2_include ${CMAKE_BINARY_DIR}/pcre2-include)
configure_file(${QUORVEL_PCRE2_HEADER} ${_pcre2_include}/pcre2.h COPYONLY)
add_library(quorvel_pcre2 INTERFACE)
target_include_directories(quorvel_pcre2 SYSTEM INTERFACE ${_pcre2_include})
target_compile_definitions(quorvel_pcre2 INTERFACE PCRE2_STATIC)
target_link_libraries(quorvel_pcre2 INTERFACE Qt6::BundledPcre2)
add_library(PkgConfig::PCRE2 ALIAS quorvel_pcre2)
