# What the Windows build needs instead of the Linux packages: one static
# executable per program (no DLL beside it), GoogleTest compiled from its
# sources by the cross compiler, nlohmann/json's headers alone, and the
# tests run under Wine in a prefix of the build's own.
# The window's resources (icons, version, manifest) go through windres.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)

# The library is headers only; its package files would put the host's
# /usr/include, and so the Linux C library's headers, on the include path.
set(tarvelo_json_include ${CMAKE_BINARY_DIR}/include-json)
if(NOT EXISTS ${tarvelo_json_include}/nlohmann/json.hpp)
  if(NOT EXISTS /usr/include/nlohmann/json.hpp)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
  endif()
  file(MAKE_DIRECTORY ${tarvelo_json_include})
  file(CREATE_LINK /usr/include/nlohmann ${tarvelo_json_include}/nlohmann SYMBOLIC)
endif()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${tarvelo_json_include})

# Wine's prefix for this build: the tests and the build steps that run a
# program of this build (the sample tables) use it. Wine's own messages stay
# off standard error, and no prompt asks for its .NET or HTML add-ons.
set(tarvelo_wine_environment WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")
# What runs a program of this build during the build.
set(tarvelo_run_built ${CMAKE_COMMAND} -E env ${tarvelo_wine_environment} ${CMAKE_CROSSCOMPILING_EMULATOR})
# The tests' environment: every test in the Brazilian settings. Wine keeps
# the user's regional settings in the prefix's registry and rewrites them
# when a process starts in another locale, so tests of two locales at once
# read each other's (a test asking for the en-US settings got the pt-BR
# decimal comma); the one test that changes locale runs alone.
set(tarvelo_wine_test_environment ${tarvelo_wine_environment} LC_ALL=pt_BR.UTF-8)

if(TARVELO_TESTS)
  enable_testing()
  set(tarvelo_googletest /usr/src/googletest CACHE PATH "GoogleTest's sources (Debian: googletest)")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${tarvelo_googletest} googletest EXCLUDE_FROM_ALL)

  # The prefix's server is started before the first test to stay until the
  # last test stops it, and the prefix made (a fresh one takes some ten
  # seconds) with its services under it. A server otherwise ends some
  # seconds after the last program of its prefix, and a program that starts
  # while it is ending ends at once, which made a test fail now and then.
  # Nothing started here holds a test's output open, so each test ends with
  # its program.
  add_test(NAME wine_prefix
           COMMAND sh -c "mkdir -p \"$WINEPREFIX\" && { wineserver -p; \"$0\" wineboot.exe --init; } >/dev/null 2>&1 </dev/null"
                   ${CMAKE_CROSSCOMPILING_EMULATOR})
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix ENVIRONMENT
                                              "${tarvelo_wine_test_environment}")
  add_test(NAME wine_server_stop COMMAND sh -c "wineserver -k || true")
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_prefix ENVIRONMENT
                                                   "${tarvelo_wine_test_environment}")
endif()

# Registers the test program name as one test run under Wine.
function(tarvelo_add_wine_test name)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix TIMEOUT ${TARVELO_WINE_TEST_TIMEOUT}
                                          ENVIRONMENT "${tarvelo_wine_test_environment}")
endfunction()
