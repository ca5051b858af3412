# Run at install time (not at configure time) so that the prefix written into
# the .pc files is the one actually installed to: `cmake --install --prefix`
# and CPack both change it after configuration. Expects ZEL_PC_TEMPLATE,
# ZEL_PC_OUTPUT, ZEL_PC_VERSION, ZEL_PC_LIBDIR_REL and ZEL_PC_INCLUDEDIR_REL.
set(ZEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${ZEL_PC_${kind}_REL}")
    set(ZEL_PC_${kind} "${ZEL_PC_${kind}_REL}")
  elseif(kind STREQUAL "LIBDIR")
    set(ZEL_PC_${kind} "\${exec_prefix}/${ZEL_PC_${kind}_REL}")
  else()
    set(ZEL_PC_${kind} "\${prefix}/${ZEL_PC_${kind}_REL}")
  endif()
endforeach()
configure_file("${ZEL_PC_TEMPLATE}" "${ZEL_PC_OUTPUT}" @ONLY)
