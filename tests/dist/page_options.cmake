# Compares the options a manual page lists with those the program's --help
# lists, so that neither changes without the other:
#   cmake -DPROGRAM=<program> -DPAGE=<page> -P page_options.cmake
# The page lists an option in a tag (the line after ".TP") of its OPTIONS
# section; --help, in a line that begins with blanks and a dash
# ("  -q, --quality N   ..."). An option takes a value when the page's tag
# names one in italics and --help's line one in capitals; the bash completion
# relies on that. --help runs without any display, so a program
# whose window would open prints no option and must list none.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM
            ${PROGRAM} --help
    OUTPUT_VARIABLE help ERROR_QUIET TIMEOUT 20)
string(REGEX MATCHALL "\n[ \t]+(-[A-Za-z0-9], )?--?[A-Za-z0-9][-A-Za-z0-9]*" helpNames "\n${help}")
string(REGEX MATCHALL "--?[A-Za-z0-9][-A-Za-z0-9]*" fromHelp "${helpNames}")
string(REGEX MATCHALL "\n[ \t]+(-[A-Za-z0-9], )?--?[A-Za-z0-9][-A-Za-z0-9]* [A-Z]" helpValued "\n${help}")
string(REGEX MATCHALL "--?[A-Za-z0-9][-A-Za-z0-9]*" valuedInHelp "${helpValued}")

include(${CMAKE_CURRENT_LIST_DIR}/../../man/options.cmake)
tamblure_page_options(${PAGE} fromPage valued)

list(SORT fromHelp)
list(SORT fromPage)
if(NOT "${fromHelp}" STREQUAL "${fromPage}")
    set(onlyHelp ${fromHelp})
    list(REMOVE_ITEM onlyHelp ${fromPage})
    set(onlyPage ${fromPage})
    list(REMOVE_ITEM onlyPage ${fromHelp})
    message(FATAL_ERROR "${PAGE} and ${PROGRAM} --help differ.\n"
                        "Only in --help: ${onlyHelp}\nOnly in the page: ${onlyPage}")
endif()
list(SORT valuedInHelp)
list(SORT valued)
if(NOT "${valuedInHelp}" STREQUAL "${valued}")
    message(FATAL_ERROR "${PAGE} and ${PROGRAM} --help differ on the options that take a value.\n"
                        "--help: ${valuedInHelp}\nThe page: ${valued}")
endif()
message(STATUS "${PAGE}: ${fromPage}; with a value: ${valued}")
