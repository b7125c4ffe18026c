# The installed tree, under any prefix:
#   bin/tessarin
#   lib/<multiarch>/tessarin/libtessarin-<name>.so     the engine modules
#   share/applications/io.tessarin.Tessarin.desktop
#   share/icons/hicolor/{scalable,<n>x<n>}/apps/io.tessarin.Tessarin.{svg,png}
#   share/metainfo/io.tessarin.Tessarin.metainfo.xml
#   share/man/man1/tessarin.1.gz
#   share/bash-completion/completions/tessarin
#   share/zsh/vendor-completions/_tessarin
#   share/fish/vendor_completions.d/tessarin.fish
#   share/doc/tessarin/{LICENSE,copyright,changelog.Debian.gz}
# The program finds its modules relative to itself, so the tree works
# wherever it is unpacked.

set(TESSARIN_APP_ID io.tessarin.Tessarin)
set(TESSARIN_ICON_SIZES 16 22 24 32 48 64 128 256 512)

# The desktop's view of the application: its entry (which also claims
# tessarin: links), its icon and its software-centre description.
install(FILES data/${TESSARIN_APP_ID}.desktop DESTINATION share/applications)
install(FILES data/${TESSARIN_APP_ID}.svg DESTINATION share/icons/hicolor/scalable/apps)

configure_file(data/${TESSARIN_APP_ID}.metainfo.xml.in ${PROJECT_BINARY_DIR}/data/${TESSARIN_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/data/${TESSARIN_APP_ID}.metainfo.xml DESTINATION share/metainfo)

# Bitmap icons for menus and docks that do not draw SVG, rendered from the
# one SVG at build time.
find_program(TESSARIN_RSVG_CONVERT rsvg-convert)
if(TESSARIN_RSVG_CONVERT)
  set(icon_files)
  foreach(size IN LISTS TESSARIN_ICON_SIZES)
    set(icon ${PROJECT_BINARY_DIR}/icons/${size}x${size}/${TESSARIN_APP_ID}.png)
    add_custom_command(OUTPUT ${icon}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${TESSARIN_RSVG_CONVERT} -w ${size} -h ${size} -o ${icon} ${PROJECT_SOURCE_DIR}/data/${TESSARIN_APP_ID}.svg
      DEPENDS ${PROJECT_SOURCE_DIR}/data/${TESSARIN_APP_ID}.svg
      COMMENT "Rendering the ${size}x${size} icon")
    list(APPEND icon_files ${icon})
    install(FILES ${icon} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(tessarin-icons ALL DEPENDS ${icon_files})
else()
  message(WARNING "rsvg-convert not found (package librsvg2-bin): only the scalable icon is installed")
endif()

# The licence, and the Debian copyright and changelog files the package
# carries beside it.
set(TESSARIN_PACKAGE_MAINTAINER "The Tessarin developers <developers@tessarin.io>"
    CACHE STRING "Maintainer named in the Debian package")
set(TESSARIN_DEBIAN_VERSION "${PROJECT_VERSION}-1")
execute_process(COMMAND date -u -R -d "${TESSARIN_RELEASE_DATE}"
  OUTPUT_VARIABLE TESSARIN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(data/debian/copyright.in ${PROJECT_BINARY_DIR}/data/copyright @ONLY)
configure_file(data/debian/changelog.in ${PROJECT_BINARY_DIR}/data/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/data/changelog.Debian.gz
  COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/data/changelog.Debian > ${PROJECT_BINARY_DIR}/data/changelog.Debian.gz
  DEPENDS ${PROJECT_BINARY_DIR}/data/changelog.Debian)
add_custom_target(tessarin-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/data/changelog.Debian.gz)
install(FILES LICENSE ${PROJECT_BINARY_DIR}/data/copyright ${PROJECT_BINARY_DIR}/data/changelog.Debian.gz
  DESTINATION share/doc/tessarin)
