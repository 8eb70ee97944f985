# The Windows program, its resources, its zip and its tests. Included from the
# top-level CMakeLists.txt when cross-building for Windows; vantrel_core exists.

enable_language(RC)

# The core reaches the user's application-data folder through the shell.
target_link_libraries(vantrel_core PUBLIC shell32)

# --- Tone clips: written at build time by a host program from the same sample
# rule the program uses, so the resources cannot drift from the code.
find_program(HOST_CXX NAMES c++ g++ clang++ REQUIRED)
set(CLIP_DIR ${CMAKE_CURRENT_BINARY_DIR}/clips)
set(CLIP_WRITER ${CMAKE_CURRENT_BINARY_DIR}/host/write_clip_resources)
set(CLIP_FILES)
foreach(id RANGE 2001 2016)
  list(APPEND CLIP_FILES ${CLIP_DIR}/dtmf_${id}.wav)
endforeach()
add_custom_command(
  OUTPUT ${CLIP_WRITER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/host
  COMMAND ${HOST_CXX} -std=c++20 -O1 -I${SRC}
          ${CMAKE_CURRENT_SOURCE_DIR}/cmake/write_clip_resources.cpp ${SRC}/output/tones.cpp
          ${SRC}/framework/wave_image.cpp -o ${CLIP_WRITER}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/write_clip_resources.cpp ${SRC}/output/tones.cpp
          ${SRC}/output/tones.h ${SRC}/framework/wave_image.cpp ${SRC}/framework/wave_image.h
  COMMENT "Building the host clip writer")
add_custom_command(
  OUTPUT ${CLIP_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CLIP_DIR}
  COMMAND ${CLIP_WRITER} ${CLIP_DIR}
  DEPENDS ${CLIP_WRITER}
  COMMENT "Writing the sixteen tone clips")
add_custom_target(vantrel_clips DEPENDS ${CLIP_FILES})

# --- The Win32 backend and the program.
file(GLOB WIN32_SOURCES CONFIGURE_DEPENDS ${SRC}/platform/win32/*.cpp)
list(FILTER WIN32_SOURCES EXCLUDE REGEX ".*/file_system_win32\\.cpp$")
set(RC_FILE ${SRC}/platform/win32/vantrel.rc)

if(WIN32_SOURCES AND EXISTS ${SRC}/app/main_win32.cpp AND EXISTS ${RC_FILE})
  add_library(vantrel_win32 STATIC ${WIN32_SOURCES})
  target_link_libraries(vantrel_win32 PUBLIC vantrel_core winmm comdlg32 comctl32 shell32 user32
    gdi32 ole32)

  set_source_files_properties(${RC_FILE} PROPERTIES OBJECT_DEPENDS
    "${CLIP_FILES};${SRC}/platform/win32/vantrel.ico")
  add_executable(vantrel WIN32 ${SRC}/app/main_win32.cpp ${RC_FILE})
  target_include_directories(vantrel PRIVATE ${CLIP_DIR} ${SRC}/platform/win32)
  add_dependencies(vantrel vantrel_clips)
  target_link_libraries(vantrel PRIVATE vantrel_win32)
  # The shipped program carries no symbols; the test programs keep theirs.
  target_link_options(vantrel PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)

  # vantrel.exe finds its help page in help\ beside it.
  set(ZIP_STAGE ${CMAKE_CURRENT_BINARY_DIR}/zip/vantrel)
  set(ZIP_FILE ${CMAKE_CURRENT_BINARY_DIR}/vantrel-${PROJECT_VERSION}-win32.zip)
  add_custom_command(
    OUTPUT ${ZIP_FILE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_CURRENT_BINARY_DIR}/zip
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZIP_STAGE}/help
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vantrel> ${ZIP_STAGE}/
    COMMAND ${CMAKE_COMMAND} -E copy ${SRC}/resources/help/index.html ${ZIP_STAGE}/help/
    COMMAND ${CMAKE_COMMAND} -E rm -f ${ZIP_FILE}
    COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_CURRENT_BINARY_DIR}/zip
            ${CMAKE_COMMAND} -E tar cf ${ZIP_FILE} --format=zip vantrel
    DEPENDS vantrel ${SRC}/resources/help/index.html
    COMMENT "Packing vantrel.exe and its help page")
  add_custom_target(windows_zip ALL DEPENDS ${ZIP_FILE})
  set(VANTREL_WINDOWS_PROGRAM ON)
