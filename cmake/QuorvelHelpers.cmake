# Shared helpers for every folder of the project.

# Warnings on for our own code; sanitizers when asked for.
function(quorvel_target_defaults target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
  if(QUORVEL_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # Fuzzing: every library the fuzz targets link gets libFuzzer's coverage
    # instrumentation too, or the fuzzer could not see into our code.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(QUORVEL_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# Where sanitizer reports go in a sanitizer build's test run. Empty: on each
# process's stderr. A folder: one file per reporting process, which also
# catches the reports of child processes (the simulator) whose stderr the
# tests do not show; scripts/test.sh sets it and fails on any file there.
set(QUORVEL_SANITIZER_LOG_DIR "" CACHE PATH "Folder for sanitizer reports of the test run (empty: stderr)")

# quorvel_test_environment(<test>): the environment every test runs in:
# headless, and the sanitizers' options for a sanitizer build (stop at the
# first report, leak checks with the project's suppressions, reports into
# QUORVEL_SANITIZER_LOG_DIR when set).
function(quorvel_test_environment test)
  set(_log "")
  if(QUORVEL_SANITIZER_LOG_DIR)
    # A sanitizer that cannot open its log file stops the process.
    file(MAKE_DIRECTORY ${QUORVEL_SANITIZER_LOG_DIR})
    set(_log ":log_path=${QUORVEL_SANITIZER_LOG_DIR}/report")
  endif()
  # Windows: the offscreen platform does not come up under Wine; the tests
  # use the real windows platform (on a private X display under Wine).
  set(_platform offscreen)
  if(WIN32)
    set(_platform windows)
  endif()
  set_tests_properties(${test} PROPERTIES ENVIRONMENT
    "QT_QPA_PLATFORM=${_platform};ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1${_log};LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/scripts/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1${_log}")
endfunction()

# quorvel_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>])
# One Qt Test executable registered with ctest, run headless.
function(quorvel_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
  quorvel_target_defaults(${T_NAME})
  if(WIN32)
    # Every test program carries the program's version resource, so a
    # window that shows its caption finds the version where the program does.
    target_sources(${T_NAME} PRIVATE $<TARGET_PROPERTY:quorvel_appversion,QUORVEL_VERSION_RC>)
    add_dependencies(${T_NAME} quorvel_version_files)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  quorvel_test_environment(${T_NAME})
endfunction()

# The program's version for everything outside the executable (package,
# desktop metadata, man pages): the version block's FileVersion, the one the
# caption shows.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/AppVersion/VersionInfo.txt QUORVEL_VERSION REGEX "^FileVersion=")
string(REPLACE "FileVersion=" "" QUORVEL_VERSION "${QUORVEL_VERSION}")
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/src/AppVersion/VersionInfo.txt)

# quorvel_install_manpage(<source> <section>)
# Fills the version into a man page source, compresses it (no timestamp, so
# the package builds reproducibly) and installs it under share/man/man<section>.
function(quorvel_install_manpage source section)
  get_filename_component(_name ${source} NAME)
  set(_page ${CMAKE_CURRENT_BINARY_DIR}/${_name})
  configure_file(${source} ${_page} @ONLY)
  add_custom_command(OUTPUT ${_page}.gz
    COMMAND gzip -9 -n -c ${_page} > ${_page}.gz
    DEPENDS ${_page}
    COMMENT "Compressing the man page ${_name}")
  add_custom_target(manpage_${_name} ALL DEPENDS ${_page}.gz)
  include(GNUInstallDirs)
  install(FILES ${_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
