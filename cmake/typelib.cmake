# Compiles interface/TAVRO.idl with widl into the type library (embedded as
# TYPELIB 1) and the C header with every GUID of the module.
set(TAVRO_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${TAVRO_GENERATED_DIR})
set(TAVRO_IDL ${CMAKE_SOURCE_DIR}/interface/TAVRO.idl)
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

# The script reference, built from the IDL's help strings; a test compares it
# with docs/reference.md, another the type library's strings with it.
set(TAVRO_REFERENCE ${TAVRO_GENERATED_DIR}/reference.md)
add_custom_command(
  OUTPUT ${TAVRO_REFERENCE}
  COMMAND ${CMAKE_COMMAND} -DIDL=${TAVRO_IDL} -DOUT=${TAVRO_REFERENCE} -P ${CMAKE_SOURCE_DIR}/cmake/idl-reference.cmake
  DEPENDS ${TAVRO_IDL} ${CMAKE_SOURCE_DIR}/cmake/idl-reference.cmake
  COMMENT "docs: reference.md from TAVRO.idl"
  VERBATIM)
add_custom_target(tavro_reference ALL DEPENDS ${TAVRO_REFERENCE})
