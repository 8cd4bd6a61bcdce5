# What `cmake --install` puts where, for hosts. Included once every folder has
# defined its targets. LIBDIR is GNUInstallDirs' CMAKE_INSTALL_LIBDIR for the
# prefix the build was configured for: lib/<arch> (Debian's multiarch folder, such
# as lib/x86_64-linux-gnu) for /usr, as the sdk preset and the Debian packages
# have it; lib for /usr/local and other prefixes. `cmake --install --prefix`
# moves the whole tree and keeps these folders.
#
#   LIBDIR/libtouchsearch-host.so.1     the host run time (hosts link it)
#   LIBDIR/libtouchsearch-ui.so.1       the grid and platform services (the module and
#                                       the demo host link it)
#   LIBDIR/libtouchsearch-maker.so.1    the maker's library (the module links it)
#   LIBDIR/touchsearch/                 the modules a host loads: libpesquisa.so,
#                                       libfiscal.so; and the demo host zyl
#   include/touchsearch/                the public headers
#   LIBDIR/cmake/TouchSearch/           the CMake package
#   LIBDIR/pkgconfig/touchsearch.pc     the pkg-config file
#
# Components: runtime (libraries and modules), devel (headers, package files, the
# link symlinks), demo (zyl and its sample).
include(CMakePackageConfigHelpers)

set(TS_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/touchsearch)
set(TS_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TouchSearch)
# The modules and zyl find the libraries one folder up, or beside them when a
# host ships everything in one folder.
file(RELATIVE_PATH ts_module_to_lib ${CMAKE_INSTALL_PREFIX}/${TS_MODULE_INSTALL_DIR}
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
string(REGEX REPLACE "/$" "" ts_module_to_lib "${ts_module_to_lib}")
set(TS_MODULE_RPATH "$ORIGIN/${ts_module_to_lib}:$ORIGIN")

# Public headers: include/touchsearch/ of the tree, as it stands.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/touchsearch
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT devel
  FILES_MATCHING PATTERN "*.h")

# Libraries, with the link symlink in devel only.
install(TARGETS hostrt_headers touchsearch_host touchsearch_ui maker EXPORT TouchSearchTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    COMPONENT runtime
    NAMELINK_COMPONENT devel
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

foreach(module pesquisa fiscal)
  if(TARGET ${module})
    set_target_properties(${module} PROPERTIES INSTALL_RPATH "${TS_MODULE_RPATH}")
    install(TARGETS ${module}
      LIBRARY DESTINATION ${TS_MODULE_INSTALL_DIR} COMPONENT runtime NAMELINK_SKIP)
  endif()
endforeach()

# The demo host and the picker live beside the modules they load from their own
# folder; bin/<program> links to each (the program's path is where the link points).
function(ts_install_program program component)
  set_target_properties(${program} PROPERTIES INSTALL_RPATH "${TS_MODULE_RPATH}")
  install(TARGETS ${program} RUNTIME DESTINATION ${TS_MODULE_INSTALL_DIR} COMPONENT ${component})
  file(RELATIVE_PATH ts_bin_to_program ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
       ${CMAKE_INSTALL_PREFIX}/${TS_MODULE_INSTALL_DIR}/${program})
  install(CODE "
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK \"${ts_bin_to_program}\"
         \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\" SYMBOLIC)"
    COMPONENT ${component})
endfunction()

if(TARGET touchsearch-pick)
  ts_install_program(touchsearch-pick pick)
endif()
# zyl with its sample.
if(TARGET zyl)
  ts_install_program(zyl demo)
  if(TARGET sample_db)
    install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/sample.db DESTINATION ${CMAKE_INSTALL_DATADIR}/touchsearch COMPONENT demo)
    file(RELATIVE_PATH ts_zyl_to_sample ${CMAKE_INSTALL_PREFIX}/${TS_MODULE_INSTALL_DIR}
         ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/touchsearch/sample.db)
    install(CODE "
      file(CREATE_LINK \"${ts_zyl_to_sample}\"
           \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TS_MODULE_INSTALL_DIR}/sample.db\" SYMBOLIC)"
      COMPONENT demo)
  endif()
endif()

# The CMake package: TouchSearch::Host, TouchSearch_MODULE_DIR, version checks.
install(EXPORT TouchSearchTargets
  NAMESPACE TouchSearch::
  DESTINATION ${TS_CMAKE_INSTALL_DIR}
  COMPONENT devel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TouchSearchConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sdk/TouchSearchConfig.cmake
  INSTALL_DESTINATION ${TS_CMAKE_INSTALL_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR TS_MODULE_INSTALL_DIR)
# 1.y satisfies a request for 1.x when y >= x; 2.0 does not.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sdk/TouchSearchConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/sdk/TouchSearchConfig.cmake
  ${PROJECT_BINARY_DIR}/sdk/TouchSearchConfigVersion.cmake
  DESTINATION ${TS_CMAKE_INSTALL_DIR}
  COMPONENT devel)

# The pkg-config file finds its prefix from its own place, so an install moved
# elsewhere (or unpacked with dpkg -x) still works.
file(RELATIVE_PATH TS_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TS_PC_TO_PREFIX "${TS_PC_TO_PREFIX}")
get_target_property(TS_HOST_OUTPUT_NAME touchsearch_host OUTPUT_NAME)
configure_file(${PROJECT_SOURCE_DIR}/cmake/touchsearch.pc.in ${PROJECT_BINARY_DIR}/sdk/touchsearch.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/sdk/touchsearch.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT devel)
