# Install locations shared by every layer; included by the top-level
# CMakeLists.txt before any target exists, so the layers' install() rules and
# the run-time search path below apply to all of them.
include(GNUInstallDirs)

# Where the Python package goes, relative to the prefix. Debian's interpreter
# reads /usr/lib/python3/dist-packages for packages of the distribution and
# <prefix>/lib/python3.X/dist-packages for local ones (/usr/local and others).
set(ZEL_PYTHON_INSTALL_DIR "" CACHE STRING
    "Python package directory relative to the install prefix (empty: derived from the prefix)")
if(ZEL_PYTHON_INSTALL_DIR STREQUAL "")
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(ZEL_PYTHON_INSTALL_DIR lib/python3/dist-packages)
  else()
    execute_process(COMMAND /usr/bin/python3 -c "import sysconfig; print(sysconfig.get_python_version())"
                    OUTPUT_VARIABLE _zel_py_version OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _zel_py_result)
    if(NOT _zel_py_result EQUAL 0 OR _zel_py_version STREQUAL "")
      message(FATAL_ERROR "/usr/bin/python3 did not report its version; set ZEL_PYTHON_INSTALL_DIR")
    endif()
    set(ZEL_PYTHON_INSTALL_DIR lib/python${_zel_py_version}/dist-packages)
  endif()
endif()

# Installed programs and the Python extension find the model libraries by an
# absolute run-time path when the library directory is not one the system
# searches anyway (the Debian package, under /usr, carries none).
list(FIND CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" _zel_libdir_is_system)
if(_zel_libdir_is_system EQUAL -1)
  set(CMAKE_INSTALL_RPATH "${CMAKE_INSTALL_FULL_LIBDIR}")
endif()
