# The installed layout (prefix /usr for the Debian package): the programs in
# bin/, data that seeds a user's program folder in share/hollowmere/, the
# sample plugin in lib/hollowmere/plugins/, stand-ins in lib/hollowmere/
# (off the PATH), the plugin header, the desktop entry, icon, manual pages
# and documents.
set(HOLLOWMERE_PKG_LIBDIR lib/hollowmere)
set(HOLLOWMERE_PKG_DATADIR share/hollowmere)
set(HOLLOWMERE_PKG_DOCDIR share/doc/hollowmere)

foreach(program hollowmere hollowmere-render hollowmere-archive)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()
if(TARGET spp_sample)
  install(TARGETS spp_sample LIBRARY DESTINATION ${HOLLOWMERE_PKG_LIBDIR}/plugins)
endif()
foreach(standin voyla-standin ghost-standin)
  if(TARGET ${standin})
    install(TARGETS ${standin} RUNTIME DESTINATION ${HOLLOWMERE_PKG_LIBDIR})
  endif()
endforeach()

install(FILES data/tagpat.txt data/metapat.txt data/log.txt DESTINATION ${HOLLOWMERE_PKG_DATADIR})
install(FILES data/cache/General-1.bmp DESTINATION ${HOLLOWMERE_PKG_DATADIR}/cache)
install(FILES include/hollowmere/spp.h DESTINATION include/hollowmere)
install(FILES data/desktop/hollowmere.desktop DESTINATION share/applications)
install(FILES data/desktop/hollowmere.svg DESTINATION share/icons/hicolor/scalable/apps)

# Manual pages and the changelog go in compressed, as Debian keeps them;
# -n keeps the archives the same from build to build.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed_dir ${CMAKE_BINARY_DIR}/compressed)
set(compressed)
foreach(source docs/man/hollowmere.1 docs/man/hollowmere-render.1 docs/man/hollowmere-archive.1 docs/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${compressed_dir}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_dir}
    COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_SOURCE_DIR}/${source} > ${compressed_dir}/${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND compressed ${compressed_dir}/${name}.gz)
endforeach()
add_custom_target(hollowmere_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${compressed_dir}/hollowmere.1.gz ${compressed_dir}/hollowmere-render.1.gz ${compressed_dir}/hollowmere-archive.1.gz
        DESTINATION share/man/man1)
install(FILES ${compressed_dir}/changelog.gz docs/copyright DESTINATION ${HOLLOWMERE_PKG_DOCDIR})
install(FILES README.md DESTINATION ${HOLLOWMERE_PKG_DOCDIR})
if(EXISTS ${CMAKE_SOURCE_DIR}/docs/baseware-interface.md)
  install(FILES docs/baseware-interface.md DESTINATION ${HOLLOWMERE_PKG_DOCDIR})
endif()
