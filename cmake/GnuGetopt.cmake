# GNU getopt_long for the Windows build, from the gnulib sources that Debian's
# gnulib package ships (LGPLv2+): mingw-w64's own getopt_long writes other
# diagnostics than GNU's.  Generated and cross-compiled at build time into
# gnu_getopt (a static library and its getopt.h).
find_program(TRIPWICK_GNULIB_TOOL gnulib-tool REQUIRED)
if(NOT TRIPWICK_MINGW_HOST)
  set(TRIPWICK_MINGW_HOST x86_64-w64-mingw32)
endif()

set(gnu_getopt_dir ${CMAKE_BINARY_DIR}/gnu-getopt)
set(gnu_getopt_library ${gnu_getopt_dir}/build/gllib/libgnu.a)
file(MAKE_DIRECTORY ${gnu_getopt_dir}/build/gllib ${gnu_getopt_dir}/source/gllib)

add_custom_command(
  OUTPUT ${gnu_getopt_library}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${gnu_getopt_dir}/source
  COMMAND ${TRIPWICK_GNULIB_TOOL} --create-testdir --without-tests --dir=${gnu_getopt_dir}/source
          getopt-gnu > ${gnu_getopt_dir}/gnulib-tool.log 2>&1
  COMMAND ${CMAKE_COMMAND} -E chdir ${gnu_getopt_dir}/build
          ${gnu_getopt_dir}/source/configure --host=${TRIPWICK_MINGW_HOST} --quiet
          > ${gnu_getopt_dir}/configure.log 2>&1
  COMMAND ${CMAKE_COMMAND} -E chdir ${gnu_getopt_dir}/build make > ${gnu_getopt_dir}/make.log 2>&1
  COMMENT "Building GNU getopt from gnulib for ${TRIPWICK_MINGW_HOST}"
  VERBATIM)
add_custom_target(gnu_getopt_build DEPENDS ${gnu_getopt_library})

add_library(gnu_getopt STATIC IMPORTED GLOBAL)
set_target_properties(gnu_getopt PROPERTIES
  IMPORTED_LOCATION ${gnu_getopt_library}
  # Its names carry a prefix, so that they cannot meet the C library's own.
  INTERFACE_COMPILE_DEFINITIONS __GETOPT_PREFIX=rpl_
  INTERFACE_INCLUDE_DIRECTORIES "${gnu_getopt_dir}/build/gllib;${gnu_getopt_dir}/source/gllib")
add_dependencies(gnu_getopt gnu_getopt_build)
