# The two driver libraries, kesdrvw (Unicode build) and kesdrva (ANSI build).
# They share every static library; only libsrc/odbc/module/dllmain.cpp is
# compiled apart for each, with KES_UNICODE_BUILD naming the build. The version
# script of each build is its exact export list. -Bsymbolic makes the driver's own
# calls of exported names (the XA switch's connects) reach the driver, never a
# Driver Manager's function of the same name; -z nodelete keeps the library
# mapped once loaded, so an unload and reload cannot run attach over live state.

# The archives that hold exported functions go in whole: the Driver Manager finds
# the entry points by name only. The rest is searched as a group, starting from
# what the per-build object names.
set(KES_DRIVER_EXPORTING kes_odbc kes_xa)
set(KES_DRIVER_SEARCHED kes_drv kes_drv_inf kes_scrs kes_prompt kes_util kes_platform_informix
    kes_platform_dtc kes_platform_windows kes_res)

function(kes_archive_files out)
  set(files "")
  foreach(lib ${ARGN})
    if(TARGET ${lib})
      get_target_property(kind ${lib} TYPE)
      if(kind STREQUAL "STATIC_LIBRARY")
        list(APPEND files "$<TARGET_FILE:${lib}>")
      endif()
    endif()
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# Unresolved names fail the link, not a later load. Clang's sanitizer runtime is
# part of the executable, so a sanitized library of it leaves those names open.
set(KES_DRIVER_NO_UNDEFINED "LINKER:--no-undefined")
if(KES_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(KES_DRIVER_NO_UNDEFINED "")
endif()

kes_archive_files(KES_WHOLE ${KES_DRIVER_EXPORTING})
kes_archive_files(KES_GROUP ${KES_DRIVER_SEARCHED})

foreach(build w a)
  set(tgt kesdrv${build})
  if(build STREQUAL "w")
    set(unicode 1)
  else()
    set(unicode 0)
  endif()
  add_library(${tgt} SHARED ${PROJECT_SOURCE_DIR}/libsrc/odbc/module/dllmain.cpp)
  kes_project_target(${tgt})
  target_compile_definitions(${tgt} PRIVATE KES_UNICODE_BUILD=${unicode})
  set(map ${PROJECT_SOURCE_DIR}/libsrc/kesdrv${build}.map)
  target_link_options(${tgt} PRIVATE
    "LINKER:--version-script=${map}" "LINKER:-Bsymbolic" "LINKER:-z,nodelete"
    ${KES_DRIVER_NO_UNDEFINED}
    "LINKER:--whole-archive" ${KES_WHOLE} "LINKER:--no-whole-archive"
    "LINKER:--start-group" ${KES_GROUP} "LINKER:--end-group")
  target_link_libraries(${tgt} PRIVATE ${KES_DRIVER_EXPORTING} ${KES_DRIVER_SEARCHED})
  set_target_properties(${tgt} PROPERTIES LINK_DEPENDS ${map})
endforeach()
