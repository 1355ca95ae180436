# The Windows target: what the 32-bit DLL needs beyond the shared sources
# (its export names, the ordinal imports of the client library, DllMain, the
# version block) and how its tests run under Wine. Included from the top
# level on WIN32 only.

enable_language(RC)

set(DCS_WIN_DIR ${PROJECT_SOURCE_DIR}/win)

# --- Running test programs ------------------------------------------------
# Wine gets a prefix of its own in the build tree, so that a run depends on
# nothing outside it, and finds the stand-ins and the driver where they are
# built.
set(DCS_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(DCS_WINEPATH "")
foreach(dir ${CMAKE_BINARY_DIR}/standin ${CMAKE_BINARY_DIR}/dcs)
  string(REPLACE "/" "\\" windir "Z:${dir}")
  list(APPEND DCS_WINEPATH "${windir}")
endforeach()
list(JOIN DCS_WINEPATH ";" DCS_WINEPATH)
configure_file(${DCS_WIN_DIR}/win-run.sh.in ${CMAKE_BINARY_DIR}/win-run.sh @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/win-run.sh)

# --- The platform's own libraries ----------------------------------------
# Plain -l names: the stand-ins' targets own the short names (user32 is the
# message-box recorder on this target).
add_library(dcs_system_user32 INTERFACE)
target_link_libraries(dcs_system_user32 INTERFACE -luser32)

# --- The client library, bound by ordinal --------------------------------
# An import library made from a module-definition file whose entries have
# ordinals and no names, so the driver's import table names no operation.
set(DCS_MRX3P_ORDINALS_LIB ${CMAKE_BINARY_DIR}/win/libmrx3p_ordinals.a)
add_custom_command(
  OUTPUT ${DCS_MRX3P_ORDINALS_LIB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/win
  COMMAND ${CMAKE_DLLTOOL} --input-def ${DCS_WIN_DIR}/mrx3p_ordinals.def --dllname MRX3P.dll
          --output-lib ${DCS_MRX3P_ORDINALS_LIB}
  DEPENDS ${DCS_WIN_DIR}/mrx3p_ordinals.def
  COMMENT "Import library of MRX3P.dll, by ordinal"
  VERBATIM)
add_custom_target(mrx3p_ordinals_implib DEPENDS ${DCS_MRX3P_ORDINALS_LIB})
add_library(mrx3p_ordinals INTERFACE)
target_link_libraries(mrx3p_ordinals INTERFACE ${DCS_MRX3P_ORDINALS_LIB})
add_dependencies(mrx3p_ordinals mrx3p_ordinals_implib)

# --- The message-box recorder --------------------------------------------
# On Windows the real user32.dll is linked and its MessageBoxA is the one the
# driver imports. The stand-in's recording code becomes a static library of
# the tests, its routine renamed so it cannot take the import's place; the
# tests redirect the import to it at start-up (dcs_box_capture).
function(dcs_win32_user32_recorder)
  add_library(user32 STATIC ${PROJECT_SOURCE_DIR}/standin/user32/user32_standin.cpp)
  target_include_directories(user32 PUBLIC ${PROJECT_SOURCE_DIR}/standin/user32)
  target_link_libraries(user32 PUBLIC dcs_platform)
  target_compile_definitions(user32 PRIVATE MessageBoxA=User32Standin_MessageBoxA)
  target_link_libraries(user32 PUBLIC dcs_system_user32)
  set_target_properties(user32 PROPERTIES OUTPUT_NAME user32rec)
  dcs_warnings(user32)

  add_library(dcs_box_capture OBJECT ${DCS_WIN_DIR}/box_capture.cpp)
  target_include_directories(dcs_box_capture PUBLIC ${DCS_WIN_DIR})
  target_link_libraries(dcs_box_capture PUBLIC user32)
  dcs_warnings(dcs_box_capture)
endfunction()

# --- The driver DLL -------------------------------------------------------
function(dcs_win32_driver target)
  configure_file(${DCS_WIN_DIR}/mrxnt.rc.in ${CMAKE_BINARY_DIR}/win/mrxnt.rc @ONLY)
  add_library(mrxnt_dllmain OBJECT ${DCS_WIN_DIR}/dllmain.cpp)
  dcs_warnings(mrxnt_dllmain)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:mrxnt_dllmain> ${DCS_WIN_DIR}/mrxnt.def
                                   ${CMAKE_BINARY_DIR}/win/mrxnt.rc)
  target_link_libraries(${target} PRIVATE iface mrx3p_ordinals dcs_system_user32)
  set_target_properties(${target} PROPERTIES LINK_DEPENDS ${DCS_WIN_DIR}/mrxnt.def)
  # Nothing of MinGW's own runtime is exported by accident.
  target_link_options(${target} PRIVATE -Wl,--exclude-all-symbols)
endfunction()

# --- The host program -----------------------------------------------------
# toml11, CLI11 and nlohmann-json are header-only and come from the build
# machine's /usr/include. The cross compiler must not see the rest of that
# folder (glibc's headers would shadow MinGW's), so only their own folders
# are copied into the build tree and given to the host as system headers.
function(dcs_win32_host_headers target)
  set(staged ${CMAKE_BINARY_DIR}/host-headers)
  foreach(dir toml toml.hpp CLI nlohmann)
    if(EXISTS /usr/include/${dir})
      file(COPY /usr/include/${dir} DESTINATION ${staged})
    endif()
  endforeach()
  target_include_directories(${target} SYSTEM INTERFACE ${staged})
  set(DCS_TOML11_INCLUDE_DIR ${staged} CACHE PATH "toml11's include directory" FORCE)
endfunction()

# dcs-host.exe reads its command line as UTF-16 (shell32.dll; the version
# block's version.dll comes with osbase); the driver's MessageBoxA import is
# pointed at the same recorder the tests use, so boxes are printed and
# answered, not shown.
function(dcs_win32_host target)
  target_link_libraries(${target} PUBLIC dcs_box_capture -lshell32)
endfunction()

# --- Tests ----------------------------------------------------------------
# Test programs are registered one test per program: listing the cases under
# Wine at build time is slow and fragile. gtest_discover_tests is replaced
# for this target only, so every test program the tests' CMakeLists declares
# is run whole under the emulator, and gets the message-box capture linked
# in. Called after GoogleTest's own module is included.
macro(dcs_win32_test_hooks)
  function(gtest_discover_tests target)
    dcs_win32_test_program(${target})
  endfunction()
endmacro()

# Death tests are left out here: gtest's Windows build has only its simple
# regular expressions (no brackets), and msvcrt prints %p without 0x, so the
# expectations written for Linux cannot match; they run on the Linux targets.
function(dcs_win32_test_program target)
  target_link_libraries(${target} PRIVATE dcs_box_capture)
  add_test(NAME ${target} COMMAND ${target} --gtest_filter=-*DeathTest.*)
  set_tests_properties(${target} PROPERTIES TIMEOUT 900)
endfunction()
