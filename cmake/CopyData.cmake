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
