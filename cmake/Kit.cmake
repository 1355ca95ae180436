# What is handed over: `cmake --install` and CPack lay out one tree.
#
#   Windows (mrxnt-<version>-win32.zip)
#     mrxnt.dll             the driver, the file installed into the simulator
#     tools/dcs-host.exe    the host program
#     tools/MRX3P.dll       simulated tag server and host services, found by
#     tools/iface.dll       the loader beside dcs-host.exe; never beside the
#                           simulator, where they would shadow the real ones
#     trace/MRX3P.dll       the tracing Marlix client, and its settings
#     trace/MRX3P-trace.ini (a template to edit), to put in front of the
#                           real client library
#     examples/, README.txt
#
#   Linux (mrxnt-<version>-linux-x86_64.tar.gz, -linux-i686.tar.gz)
#     libmrxnt.so           the driver
#     tools/dcs-host        the host program (x86-64 only)
#     standin/              libiface.so, libmrx3p.so, libuser32.so
#     trace/                libmrx3p.so (the tracing client), MRX3P-trace.ini
#     examples/, README.txt
#
# The archives hold the tree at their top, without a folder around it.

set(DCS_KIT_TOOLS tools)
set(DCS_KIT_STANDINS standin)
if(WIN32)
  set(DCS_KIT_SYSTEM win32)
  # Next to dcs-host.exe, where the Windows loader looks first.
  set(DCS_KIT_STANDINS ${DCS_KIT_TOOLS})
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(DCS_KIT_SYSTEM linux-i686)
else()
  set(DCS_KIT_SYSTEM linux-x86_64)
endif()

# The driver: a DLL is a RUNTIME artifact, a shared object a LIBRARY one.
# Import libraries (ARCHIVE) are of no use to an integrator and stay out.
install(TARGETS mrxnt RUNTIME DESTINATION . LIBRARY DESTINATION .)

# The stand-ins. On Windows the message-box recorder is linked into
# dcs-host.exe and the platform's own user32.dll shows the driver's boxes.
set(dcs_kit_standins iface mrx3p)
if(NOT WIN32)
  list(APPEND dcs_kit_standins user32)
endif()
install(TARGETS ${dcs_kit_standins} RUNTIME DESTINATION ${DCS_KIT_STANDINS}
                                    LIBRARY DESTINATION ${DCS_KIT_STANDINS})

if(TARGET dcs-host)
  # dcs-host finds the stand-ins by its run path; the driver finds them
  # already loaded. The driver itself carries no run path: in production the
  # simulator supplies the real libraries.
  set_target_properties(dcs-host PROPERTIES INSTALL_RPATH "$ORIGIN/../${DCS_KIT_STANDINS}")
  install(TARGETS dcs-host RUNTIME DESTINATION ${DCS_KIT_TOOLS})
endif()

# The tracing client, in a folder of its own: it has the real client
# library's name and must never be found where the stand-ins are.
install(TARGETS mrx3p_trace RUNTIME DESTINATION trace LIBRARY DESTINATION trace)
install(FILES ${CMAKE_BINARY_DIR}/trace/MRX3P-trace.ini.template DESTINATION trace RENAME MRX3P-trace.ini)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/kit/README-windows.txt DESTINATION . RENAME README.txt)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/kit/README-linux.txt DESTINATION . RENAME README.txt)
endif()

set(CPACK_PACKAGE_NAME mrxnt)
set(CPACK_PACKAGE_VENDOR "mrxnt")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "The Marlix DCS link driver and its host program")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME mrxnt-${PROJECT_VERSION}-${DCS_KIT_SYSTEM})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
