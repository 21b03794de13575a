# The type library of zandrel.dll, compiled by widl from server/zandrel.idl: the .tlb that the
# DLL embeds as TYPELIB 1, the C++ header of IQuelto (the object and the early-bound client test
# include it) and the identifiers. widl writes one output per call.
find_program(ZANDREL_WIDL NAMES ${ZANDREL_MINGW_TRIPLE}-widl widl REQUIRED)
set(ZANDREL_IDL ${CMAKE_SOURCE_DIR}/server/zandrel.idl)
set(ZANDREL_IDL_DIR ${CMAKE_BINARY_DIR}/idl)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(widl_target --win64)
else()
  set(widl_target --win32)
endif()
# importlib(stdole2.tlb) is looked up beside Wine's own DLLs; only the 64-bit side is installed
# here, and what the 32-bit library takes from it (IDispatch) is the same.
find_path(ZANDREL_STDOLE_DIR stdole2.tlb PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          /usr/lib/wine/x86_64-windows /usr/lib/i386-linux-gnu/wine/i386-windows NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(widl_flags ${widl_target} -I/usr/include/wine/wine/windows -L ${ZANDREL_STDOLE_DIR})
set(ZANDREL_TLB ${ZANDREL_IDL_DIR}/zandrel.tlb)
file(MAKE_DIRECTORY ${ZANDREL_IDL_DIR})
foreach(kind "t;zandrel.tlb" "h;zandrel_h.h" "u;zandrel_i.c")
  list(GET kind 0 option)
  list(GET kind 1 output)
  add_custom_command(OUTPUT ${ZANDREL_IDL_DIR}/${output}
                     COMMAND ${ZANDREL_WIDL} ${widl_flags} -${option} -o ${ZANDREL_IDL_DIR}/${output} ${ZANDREL_IDL}
                     DEPENDS ${ZANDREL_IDL} VERBATIM)
endforeach()
add_custom_target(zandrel_idl DEPENDS ${ZANDREL_TLB} ${ZANDREL_IDL_DIR}/zandrel_h.h ${ZANDREL_IDL_DIR}/zandrel_i.c)
# The identifiers (IID_IQuelto, CLSID_Quelto, LIBID_ZANDRELLib) for whoever links the object.
add_library(zandrel_ids STATIC ${ZANDREL_IDL_DIR}/zandrel_i.c)
add_dependencies(zandrel_ids zandrel_idl)
