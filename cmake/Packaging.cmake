# The packages, made by CPack from the install rules (cmake/Install.cmake):
#   Linux    cpack -G DEB: libbrnet32-1, libbrnet32-dev and brnet, split the
#            way Debian splits a library; dependencies from dpkg-shlibdeps
#   Windows  cpack (ZIP): sendrel-VERSION-win32.zip (or -win64), the folder
#            for FAR's Plugins directory, and brnet32-VERSION-win32-dev.zip
#            (or -win64-dev), the DLL, its import library and the header
# scripts/package.sh makes all of them into build/packages.

set(CPACK_PACKAGE_NAME brnet32)
set(CPACK_PACKAGE_VENDOR "brnet32")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${BRNET_PACKAGE_MAINTAINER}")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(bits win32)
  else()
    set(bits win64)
  endif()
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FidoNet file attaches: library and FAR plug-in")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL plugin dev)
  # The plug-in zip holds the folder sendrel\ itself, the dev zip bin\, lib\
  # and include\. The DLLs keep their symbol tables (the 32-bit stdcall check
  # reads them); they carry no debugging information.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_ARCHIVE_PLUGIN_FILE_NAME sendrel-${PROJECT_VERSION}-${bits})
  set(CPACK_ARCHIVE_DEV_FILE_NAME brnet32-${PROJECT_VERSION}-${bits}-dev)
  include(CPack)
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev brnet)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE ${BRNET_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRNET_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE brnet32)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Control files 0644 (shlibs, triggers), as dpkg-deb and lintian want them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The package summary is each package's first description line.

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${BRNET_DEB_NAME_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The shlibs file, so that programs linked against libbrnet32.so.1 depend on
# this package (only this package holds a library with a SONAME); and
# ldconfig's trigger, which dpkg runs once after installing or removing it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/package/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "FidoNet addresses, outbound and file attaches (library)
brnet32 parses and formats FidoNet addresses, models a mailer's outbound
(BinkleyTerm-style flow files, file boxes and a *.MSG netmail directory),
honours and raises busy flags, attaches files for the mailer to send and
writes a mailer-style log, through twelve C functions.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${BRNET_DEB_NAME_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${BRNET_DEB_NAME_runtime} (= ${BRNET_DEB_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "FidoNet addresses, outbound and file attaches (development files)
The header brnet32.h, the link libbrnet32.so, the pkg-config file brnet32.pc
and the CMake package brnet32 (find_package(brnet32), target
brnet32::brnet32) for programs that use the brnet32 library.")

set(CPACK_DEBIAN_BRNET_PACKAGE_NAME ${BRNET_DEB_NAME_brnet})
set(CPACK_DEBIAN_BRNET_PACKAGE_SECTION net)
# The plug-in loads the library at run time, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_BRNET_PACKAGE_DEPENDS "${BRNET_DEB_NAME_runtime} (>= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_BRNET_PACKAGE_SUGGESTS "binkd, mc, far2l")
set(CPACK_DEBIAN_BRNET_DESCRIPTION "attach files to FidoNet nodes from the shell
brnet attaches files to FidoNet nodes for the mailer to send, reading
binkd's configuration, and shows what waits in the outbound; it comes with a
Midnight Commander menu. The package also holds the sendrel plug-in for
far2l, the Linux port of FAR Manager: select files in a panel and send them
to a FidoNet node.")

include(CPack)
