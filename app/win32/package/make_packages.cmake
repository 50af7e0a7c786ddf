# Writes what a Windows user downloads: the zip to unpack and the installer. Both hold the program
# (without its debugging information), its two documents and the French README. Run with cmake -P
# and
#   -DPROGRAM= -DDOCUMENTS=(the folder of UserGuide.rtf and M4Start.rtf) -DREADME= -DSTRIP= -DSTAGE= -DZIP= -DMSI= -DWIXL= -DWXS=
#   -DVERSION= -DPUBLISHER= -DICON= -DOSSLSIGNCODE=
# When the environment names a certificate (VIGIE_SIGN_PKCS12, a PKCS#12 file, and
# VIGIE_SIGN_PASSWORD, its password), the program is signed before it is packed, and so is the
# installer.
set(sign FALSE)
if(DEFINED ENV{VIGIE_SIGN_PKCS12} AND NOT "$ENV{VIGIE_SIGN_PKCS12}" STREQUAL "")
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "VIGIE_SIGN_PKCS12 is set, but osslsigncode is not installed")
  endif()
  set(sign TRUE)
endif()

# Signs FILE in place with the certificate of the environment.
function(sign_file file)
  execute_process(COMMAND "${OSSLSIGNCODE}" sign -pkcs12 "$ENV{VIGIE_SIGN_PKCS12}"
                          -pass "$ENV{VIGIE_SIGN_PASSWORD}" -n "VIGIE K7 Téléchargement"
                          -h sha256 -in "${file}" -out "${file}.signed"
                  RESULT_VARIABLE signed OUTPUT_QUIET ERROR_VARIABLE why)
  if(NOT signed EQUAL 0)
    message(FATAL_ERROR "cannot sign ${file}: ${why}")
  endif()
  file(RENAME "${file}.signed" "${file}")
endfunction()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
execute_process(COMMAND "${STRIP}" -o "${STAGE}/vigie-k7.exe" "${PROGRAM}"
                RESULT_VARIABLE stripped)
if(NOT stripped EQUAL 0)
  message(FATAL_ERROR "cannot strip ${PROGRAM}")
endif()
if(sign)
  sign_file("${STAGE}/vigie-k7.exe")
endif()
foreach(document UserGuide.rtf M4Start.rtf)
  file(COPY "${DOCUMENTS}/${document}" DESTINATION "${STAGE}")
endforeach()
file(COPY "${README}" DESTINATION "${STAGE}")

file(REMOVE "${ZIP}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip
                        vigie-k7.exe UserGuide.rtf M4Start.rtf README.txt
                WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "cannot write ${ZIP}")
endif()

# The installer's summary (what Explorer shows of the file: subject, author, comments) is in code
# page 1252, but wixl writes its texts there in UTF-8, which Explorer would show as "TÃ©lÃ©": those
# fields are given in plain ASCII, the publisher's accents folded.
set(summary_publisher "${PUBLISHER}")
foreach(pair "à;a" "â;a" "ä;a" "ç;c" "é;e" "è;e" "ê;e" "ë;e" "î;i" "ï;i" "ô;o" "ö;o" "ù;u" "û;u"
             "ü;u" "ÿ;y" "œ;oe" "æ;ae" "À;A" "Â;A" "Ç;C" "É;E" "È;E" "Ê;E" "Ë;E" "Î;I" "Ï;I" "Ô;O"
             "Ù;U" "Û;U" "Ü;U" "Œ;OE" "Æ;AE")
  list(GET pair 0 accented)
  list(GET pair 1 plain)
  string(REPLACE "${accented}" "${plain}" summary_publisher "${summary_publisher}")
endforeach()
string(REGEX REPLACE "[^ -~]" "?" summary_publisher "${summary_publisher}")

file(REMOVE "${MSI}")
# wixl finds the files to install by their names, in the folder it runs in.
file(COPY "${ICON}" DESTINATION "${STAGE}")
execute_process(COMMAND "${WIXL}" -a x64 -D "Version=${VERSION}" -D "Publisher=${PUBLISHER}"
                        -D "SummaryPublisher=${summary_publisher}"
                        -I "${STAGE}" -o "${MSI}" "${WXS}"
                WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE built ERROR_VARIABLE why)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "cannot write ${MSI}: ${why}")
endif()
if(sign)
  sign_file("${MSI}")
  message(STATUS "Signed vigie-k7.exe and ${MSI} with $ENV{VIGIE_SIGN_PKCS12}")
endif()
