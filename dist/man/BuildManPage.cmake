# Turns one scdoc page into a gzip-compressed man page: cmake -DSCDOC=... -DINPUT=x.1.scd -DOUTPUT=x.1
# -P BuildManPage.cmake writes x.1 and x.1.gz. The pages are German: hyphenation is switched off, since
# the formatter would break German words by English rules.
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_VARIABLE roff RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "scdoc failed on ${INPUT}")
endif()
string(REGEX REPLACE "(\n\\.TH [^\n]*\n)" "\\1.nh\n" roff "${roff}")
file(WRITE ${OUTPUT} "${roff}")
# A fixed time stamp keeps the compressed page the same from build to build.
file(ARCHIVE_CREATE OUTPUT ${OUTPUT}.gz PATHS ${OUTPUT} FORMAT raw COMPRESSION GZip MTIME 0)
