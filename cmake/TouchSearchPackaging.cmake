# Debian packages (cpack -G DEB), one per install component:
#   libtouchsearch1      runtime: the libraries and the modules
#   libtouchsearch-dev   devel: headers, the CMake package, the pkg-config file
#   touchsearch-demo     demo: zyl and its sample
#   touchsearch-pick     pick: touchsearch-pick, the search as a program that other
#                        programs start (arguments in, one JSON line out)
# Library dependencies come from dpkg-shlibdeps; the packages' dependencies on
# each other are exact, because they are built together.
set(CPACK_PACKAGE_NAME touchsearch)
set(CPACK_PACKAGE_VENDOR "TouchSearch")
set(CPACK_PACKAGE_CONTACT "TouchSearch developers <touchsearch@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Full-screen touch-screen record search module for host programs")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime devel demo pick)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# zyl's run-time libraries are in another of these packages: dpkg-shlibdeps finds
# them in the build tree, and the exact dependency below names their package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(ts_deb_version "${PROJECT_VERSION}")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtouchsearch1)

# The shlibs file names the libraries other packages link by SONAME, as
# dh_makeshlibs would: the host run time, the user interface library and the
# maker's library. CPack's own
# (CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS) takes every shared object in the package
# and warns about the modules, which have no versioned SONAME on purpose: they are
# plugins, loaded with dlopen by their file name from lib/<arch>/touchsearch/,
# never found by the dynamic linker, so they have no place in a shlibs file.
# The dependency is exact, as the packages are built together.
set(ts_shlibs "")
foreach(library touchsearch_host touchsearch_ui maker)
  get_target_property(ts_name ${library} OUTPUT_NAME)
  get_target_property(ts_soversion ${library} SOVERSION)
  string(APPEND ts_shlibs
    "lib${ts_name} ${ts_soversion} ${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${ts_deb_version})\n")
endforeach()
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/sdk/deb/shlibs CONTENT "${ts_shlibs}" @ONLY)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/sdk/deb/shlibs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Touch search run time and module\n The host run time (datasets, application services), the grid and platform
 library the module uses, the maker's library,\n and the search module libpesquisa.so with the fiscal module libfiscal.so.")

# The QtSql drivers are plugins, which shlibdeps cannot see: a live search needs the
# driver of its database, a till that only searches in memory needs neither.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "libqt6sql6-sqlite, libqt6sql6-psql")

set(CPACK_DEBIAN_DEVEL_PACKAGE_NAME libtouchsearch-dev)
set(CPACK_DEBIAN_DEVEL_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVEL_PACKAGE_DEPENDS "libtouchsearch1 (= ${ts_deb_version}), qt6-base-dev (>= 6.4)")
set(CPACK_COMPONENT_DEVEL_DESCRIPTION
  "Touch search development files\n Public headers under include/touchsearch, the CMake package TouchSearch and\n the pkg-config file touchsearch.pc.")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME touchsearch-demo)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_DEMO_PACKAGE_DEPENDS "libtouchsearch1 (= ${ts_deb_version})")
set(CPACK_COMPONENT_DEMO_DESCRIPTION
  "Touch search demo host\n zyl opens the search over a bundled sample of customers.")

set(CPACK_DEBIAN_PICK_PACKAGE_NAME touchsearch-pick)
set(CPACK_DEBIAN_PICK_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PICK_PACKAGE_DEPENDS "libtouchsearch1 (= ${ts_deb_version})")
set(CPACK_COMPONENT_PICK_DESCRIPTION
  "Touch search picker for programs in any language\n touchsearch-pick opens the search on a file or a database table and prints\n the chosen record as one line of JSON; its exit status says how it ended.")

include(CPack)
