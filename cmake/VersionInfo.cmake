# zandrel_version_info(<target> <file name> <VFT_DLL|VFT_APP> <description> [extra value line]):
# gives a Windows program the version resource of the project's version.
set(ZANDREL_VERSION_TWEAK 0)
if(PROJECT_VERSION_TWEAK)
  set(ZANDREL_VERSION_TWEAK ${PROJECT_VERSION_TWEAK})
endif()
function(zandrel_version_info target ZANDREL_FILE_NAME ZANDREL_FILE_TYPE ZANDREL_FILE_DESCRIPTION)
  set(ZANDREL_FILE_EXTRA "${ARGN}")
  set(rc ${CMAKE_BINARY_DIR}/version/${ZANDREL_FILE_NAME}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/VersionInfo.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
