# zandrel.chm, compiled from server/help by chmcmd (Debian package fp-utils) into the folder
# that holds zandrel.dll, where the module looks for it. Without chmcmd the tests of the file are
# skipped, or under CI failed.
set(ZANDREL_HELP_FILE ${CMAKE_BINARY_DIR}/bin/zandrel.chm)
find_program(ZANDREL_CHMCMD chmcmd)
if(ZANDREL_CHMCMD)
  file(GLOB ZANDREL_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/server/help/*)
  add_custom_command(OUTPUT ${ZANDREL_HELP_FILE}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin
                     COMMAND ${CMAKE_SOURCE_DIR}/server/help/build-chm.sh ${CMAKE_SOURCE_DIR}/server/help ${ZANDREL_HELP_FILE}
                     DEPENDS ${ZANDREL_HELP_SOURCES}
                     COMMENT "Compiling the help file zandrel.chm")
  add_custom_target(zandrel_help ALL DEPENDS ${ZANDREL_HELP_FILE})
else()
  message(WARNING "chmcmd (fp-utils) not found: zandrel.chm is not built")
endif()
