# The Windows packages (scripts/windows.sh): the installer
# Quorvel-<version>-setup.exe, built with NSIS, and a portable zip, both
# holding the one executable and the licence. `cmake --build <dir> --target
# windows_packages` makes both.
if(NOT QUORVEL_VERSION STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "project() says version ${PROJECT_VERSION}, "
                      "src/AppVersion/VersionInfo.txt says FileVersion=${QUORVEL_VERSION}: make them agree")
endif()

find_program(QUORVEL_MAKENSIS makensis)
set(QUORVEL_SETUP_EXE ${CMAKE_BINARY_DIR}/Quorvel-${QUORVEL_VERSION}-setup.exe)
set(QUORVEL_ZIP ${CMAKE_BINARY_DIR}/Quorvel-${QUORVEL_VERSION}-win64.zip)
set(QUORVEL_ICON ${PROJECT_SOURCE_DIR}/src/app/icons/quorvel.ico)
set(QUORVEL_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(QUORVEL_EXE $<TARGET_FILE:quorvel>)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/Quorvel.nsi.in
               ${CMAKE_BINARY_DIR}/packaging/Quorvel.nsi.in @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/packaging/Quorvel.nsi
     INPUT ${CMAKE_BINARY_DIR}/packaging/Quorvel.nsi.in)

set(_portable ${CMAKE_BINARY_DIR}/packaging/Quorvel-${QUORVEL_VERSION})
add_custom_command(OUTPUT ${QUORVEL_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${_portable}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_portable}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorvel> ${_portable}/
  COMMAND ${CMAKE_COMMAND} -E copy ${QUORVEL_LICENSE} ${_portable}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E tar cf ${QUORVEL_ZIP} --format=zip Quorvel-${QUORVEL_VERSION}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/packaging
  DEPENDS quorvel ${QUORVEL_LICENSE}
  COMMENT "Packing the portable zip")
set(_packages ${QUORVEL_ZIP})

if(QUORVEL_MAKENSIS)
  add_custom_command(OUTPUT ${QUORVEL_SETUP_EXE}
    COMMAND ${QUORVEL_MAKENSIS} -V2 -NOCD ${CMAKE_BINARY_DIR}/packaging/Quorvel.nsi
    DEPENDS quorvel ${CMAKE_BINARY_DIR}/packaging/Quorvel.nsi ${QUORVEL_LICENSE} ${QUORVEL_ICON}
    COMMENT "Building the installer with NSIS")
  list(APPEND _packages ${QUORVEL_SETUP_EXE})
else()
  message(STATUS "makensis not found: no installer (scripts/windows.sh installs nsis)")
endif()
add_custom_target(windows_packages DEPENDS ${_packages})
