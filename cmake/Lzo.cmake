# LZO for the Windows programs, as the imported static library `lzo2`.
# LZO_ROOT may name an installed LZO for the target (include/lzo/lzo1x.h and lib/liblzo2.a), such as
# MSYS2's mingw-w64-i686-lzo2. Without it, Debian's lzo2 source package is fetched with apt-get source
# into the build tree and compiled once with the cross compiler the toolchain file names (TOOLCHAIN_PREFIX).
set(LZO_ROOT "" CACHE PATH "Installed LZO for the target (include/ and lib/liblzo2.a)")
set(lzo_root ${LZO_ROOT})
if(NOT lzo_root)
  set(lzo_root ${CMAKE_BINARY_DIR}/lzo)
  if(NOT EXISTS ${lzo_root}/lib/liblzo2.a)
    message(STATUS "Building LZO for ${CMAKE_SYSTEM_PROCESSOR} from Debian's lzo2 source package")
    execute_process(
      COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/build-lzo-mingw.sh ${CMAKE_BINARY_DIR}/lzo-src ${lzo_root}
              ${TOOLCHAIN_PREFIX}
      RESULT_VARIABLE lzo_result)
    if(lzo_result)
      message(FATAL_ERROR "Could not build LZO for Windows; set LZO_ROOT to an installed mingw LZO")
    endif()
  endif()
endif()
if(NOT EXISTS ${lzo_root}/lib/liblzo2.a OR NOT EXISTS ${lzo_root}/include/lzo/lzo1x.h)
  message(FATAL_ERROR "LZO_ROOT=${lzo_root} holds no include/lzo/lzo1x.h and lib/liblzo2.a")
endif()
add_library(lzo2 STATIC IMPORTED)
set_target_properties(lzo2 PROPERTIES
  IMPORTED_LOCATION ${lzo_root}/lib/liblzo2.a
  INTERFACE_INCLUDE_DIRECTORIES ${lzo_root}/include)
