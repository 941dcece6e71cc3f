# The catalogue is complete: every text that the sources mark (xgettext, with
# the options of po/translated_sources.cmake) is in po/tamblure.pot, the
# template holds no text the sources dropped, and po/en.po translates each
# one, none fuzzy (msgfmt checks the placeholders of every translation).
#   cmake -DSOURCE_DIR=<source root> -DWORK_DIR=<scratch folder> -P catalogue_test.cmake
include(${SOURCE_DIR}/po/translated_sources.cmake)
tamblure_translated_sources(sources ${SOURCE_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(fresh ${WORK_DIR}/sources.pot)
execute_process(COMMAND xgettext ${TAMBLURE_XGETTEXT_OPTIONS} --output=${fresh} ${sources}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed ERROR_VARIABLE why)
if(failed)
    message(FATAL_ERROR "xgettext failed: ${why}")
endif()

set(hint "run: cmake --build <build> --target update-po, then translate what is new in po/en.po")
# msgcmp DEF REF fails when a text of REF is missing from DEF.
execute_process(COMMAND msgcmp --use-untranslated ${SOURCE_DIR}/po/tamblure.pot ${fresh}
                RESULT_VARIABLE missing ERROR_VARIABLE why)
if(missing)
    message(FATAL_ERROR "Texts of the sources missing from po/tamblure.pot (${hint}):\n${why}")
endif()
execute_process(COMMAND msgcmp --use-untranslated ${fresh} ${SOURCE_DIR}/po/tamblure.pot
                RESULT_VARIABLE stale ERROR_VARIABLE why)
if(stale)
    message(FATAL_ERROR "Texts of po/tamblure.pot that no source has any more (${hint}):\n${why}")
endif()
execute_process(COMMAND msgcmp ${SOURCE_DIR}/po/en.po ${SOURCE_DIR}/po/tamblure.pot
                RESULT_VARIABLE untranslated ERROR_VARIABLE why)
if(untranslated)
    message(FATAL_ERROR "Texts of po/tamblure.pot without English in po/en.po:\n${why}")
endif()
execute_process(COMMAND msgfmt --check --statistics -o /dev/null ${SOURCE_DIR}/po/en.po
                RESULT_VARIABLE bad ERROR_VARIABLE statistics)
if(bad OR statistics MATCHES "fuzzy|untranslated")
    message(FATAL_ERROR "po/en.po: ${statistics}")
endif()
message(STATUS "${statistics}")
