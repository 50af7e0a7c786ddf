# Writes the zip a Windows user unpacks: the program (without its debugging information), its two
# documents and the French README with Windows line ends. Run with cmake -P and
#   -DPROGRAM= -DDOCUMENTS=a;b -DREADME= -DSTRIP= -DSTAGE= -DZIP=
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
execute_process(COMMAND "${STRIP}" -o "${STAGE}/vigie-k7.exe" "${PROGRAM}"
                RESULT_VARIABLE stripped)
if(NOT stripped EQUAL 0)
  message(FATAL_ERROR "cannot strip ${PROGRAM}")
endif()
foreach(document IN LISTS DOCUMENTS)
  file(COPY "${document}" DESTINATION "${STAGE}")
endforeach()
file(COPY "${README}" DESTINATION "${STAGE}")
file(REMOVE "${ZIP}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip
                        vigie-k7.exe UserGuide.rtf M4Start.rtf README.txt
                WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "cannot write ${ZIP}")
endif()