else()
  # Until the Win32 backend is there, the core alone shows that everything above
  # the platform builds for Windows.
  add_executable(vantrel_core_check ${CMAKE_CURRENT_SOURCE_DIR}/cmake/core_check.cpp)
  target_link_libraries(vantrel_core_check PRIVATE vantrel_core)
  add_dependencies(vantrel_core_check vantrel_clips)
  set(VANTREL_WINDOWS_PROGRAM OFF)
endif()

# --- Tests, run under Wine.
if(VANTREL_TESTS)
  enable_testing()
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  file(GLOB_RECURSE UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  list(FILTER UNIT_TEST_SOURCES EXCLUDE REGEX
    ".*/tests/(platform/(qt|alsa|posix|win32)|e2e|fuzz|bench)/.*")
  # Tests of POSIX-only facilities (ptys, fork, FIFOs, file-size limits, /dev
  # devices) stay on Linux; their Windows counterparts are *_win32_test.cpp.
  list(FILTER UNIT_TEST_SOURCES EXCLUDE REGEX ".*_posix_test\\.cpp$")
  set(TEST_LIBS vantrel_core)
  if(VANTREL_WINDOWS_PROGRAM)
    file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/platform/win32/*.cpp)
    list(APPEND UNIT_TEST_SOURCES ${WIN32_TEST_SOURCES})
    set(TEST_LIBS vantrel_win32)
  else()
    list(FILTER UNIT_TEST_SOURCES EXCLUDE REGEX ".*_win32_test\\.cpp$")
  endif()
  if(VANTREL_WINDOWS_PROGRAM)
    # The backend's tests look up the program's own resources.
    list(APPEND UNIT_TEST_SOURCES ${RC_FILE})
  endif()
  add_executable(vantrel_tests ${UNIT_TEST_SOURCES})
  if(VANTREL_WINDOWS_PROGRAM)
    target_include_directories(vantrel_tests PRIVATE ${CLIP_DIR} ${SRC}/platform/win32)
    add_dependencies(vantrel_tests vantrel_clips)
  endif()
  target_include_directories(vantrel_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests)
  target_link_libraries(vantrel_tests PRIVATE ${TEST_LIBS} gtest_main gmock)

  # One Wine process runs the whole suite: starting Wine per test would cost
  # more than the tests. The prefix is private to this build directory.
  set(WINE_RUN ${CMAKE_CURRENT_SOURCE_DIR}/cmake/wine-run.sh)
  set(ENV_WINEPREFIX ${CMAKE_CURRENT_BINARY_DIR}/wineprefix)
  # The backend's window tests need a display; the headless ones do not mind one.
  find_program(XVFB_RUN NAMES xvfb-run)
  set(WITH_DISPLAY)
  if(XVFB_RUN)
    set(WITH_DISPLAY ${XVFB_RUN} -a -s "-screen 0 1024x768x24")
  endif()
  add_test(NAME wine.vantrel_tests
    COMMAND ${WITH_DISPLAY} bash ${WINE_RUN} ${ENV_WINEPREFIX} $<TARGET_FILE:vantrel_tests>
            --gtest_brief=1)
  # Programs sharing a prefix share one wineserver and so one foreground
  # window: the window tests and the smoke test would take each other's keys.
  set_tests_properties(wine.vantrel_tests PROPERTIES TIMEOUT 900 RESOURCE_LOCK wineprefix)
  # A 64-bit build (made where 32-bit programs cannot run) needs 64-bit Wine.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(WINE_ARCH_ENV VANTREL_WINEARCH=win64)
  else()
    set(WINE_ARCH_ENV VANTREL_WINEARCH=win32)
  endif()
  # An English locale, as a new user's Wine may have: the Japanese texts must
  # find their letters whatever the host's language is.
  list(APPEND WINE_ARCH_ENV LANG=C.UTF-8 LC_ALL=C.UTF-8)
  set_tests_properties(wine.vantrel_tests PROPERTIES ENVIRONMENT "${WINE_ARCH_ENV}")

  if(VANTREL_WINDOWS_PROGRAM AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/windows_smoke.sh)
    add_test(NAME wine.smoke
      COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/windows_smoke.sh $<TARGET_FILE:vantrel>
              ${ENV_WINEPREFIX} ${CLIP_DIR})
    set_tests_properties(wine.smoke PROPERTIES TIMEOUT 300 RESOURCE_LOCK wineprefix
      ENVIRONMENT "${WINE_ARCH_ENV}")
  endif()
endif()
