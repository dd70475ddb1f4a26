# Copies the shipped data files into the program folder; the sample log goes
# in as "log.txt", the name the window's log file item reads.
foreach(name tagpat.txt metapat.txt)
  if(EXISTS ${SRC}/${name})
    file(COPY_FILE ${SRC}/${name} ${DST}/${name} ONLY_IF_DIFFERENT)
  endif()
endforeach()
if(EXISTS ${SRC}/log.txt)
  file(COPY_FILE ${SRC}/log.txt ${DST}/log.txt ONLY_IF_DIFFERENT)
endif()
# The blank picture of surface -1 goes into the cache folder once: a picture
# the user put there in its place stays.
if(EXISTS ${SRC}/cache/General-1.bmp AND NOT EXISTS ${DST}/cache/General-1.bmp)
  file(MAKE_DIRECTORY ${DST}/cache)
  file(COPY_FILE ${SRC}/cache/General-1.bmp ${DST}/cache/General-1.bmp)
endif()
