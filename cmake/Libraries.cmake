# The portable core as static libraries, one per design folder that has code.
zandrel_sources(LINK_SOURCES link)
add_library(zandrel_link STATIC ${LINK_SOURCES})
target_include_directories(zandrel_link PUBLIC ${CMAKE_SOURCE_DIR})
if(WIN32)
  target_link_libraries(zandrel_link PUBLIC winmm ws2_32)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(zandrel_link PUBLIC Threads::Threads)
endif()

zandrel_sources(TRANSFER_SOURCES transfer transfer/zmodem)
add_library(zandrel_transfer STATIC ${TRANSFER_SOURCES})
target_link_libraries(zandrel_transfer PUBLIC zandrel_link)

zandrel_sources(MODEM_SOURCES modem)
add_library(zandrel_modem STATIC ${MODEM_SOURCES})
target_link_libraries(zandrel_modem PUBLIC zandrel_transfer)

zandrel_sources(JOB_SOURCES job)
if(JOB_SOURCES)
  add_library(zandrel_job STATIC ${JOB_SOURCES})
  target_link_libraries(zandrel_job PUBLIC zandrel_modem)
  if(WIN32)
    target_link_libraries(zandrel_job PUBLIC comctl32)  # the progress window's bar and list
  endif()
else()
  add_library(zandrel_job INTERFACE)
  target_link_libraries(zandrel_job INTERFACE zandrel_modem)
endif()

# The progress window's dialog template and the module's icon, for programs that show the window
# (the DLL includes it from its own resource script): add it to the program's sources.
set(ZANDREL_PROGRESS_RC ${CMAKE_SOURCE_DIR}/server/ProgressDialog.rc)
if(WIN32)
  set_property(SOURCE ${ZANDREL_PROGRESS_RC} APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/server)
endif()

# The setup sheet, its dialogs and the windows of the file prompt: their rules on every platform,
# the windows themselves on Windows (their templates are in server/SetupDialogs.rc).
zandrel_sources(SETUP_SOURCES object/setup)
add_library(zandrel_setup STATIC ${SETUP_SOURCES})
target_link_libraries(zandrel_setup PUBLIC zandrel_job)
if(WIN32)
  target_link_libraries(zandrel_setup PUBLIC comctl32 comdlg32 shell32 ole32)
endif()

# The automation object over the settings: its portable rules (put rules, the stored
# settings) for every platform, the COM class on Windows.
zandrel_sources(OBJECT_SOURCES object)
add_library(zandrel_object STATIC ${OBJECT_SOURCES})
target_link_libraries(zandrel_object PUBLIC zandrel_setup)
if(WIN32)
  include(cmake/TypeLibrary.cmake)
  add_dependencies(zandrel_object zandrel_idl)
  target_include_directories(zandrel_object PUBLIC ${ZANDREL_IDL_DIR})
  target_link_libraries(zandrel_object PUBLIC zandrel_ids ole32 oleaut32 uuid)
endif()
