# What `cmake --install` puts where (GNUInstallDirs), split into the parts the
# packages are made of:
#   runtime  libbrnet32.so.1.0 and its SONAME link libbrnet32.so.1
#   dev      brnet32.h, the link libbrnet32.so, brnet32.pc, the CMake package
#   brnet    brnet and its manual page, the mc menu, brnet's bash completion,
#            the far2l plug-in folder
# (farhost and its plug-in build are test tools: built, never installed.)
# On Windows (the zips): "plugin" is the folder FAR loads, "dev" the DLL, its
# import library and the header.
# Nothing installed names the build tree: the CMake package finds its prefix
# from where it lies, and brnet32.pc is written with the prefix of the install.

set(BRNET_PACKAGE_MAINTAINER "brnet32 maintainers <maintainers@brnet32.example.org>"
    CACHE STRING "Maintainer named in the Debian packages")
set(BRNET_DEB_RELEASE 1)
set(BRNET_DEB_VERSION ${PROJECT_VERSION}-${BRNET_DEB_RELEASE})
# Debian's name for the package of a library with SONAME libbrnet32.so.1.
set(BRNET_DEB_NAME_runtime libbrnet32-${PROJECT_VERSION_MAJOR})
set(BRNET_DEB_NAME_dev libbrnet32-dev)
set(BRNET_DEB_NAME_brnet brnet)

set(BRNET_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/brnet32)
set(BRNET_PACKAGE_FILES ${PROJECT_SOURCE_DIR}/cmake/package)

if(WIN32)
  install(TARGETS brnet32 EXPORT brnet32Targets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
else()
  # A shared library is not a program: 0644, as Debian wants it.
  install(TARGETS brnet32 EXPORT brnet32Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
      PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
      NAMELINK_COMPONENT dev)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/lib/api/brnet32.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT dev)

# The CMake package: find_package(brnet32 1.0) gives brnet32::brnet32.
include(CMakePackageConfigHelpers)
install(EXPORT brnet32Targets NAMESPACE brnet32:: DESTINATION ${BRNET_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${BRNET_PACKAGE_FILES}/brnet32Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/brnet32Config.cmake INSTALL_DESTINATION ${BRNET_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/brnet32ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/brnet32Config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/brnet32ConfigVersion.cmake
        DESTINATION ${BRNET_CMAKE_DIR} COMPONENT dev)

if(WIN32)
  # The plug-in folder, as it is copied into FAR's Plugins directory.
  set(BRNET_README ${CMAKE_CURRENT_BINARY_DIR}/sendrel-readme.txt)
  add_custom_command(OUTPUT ${BRNET_README}
    COMMAND ${CMAKE_COMMAND} -DIN=${BRNET_PACKAGE_FILES}/readme.txt -DOUT=${BRNET_README}
            -DVERSION=${PROJECT_VERSION}
            -P ${BRNET_PACKAGE_FILES}/ToCp866.cmake
    DEPENDS ${BRNET_PACKAGE_FILES}/readme.txt ${BRNET_PACKAGE_FILES}/ToCp866.cmake VERBATIM)
  add_custom_target(sendrel_readme ALL DEPENDS ${BRNET_README})
  install(TARGETS sendrel LIBRARY DESTINATION sendrel COMPONENT plugin
                          RUNTIME DESTINATION sendrel COMPONENT plugin)
  install(FILES $<TARGET_FILE:brnet32> ${SENDREL_LNG} DESTINATION sendrel COMPONENT plugin)
  install(FILES ${BRNET_README} DESTINATION sendrel RENAME readme.txt COMPONENT plugin)
  return()
endif()

# brnet32.pc, written at install time so that its prefix is the one installed
# to (`cmake --install --prefix DIR`, or /usr in a package).
configure_file(${BRNET_PACKAGE_FILES}/brnet32.pc.in ${CMAKE_CURRENT_BINARY_DIR}/brnet32.pc.tmpl
               @ONLY)
install(CODE "
  file(READ \"${CMAKE_CURRENT_BINARY_DIR}/brnet32.pc.tmpl\" pc)
  string(REPLACE \"%PREFIX%\" \"\${CMAKE_INSTALL_PREFIX}\" pc \"\${pc}\")
  file(WRITE \"${CMAKE_CURRENT_BINARY_DIR}/install/brnet32.pc\" \"\${pc}\")
  " COMPONENT dev)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/brnet32.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

install(TARGETS brnet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT brnet)
# Manual pages are installed compressed (gzip -9n), as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(BRNET_MANUALS)
foreach(page tools/brnet/brnet.1)
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
    COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/${page} > ${name}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/${page} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  list(APPEND BRNET_MANUALS ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
endforeach()
add_custom_target(brnet_manual ALL DEPENDS ${BRNET_MANUALS})
install(FILES ${BRNET_MANUALS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT brnet)
install(FILES ${PROJECT_SOURCE_DIR}/tools/brnet/mc.menu DESTINATION ${CMAKE_INSTALL_DATADIR}/brnet
        COMPONENT brnet)
# bash-completion loads a command's file on demand from this directory.
install(FILES ${PROJECT_SOURCE_DIR}/tools/brnet/brnet.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME brnet
        COMPONENT brnet)

# The far2l plug-in folder where far2l installed under the same prefix looks
# for plug-ins (it keeps them in lib/far2l/Plugins/NAME/plug, whatever the
# system's library directory): sendrel.far-plug-mb and its language files.
# The library beside it is a relative link to the installed one, which the
# plug-in's loader finds first; the folder can be copied elsewhere as long as
# the link is replaced by the library itself.
set(BRNET_PLUGIN_DIR lib/far2l/Plugins/sendrel/plug)
install(TARGETS sendrel_far2l LIBRARY DESTINATION ${BRNET_PLUGIN_DIR} COMPONENT brnet
                              PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${SENDREL_FAR2L_LNG} DESTINATION ${BRNET_PLUGIN_DIR} COMPONENT brnet)
file(RELATIVE_PATH BRNET_PLUGIN_TO_LIB /${BRNET_PLUGIN_DIR} /${CMAKE_INSTALL_LIBDIR})
string(REGEX REPLACE "/$" "" BRNET_PLUGIN_TO_LIB "${BRNET_PLUGIN_TO_LIB}")
install(CODE "
  set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${BRNET_PLUGIN_DIR}\")
  message(STATUS \"Installing: \${dir}/libbrnet32.so\")
  file(CREATE_LINK \"${BRNET_PLUGIN_TO_LIB}/libbrnet32.so.${PROJECT_VERSION_MAJOR}\"
       \"\${dir}/libbrnet32.so\" SYMBOLIC)
  " COMPONENT brnet)

# What Debian wants in every package's documentation directory: the copyright
# and the changelog, compressed (gzip -9n: no name, no time stamp).
configure_file(${BRNET_PACKAGE_FILES}/changelog.Debian.in ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
               @ONLY)
execute_process(COMMAND ${GZIP_PROGRAM} -9nf ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
                COMMAND_ERROR_IS_FATAL ANY)
foreach(part runtime dev brnet)
  install(FILES ${BRNET_PACKAGE_FILES}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${BRNET_DEB_NAME_${part}} COMPONENT ${part})
endforeach()
