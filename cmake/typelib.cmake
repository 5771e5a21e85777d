# Compiles ocx/TAVRO.idl with widl into the type library (embedded as
# TYPELIB 1) and the C header with every GUID of the module.
set(TAVRO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${TAVRO_GENERATED_DIR})
set(TAVRO_IDL ${CMAKE_SOURCE_DIR}/ocx/TAVRO.idl)
set(TAVRO_TLB ${TAVRO_GENERATED_DIR}/TAVRO.tlb)
set(TAVRO_IDL_HEADER ${TAVRO_GENERATED_DIR}/TAVRO_h.h)
set(_widl ${TAVRO_TRIPLE}-widl ${TAVRO_WIDL_TARGET}
    -I/usr/include/wine/wine/windows
    -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
add_custom_command(
  OUTPUT ${TAVRO_TLB} ${TAVRO_IDL_HEADER}
  COMMAND ${_widl} -t -o ${TAVRO_TLB} ${TAVRO_IDL}
  COMMAND ${_widl} -h -o ${TAVRO_IDL_HEADER} ${TAVRO_IDL}
  DEPENDS ${TAVRO_IDL}
  COMMENT "widl TAVRO.idl"
  VERBATIM)
add_custom_target(tavro_typelib DEPENDS ${TAVRO_TLB} ${TAVRO_IDL_HEADER})
