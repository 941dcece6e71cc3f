# The release history is dist/changelog, in Debian's change log format (the
# package installs it). Its first entry must be this version; its date is the
# release date that the manual pages and the AppStream metadata show.
file(READ ${CMAKE_CURRENT_LIST_DIR}/changelog tamblure_changelog)
if(NOT tamblure_changelog MATCHES "^tamblure \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "dist/changelog must begin with an entry for version ${PROJECT_VERSION}")
endif()
if(NOT tamblure_changelog MATCHES
       "\n -- [^\n]+>  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
    message(FATAL_ERROR "dist/changelog: the first entry has no date in the form \"Tue, 08 Dec 2026 ...\"")
endif()
set(tamblure_day ${CMAKE_MATCH_1})
set(tamblure_year ${CMAKE_MATCH_3})
set(tamblure_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND tamblure_months ${CMAKE_MATCH_2} tamblure_month)
math(EXPR tamblure_month "${tamblure_month} + 1")
if(tamblure_month LESS 10)
    set(tamblure_month 0${tamblure_month})
endif()
set(TAMBLURE_RELEASE_DATE ${tamblure_year}-${tamblure_month}-${tamblure_day})

# The Debian packages are of this version too: debian/changelog begins with
# an entry for it, with a Debian revision ("1.0.0-1").
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/changelog tamblure_debian_entry LIMIT_COUNT 1)
string(REPLACE "." "\\." tamblure_version_pattern "${PROJECT_VERSION}")
if(NOT tamblure_debian_entry MATCHES "^tamblure \\(${tamblure_version_pattern}-[0-9A-Za-z.+~]+\\) ")
    message(FATAL_ERROR "debian/changelog must begin with an entry for version ${PROJECT_VERSION}-<revision>")
endif()
